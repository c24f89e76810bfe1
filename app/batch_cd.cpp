#include "app/batch_cd.h"

#include <algorithm>

bool ListDrives(std::FILE* out) {
    cdda::CCDReader reader;
    if (reader.Init() <= 0) return false;
    const std::vector<cdda::DriveInfo> drives = cdda::DiscoverDrives();
    if (drives.empty()) std::fputs("No CD-ROM drive found.\n", out);
    for (std::size_t i = 0; i < drives.size(); ++i) {
        cdda::CCDAudioPage page({});
        // The page lists the drives itself; here each one is looked at in turn.
        std::fprintf(out, "Target %d: %s\n", drives[i].target, drives[i].name.c_str());
        if (page.SelectDriveTarget(drives[i], drives) == 0) {
            std::fputs("  no audio tracks\n", out);
            continue;
        }
        for (const cdda::TrackItem& item : page.Items())
            std::fprintf(out, "  %s  %s\n", item.text.c_str(), item.length.c_str());
    }
    return true;
}

profile::AudioCdValues CdValuesFor(const BatchOptions& options, const profile::AudioCdValues& fromProfile) {
    profile::AudioCdValues v = fromProfile;
    if (!options.folder.empty()) v.extractedWavsFolder = options.folder;
    if (options.keep >= 0) v.dontErase = options.keep;
    if (options.extractOnly >= 0) v.dontEncode = options.extractOnly;
    return v;
}

profile::DaeValues DaeValuesFor(const BatchOptions& options, const profile::DaeValues& fromProfile) {
    profile::DaeValues v = fromProfile;
    if (options.daeMode >= 0) v.mode = options.daeMode;
    if (options.nsectors >= 0) v.nsectors = options.nsectors;
    if (options.synchsectors >= 0) v.synchsectors = options.synchsectors;
    return v;
}

std::string SelectCdTracks(const BatchOptions& options, cdda::CCDAudioPage& page) {
    cdda::CCDReader reader;
    if (reader.Init() <= 0) return "no CD transport is usable";
    const std::vector<cdda::DriveInfo> drives = cdda::DiscoverDrives();
    const auto drive = std::find_if(drives.begin(), drives.end(),
                                    [&](const cdda::DriveInfo& d) { return d.target == options.cdTarget; });
    if (drive == drives.end()) return "no CD-ROM drive on target " + std::to_string(options.cdTarget);
    if (page.SelectDriveTarget(*drive, drives) == 0)
        return "the disc in target " + std::to_string(options.cdTarget) + " has no audio tracks";
    const std::vector<cdda::TrackItem> items = page.Items();
    if (options.allTracks) {
        page.SelectAll();
        return "";
    }
    for (int track : options.tracks) {
        const auto item = std::find_if(items.begin(), items.end(),
                                       [&](const cdda::TrackItem& i) { return i.track == track; });
        if (item == items.end())
            return "track " + std::to_string(track) + " is not an audio track of the disc";
        page.SetSelected(static_cast<int>(item - items.begin()), true);
    }
    return "";
}
