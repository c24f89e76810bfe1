#include "job/profile_values.h"

#include <cmath>
#include <cstdlib>

namespace profile {

std::string DefaultFolder() {
    const char* home = std::getenv("HOME");
    std::string folder = home && *home ? home : "";
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

AppProfile::AppProfile() : file_(platform::Profile::DefaultPath()) {}
AppProfile::AppProfile(std::string path) : file_(std::move(path)) {}

int AppProfile::ReadInt(const std::string& section, const std::string& key, int defaultValue) const {
    return file_.ReadInt(section, key, defaultValue);
}
bool AppProfile::WriteInt(const std::string& section, const std::string& key, int value) {
    return file_.WriteInt(section, key, value);
}
std::string AppProfile::ReadString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) const {
    return file_.ReadString(section, key, defaultValue);
}
bool AppProfile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    return file_.WriteString(section, key, value);
}

SettingsValues ReadSettings(const AppProfile& p, bool codecFound) {
    SettingsValues v;
    v.alertWhenDone = p.Read(kAlertWhenDone);
    v.copyright = p.Read(kCopyright);
    v.mono = p.Read(kMono);
    v.original = p.Read(kOriginal);
    v.bitrate = p.ReadInRange(kBitrate, 0, kBitrateComboEntries - 1);
    v.deemphasis = p.ReadInRange(kDeemphasis, 0, kDeemphasisComboEntries - 1);
    v.encodingMode = p.ReadInRange(kEncodingMode, 0, kEncodingModeComboEntries - 1);
    v.useCodec = codecFound ? p.ReadInt(kUseCodec.section, kUseCodec.key, 1) : 0;
    return v;
}

bool WriteSettings(AppProfile& p, const SettingsValues& v) {
    bool ok = p.Write(kAlertWhenDone, v.alertWhenDone);
    ok &= p.Write(kCopyright, v.copyright);
    ok &= p.Write(kMono, v.mono);
    ok &= p.Write(kOriginal, v.original);
    ok &= p.Write(kBitrate, v.bitrate);
    ok &= p.Write(kDeemphasis, v.deemphasis);
    ok &= p.Write(kEncodingMode, v.encodingMode);
    ok &= p.Write(kUseCodec, v.useCodec);
    return ok;
}

DaeValues ReadDae(const AppProfile& p) {
    return {p.ReadInRange(kDaeMode, 0, kDaeModes - 1), p.ReadInRange(kNSectors, kNSectorsLow, kNSectorsHigh),
            p.ReadInRange(kSynchSectors, kSynchSectorsLow, kSynchSectorsHigh)};
}

bool WriteDae(AppProfile& p, const DaeValues& v) {
    bool ok = p.Write(kDaeMode, v.mode);
    ok &= p.Write(kNSectors, v.nsectors);
    ok &= p.Write(kSynchSectors, v.synchsectors);
    return ok;
}

AudioCdValues ReadAudioCd(const AppProfile& p) {
    AudioCdValues v{p.Read(kExtractedWavsFolder), p.Read(kDontErase), p.Read(kDontEncode)};
    v.trackNameTemplate =
        p.ReadString(kTrackNameTemplate.section, kTrackNameTemplate.key, v.trackNameTemplate);
    if (v.trackNameTemplate.empty()) v.trackNameTemplate = AudioCdValues{}.trackNameTemplate;
    return v;
}

bool WriteAudioCd(AppProfile& p, const AudioCdValues& v) {
    bool ok = p.Write(kExtractedWavsFolder, v.extractedWavsFolder);
    ok &= p.Write(kDontErase, v.dontErase);
    ok &= p.Write(kDontEncode, v.dontEncode);
    ok &= p.Write(kTrackNameTemplate, v.trackNameTemplate);
    return ok;
}

float ReadDaeSpeed(const AppProfile& p) {
    return static_cast<float>(p.Read(kDaeSpeed)) * 0.1f;
}

bool WriteDaeSpeed(AppProfile& p, float speedMultiple) {
    return p.Write(kDaeSpeed, static_cast<int>(std::lround(static_cast<double>(speedMultiple) * 10.0)));
}

}  // namespace profile
