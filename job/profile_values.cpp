#include "job/profile_values.h"

#include <cmath>

namespace profile {

std::string DefaultFolder() {
    std::string folder = platform::HomeFolder();
    if (folder.back() != '/') folder += '/';
    return folder;
}

AppProfile::AppProfile() : AppProfile(platform::Profile::DefaultPath()) {}
AppProfile::AppProfile(std::string path) : file_(std::move(path)), readProblem_(file_.ReadProblem()) {}

const platform::ProfileEntry* AppProfile::Pending(const std::string& section, const std::string& key) const {
    for (const auto& e : pending_)
        if (e.section == section && e.key == key) return &e;
    return nullptr;
}

int AppProfile::ReadInt(const std::string& section, const std::string& key, int defaultValue) const {
    if (const auto* e = Pending(section, key)) return platform::ParseProfileInt(e->value);
    return file_.ReadInt(section, key, defaultValue);
}
bool AppProfile::WriteInt(const std::string& section, const std::string& key, int value) {
    return Write({section, key, std::to_string(value)});
}
std::string AppProfile::ReadString(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) const {
    if (const auto* e = Pending(section, key)) return e->value;
    return file_.ReadString(section, key, defaultValue);
}
bool AppProfile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    return Write({section, key, value});
}

bool AppProfile::Write(platform::ProfileEntry entry) {
    if (auto* e = const_cast<platform::ProfileEntry*>(Pending(entry.section, entry.key)))
        e->value = entry.value;
    else
        pending_.push_back(std::move(entry));
    return holding_ || Commit();
}

bool AppProfile::Commit() {
    holding_ = false;
    std::vector<platform::ProfileEntry> entries;
    entries.swap(pending_);
    if (entries.empty()) return true;
    if (!readProblem_.empty()) {
        lastError_ = "it could not be read: " + readProblem_;
        return false;
    }
    if (file_.Write(entries)) return true;
    lastError_ = file_.LastError();
    return false;
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
    v.infoHeader = p.Read(kInfoHeader) != 0;
    v.tags = p.Read(kTags) != 0;
    v.replayGain = p.Read(kReplayGain) != 0;
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
    ok &= p.Write(kInfoHeader, v.infoHeader);
    ok &= p.Write(kTags, v.tags);
    ok &= p.Write(kReplayGain, v.replayGain);
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

namespace {
std::string FileKey(int index) {
    return "File" + std::to_string(index + 1);
}
}  // namespace

std::vector<std::string> ReadFileList(const AppProfile& p) {
    std::vector<std::string> paths;
    const int count = p.Read(kFileCount);
    for (int i = 0; i < count; ++i)
        if (std::string path = p.ReadString(kFilesSection, FileKey(i), ""); !path.empty())
            paths.push_back(std::move(path));
    return paths;
}

bool WriteFileList(AppProfile& p, const std::vector<std::string>& paths) {
    bool ok = true;
    for (int i = 0; i < static_cast<int>(paths.size()); ++i)
        ok &= p.WriteString(kFilesSection, FileKey(i), paths[static_cast<std::size_t>(i)]);
    // Written last: a list cut short by a failed write is never read past what was written.
    return p.Write(kFileCount, static_cast<int>(paths.size())) && ok;
}

WindowGeometry ReadWindow(const AppProfile& p) {
    return {p.Read(kWindowLeft), p.Read(kWindowTop), p.Read(kWindowWidth), p.Read(kWindowHeight)};
}

bool WriteWindow(AppProfile& p, const WindowGeometry& g) {
    bool ok = p.Write(kWindowLeft, g.left);
    ok &= p.Write(kWindowTop, g.top);
    ok &= p.Write(kWindowWidth, g.width);
    ok &= p.Write(kWindowHeight, g.height);
    return ok;
}

}  // namespace profile
