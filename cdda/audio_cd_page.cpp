#include "cdda/audio_cd_page.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/message_box.h"

namespace cdda {

TrackEntry (&TrackTable())[kMaxTracks] {
    static TrackEntry table[kMaxTracks] = {};
    return table;
}

std::string TrackText(int track) {
    char text[16];
    std::snprintf(text, sizeof text, "Track %2d", track);
    return text;
}

std::string TrackLength(const TrackEntry& entry) {
    const long long seconds = (static_cast<long long>(entry.lastSector) - entry.firstSector - 1) / 75;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::string NoDriveText(const std::string& nodePath, int nodeError) {
    if (nodeError == 0) return "No CD-ROM drive found.";
    std::string text =
        "The CD-ROM drive " + nodePath + " cannot be opened: " + std::strerror(nodeError) + ".";
    if (nodeError == EACCES || nodeError == EPERM)
        text += " Add your user to the group cdrom and log in again.";
    return text;
}

std::string NoDriveText() {
    std::string path;
    const int error = CAspiManager::Instance().DriveNodeError(path);
    return NoDriveText(path, error);
}

std::string CCDAudioPage::DriveProblem() const {
    std::lock_guard lock(mutex_);
    return driveProblem_;
}

void CCDAudioPage::Initialise() {
    CCDReader reader;
    if (reader.Init() <= 0) {
        platform::MessageBox("No Host Adapter Available!", platform::kAppCaption, platform::MB_OK);
        return;
    }
    {
        std::lock_guard lock(mutex_);
        drives_ = DiscoverDrives();
        driveProblem_ = drives_.empty() ? NoDriveText() : std::string();
    }
    // The first drive whose disc has tracks to list.
    for (int i = 0; i < static_cast<int>(drives_.size()); ++i)
        if (SelectDrive(i) > 0) return;
    if (!drives_.empty()) SelectDrive(0);
}

int CCDAudioPage::SelectDrive(int index) {
    {
        std::lock_guard lock(mutex_);
        selectedDrive_ = index >= 0 && index < static_cast<int>(drives_.size()) ? index : -1;
    }
    return RefreshTracks();
}

int CCDAudioPage::SelectDriveTarget(const DriveInfo& drive, const std::vector<DriveInfo>& drives) {
    int index = -1;
    {
        std::lock_guard lock(mutex_);
        drives_ = drives;
        for (std::size_t i = 0; i < drives_.size(); ++i)
            if (drives_[i].target == drive.target) index = static_cast<int>(i);
    }
    return SelectDrive(index);
}

int CCDAudioPage::RefreshTracks() {
    std::lock_guard lock(mutex_);
    items_.clear();
    visibleItem_ = -1;
    // Names belong to the disc they were found or typed for: a disc read again keeps them,
    // another disc starts without.
    DiscNames found = std::move(found_), typed = std::move(typed_);
    cdText_ = found_ = typed_ = DiscNames{};
    cdTextNote_.clear();
    if (selectedDrive_ < 0) return 0;
    CCDReader reader;
    if (reader.Init() == 0) return 0;
    TrackEntry(&table)[kMaxTracks] = TrackTable();
    TrackEntry before[kMaxTracks];
    std::memcpy(before, table, sizeof before);
    const int target = drives_[static_cast<std::size_t>(selectedDrive_)].target;
    const int n = reader.ReadToc(0, target, 0, table);
    if (n < 1 || n > kMaxTracks) return 0;
    if (std::memcmp(before, table, sizeof before) == 0) {
        found_ = std::move(found);
        typed_ = std::move(typed);
    }
    for (const TrackEntry& e : table) {
        if (e.trackNumber == 0) continue;  // entries past the disc's tracks stay zero
        if (!e.IsAudio()) continue;
        items_.push_back({e.trackNumber, TrackText(e.trackNumber), TrackLength(e), false, {}});
    }
    cdText_ = reader.ReadCdText(0, target, 0, cdTextNote_);
    RetitleLocked();
    return n;
}

void CCDAudioPage::SelectAll() {
    std::lock_guard lock(mutex_);
    for (TrackItem& item : items_)
        item.selected = true;
}

void CCDAudioPage::SetSelected(int item, bool selected) {
    std::lock_guard lock(mutex_);
    if (item >= 0 && item < static_cast<int>(items_.size()))
        items_[static_cast<std::size_t>(item)].selected = selected;
}

std::vector<DriveInfo> CCDAudioPage::Drives() const {
    std::lock_guard lock(mutex_);
    return drives_;
}

int CCDAudioPage::SelectedDrive() const {
    std::lock_guard lock(mutex_);
    return selectedDrive_;
}

std::vector<TrackItem> CCDAudioPage::Items() const {
    std::lock_guard lock(mutex_);
    return items_;
}

int CCDAudioPage::VisibleItem() const {
    std::lock_guard lock(mutex_);
    return visibleItem_;
}

void CCDAudioPage::SetValues(const profile::AudioCdValues& values) {
    std::lock_guard lock(mutex_);
    values_ = values;
}

profile::AudioCdValues CCDAudioPage::Values() {
    std::lock_guard lock(mutex_);
    return values_;
}

int CCDAudioPage::SelectedTrackFrames() const {
    std::lock_guard lock(mutex_);
    long long frames = 0;
    const TrackEntry(&table)[kMaxTracks] = TrackTable();
    for (const TrackItem& item : items_) {
        const TrackEntry* e = item.selected ? FindTrack(table, item.track) : nullptr;
        if (!e) continue;
        frames += (static_cast<long long>(e->lastSector) - e->firstSector + 1) * kFramesPerSector / 1152;
    }
    return static_cast<int>(frames);
}

int CCDAudioPage::GetSelection(CdSelection& selection) {
    std::lock_guard lock(mutex_);
    selection = CdSelection{};
    if (selectedDrive_ < 0) return 0;
    selection.target = drives_[static_cast<std::size_t>(selectedDrive_)].target;
    selection.adapter = 0;
    // "n/N" counts up to the disc's last audio track.
    const int lastTrack = items_.empty() ? 0 : items_.back().track;
    const DiscNames names = NamesLocked();
    for (const TrackItem& item : items_) {
        if (!item.selected) continue;
        selection.tracks.push_back(item.track);
        selection.trackTags[item.track] = names.TrackTags(item.track, lastTrack);
    }
    return static_cast<int>(selection.tracks.size());
}

DiscNames CCDAudioPage::Names() const {
    std::lock_guard lock(mutex_);
    return NamesLocked();
}

DiscNames CCDAudioPage::NamesLocked() const {
    DiscNames names = typed_;
    names.FillFrom(found_);
    names.FillFrom(cdText_);
    return names;
}

void CCDAudioPage::RetitleLocked() {
    const DiscNames names = NamesLocked();
    for (TrackItem& item : items_)
        item.title = TrackNames(names, item.track).title;
}

void CCDAudioPage::SetFoundNames(const DiscNames& names) {
    std::lock_guard lock(mutex_);
    found_ = names;
    RetitleLocked();
}

void CCDAudioPage::SetTypedTitle(int track, const std::string& title) {
    std::lock_guard lock(mutex_);
    typed_.tracks[track].title = title;
    RetitleLocked();
}

void CCDAudioPage::SetTypedAlbum(const std::string& album) {
    std::lock_guard lock(mutex_);
    typed_.album.album = album;
}

void CCDAudioPage::SetTypedArtist(const std::string& artist) {
    std::lock_guard lock(mutex_);
    typed_.album.artist = artist;
}

std::string CCDAudioPage::CdTextNote() const {
    std::lock_guard lock(mutex_);
    return cdTextNote_;
}

void CCDAudioPage::AdvanceSelection() {
    std::lock_guard lock(mutex_);
    bool deselected = false;
    for (int i = 0; i < static_cast<int>(items_.size()); ++i) {
        TrackItem& item = items_[static_cast<std::size_t>(i)];
        if (!item.selected) continue;
        if (!deselected) {
            item.selected = false;
            deselected = true;
            continue;
        }
        visibleItem_ = i;
        return;
    }
}

}  // namespace cdda
