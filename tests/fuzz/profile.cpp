// The profile reader over any file: every value the programs read, then a write of one value
// that must read back as written while the other values keep what they read before.
#include <cstdint>
#include <cstdlib>

#include "job/profile_values.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct Snapshot {
    profile::SettingsValues settings;
    profile::DaeValues dae;
    profile::AudioCdValues audioCd;
    std::string lastFolder;

    bool operator==(const Snapshot& o) const {
        const auto& a = settings;
        const auto& b = o.settings;
        return a.alertWhenDone == b.alertWhenDone && a.copyright == b.copyright && a.mono == b.mono &&
               a.original == b.original && a.bitrate == b.bitrate && a.deemphasis == b.deemphasis &&
               a.encodingMode == b.encodingMode && a.useCodec == b.useCodec && dae.mode == o.dae.mode &&
               dae.nsectors == o.dae.nsectors && dae.synchsectors == o.dae.synchsectors &&
               audioCd.extractedWavsFolder == o.audioCd.extractedWavsFolder &&
               audioCd.dontErase == o.audioCd.dontErase && audioCd.dontEncode == o.audioCd.dontEncode &&
               lastFolder == o.lastFolder;
    }
};

Snapshot ReadEverything(const profile::AppProfile& p) {
    Snapshot s;
    s.settings = profile::ReadSettings(p, true);
    s.dae = profile::ReadDae(p);
    s.audioCd = profile::ReadAudioCd(p);
    s.lastFolder = p.Read(profile::kLastFolder);
    (void)profile::ReadSettings(p, false);
    (void)profile::ReadDaeSpeed(p);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::WriteScratchFile("Velto.INI", data, size);
    profile::AppProfile p(path);
    Snapshot before = ReadEverything(p);
    // A key the programs never read, so the values above must all survive the write.
    if (!p.WriteInt("Settings", "FuzzProbe", 12345)) std::abort();
    if (p.ReadInt("Settings", "FuzzProbe", -1) != 12345) std::abort();
    if (!(ReadEverything(p) == before)) std::abort();
    return 0;
}
