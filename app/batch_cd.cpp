#include "app/batch_cd.h"

#include <algorithm>
#include <utility>

#include "lookup/disc_id.h"
#include "lookup/disc_lookup.h"

namespace {

// Reads the table of contents of the disc in the drive on target into table. Empty when the
// disc has one, even of data tracks only; otherwise why there is none to read.
std::string ReadDisc(int target, cdda::TrackEntry (&table)[cdda::kMaxTracks]) {
    cdda::CCDReader reader;
    if (reader.ReadToc(0, target, 0, table) > 0 || table[0].trackNumber != 0) return "";
    return reader.LastFoundNoDisc() ? "no disc" : "a disc that cannot be read";
}

bool HasAudio(const cdda::TrackEntry (&table)[cdda::kMaxTracks]) {
    return std::any_of(std::begin(table), std::end(table),
                       [](const cdda::TrackEntry& e) { return e.trackNumber != 0 && e.IsAudio(); });
}

}  // namespace

bool ListDrives(std::FILE* out, std::FILE* err) {
    cdda::CCDReader reader;
    if (reader.Init() <= 0) return false;
    const std::vector<cdda::DriveInfo> drives = cdda::DiscoverDrives();
    // One for every disc listed, so that the discs together keep to one request a second.
    lookup::DiscLookup discLookup;
    const bool lookups = !lookup::DiscLookup::Server().empty();
    if (drives.empty()) std::fprintf(out, "%s\n", cdda::NoDriveText().c_str());
    for (const cdda::DriveInfo& drive : drives) {
        std::fprintf(out, "Target %d: %s\n", drive.target, drive.name.c_str());
        cdda::TrackEntry table[cdda::kMaxTracks] = {};
        if (const std::string problem = ReadDisc(drive.target, table); !problem.empty()) {
            std::fprintf(out, "  %s\n", problem.c_str());
            continue;
        }
        const std::string id = lookup::DiscIdOf(table);
        if (!id.empty()) std::fprintf(out, "  Disc ID: %s\n", id.c_str());
        std::string note;
        cdda::DiscNames names = reader.ReadCdText(0, drive.target, 0, note);
        // The names of the first release found win over the disc's own, as --cd takes them.
        if (!id.empty() && lookups) {
            const lookup::LookupResult result = discLookup.LookUp(table);
            if (result.releases.empty())
                std::fprintf(err, "velto-batch: target %d: %s (%s)\n", drive.target,
                             lookup::kNoDiscInformation, result.problem.c_str());
            for (std::size_t i = 0; result.releases.size() > 1 && i < result.releases.size(); ++i) {
                const lookup::Release& r = result.releases[i];
                std::fprintf(out, "  Release %zu: %s / %s (%s %s)\n", i + 1, r.title.c_str(),
                             r.artist.c_str(), r.country.c_str(), r.date.substr(0, 4).c_str());
            }
            if (!result.releases.empty()) {
                cdda::DiscNames found = result.releases.front().names;
                found.FillFrom(names);
                names = std::move(found);
            }
        }
        if (!names.album.album.empty() || !names.album.artist.empty())
            std::fprintf(out, "  Album: %s%s%s\n", names.album.album.c_str(),
                         names.album.artist.empty() ? "" : " / ", names.album.artist.c_str());
        // Data tracks are shown for what they are; only audio tracks are ever extracted.
        for (const cdda::TrackEntry& e : table) {
            if (e.trackNumber == 0) continue;
            const std::string& title = cdda::TrackNames(names, e.trackNumber).title;
            std::fprintf(out, "  %s  %s%s%s\n", cdda::TrackText(e.trackNumber).c_str(),
                         e.IsAudio() ? cdda::TrackLength(e).c_str() : "data", title.empty() ? "" : "  ",
                         title.c_str());
        }
        if (!HasAudio(table)) std::fputs("  no audio tracks\n", out);
    }
    return true;
}

profile::AudioCdValues CdValuesFor(const BatchOptions& options, const profile::AudioCdValues& fromProfile) {
    profile::AudioCdValues v = fromProfile;
    if (!options.folder.empty()) v.extractedWavsFolder = options.folder;
    if (!options.nameTemplate.empty()) v.trackNameTemplate = options.nameTemplate;
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
    if (page.SelectDriveTarget(*drive, drives) == 0) {
        cdda::TrackEntry table[cdda::kMaxTracks] = {};
        const std::string problem = ReadDisc(options.cdTarget, table);
        return "the drive on target " + std::to_string(options.cdTarget) + " has " +
               (problem.empty() ? "a disc with no audio tracks" : problem);
    }
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

std::string LookUpNames(const BatchOptions& options, cdda::CCDAudioPage& page, std::FILE* err) {
    if (lookup::DiscLookup::Server().empty()) return "";
    lookup::DiscLookup discLookup;
    const lookup::LookupResult result = discLookup.LookUp(cdda::TrackTable());
    if (result.releases.empty()) {
        std::fprintf(err, "velto-batch: %s (%s)\n", lookup::kNoDiscInformation, result.problem.c_str());
        return "";
    }
    const int count = static_cast<int>(result.releases.size());
    if (options.release > count)
        return "--release=" + std::to_string(options.release) + ": the disc lookup found " +
               std::to_string(count) + " release(s)";
    const int chosen = std::max(options.release, 1);
    const lookup::Release& release = result.releases[static_cast<std::size_t>(chosen - 1)];
    if (count > 1)
        std::fprintf(err, "velto-batch: %d releases hold disc %s; taking number %d, \"%s\" by %s (%s %s)%s\n",
                     count, result.discId.c_str(), chosen, release.title.c_str(), release.artist.c_str(),
                     release.country.c_str(), release.date.substr(0, 4).c_str(),
                     options.release == 0 ? "; --release=N takes another" : "");
    page.SetFoundNames(release.names);
    return "";
}
