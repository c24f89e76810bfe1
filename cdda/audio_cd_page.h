// The logic of the Audio CD page without its widgets: the CD-ROM drives found, the audio
// tracks of the selected drive's disc with their selection, the folder for the extracted
// files and the two options. A front end draws it; the batch reads and advances the selection.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "cdda/cd_reader.h"
#include "job/job_views.h"

namespace cdda {

// The process-wide table of contents of the disc last read, in disc order (FindTrack looks a
// track up by its number).
TrackEntry (&TrackTable())[kMaxTracks];

struct TrackItem {
    int track = 0;
    std::string text;    // "Track %2d"
    std::string length;  // "%d:%02d"
    bool selected = false;
    std::string title;  // the track's title as far as it is known: typed, looked up or from CD-Text
};

class CCDAudioPage : public AudioCdPageView {
  public:
    explicit CCDAudioPage(profile::AudioCdValues values) : values_(std::move(values)) {}

    // First showing: the transport, the drives and the first drive with audio tracks.
    void Initialise();
    // Rereads the selected drive's table of contents; the number of tracks, 0 when none. The
    // names found and typed stay when the table is the one read before (the same disc).
    int RefreshTracks();
    // Selects a drive entry (-1 for none) and lists its tracks.
    int SelectDrive(int index);
    // Takes a drive list found elsewhere and selects the given drive in it.
    int SelectDriveTarget(const DriveInfo& drive, const std::vector<DriveInfo>& drives);
    void SelectAll();
    void SetSelected(int item, bool selected);

    std::vector<DriveInfo> Drives() const;
    int SelectedDrive() const;
    std::vector<TrackItem> Items() const;
    void SetValues(const profile::AudioCdValues& values);

    // The disc's names: what the user typed over what a lookup found over the disc's CD-Text.
    DiscNames Names() const;
    // Names found for the disc in the drive (a lookup's); they give way to what the user typed.
    void SetFoundNames(const DiscNames& names);
    // What the user typed; an empty text gives the field back to what was found.
    void SetTypedTitle(int track, const std::string& title);
    void SetTypedAlbum(const std::string& album);
    void SetTypedArtist(const std::string& artist);
    // What reading the disc's CD-Text left out, for whoever shows it; empty when nothing.
    std::string CdTextNote() const;

    // AudioCdPageView.
    bool HasWindow() const override { return true; }
    profile::AudioCdValues Values() override;
    int SelectedTrackFrames() const override;
    int GetSelection(CdSelection& selection) override;
    void AdvanceSelection() override;

    // The item brought into view last, -1 before any.
    int VisibleItem() const;
    // What the page says when it found no drive (see NoDriveText); empty when it found one.
    std::string DriveProblem() const;

  private:
    mutable std::mutex mutex_;
    profile::AudioCdValues values_;
    std::vector<DriveInfo> drives_;
    int selectedDrive_ = -1;
    std::vector<TrackItem> items_;
    int visibleItem_ = -1;
    std::string driveProblem_;
    DiscNames cdText_, found_, typed_;
    std::string cdTextNote_;

    DiscNames NamesLocked() const;
    void RetitleLocked();
};

// What to say when no drive was found: "No CD-ROM drive found.", or, when a drive's device
// node is there but could not be opened (nodeError, the errno), that it cannot be opened and
// why, with the way to the right to open it when it was refused.
std::string NoDriveText(const std::string& nodePath, int nodeError);
// The same for the transport as it is: it asks the loaded library.
std::string NoDriveText();

// The list texts of a track.
std::string TrackText(int track);
std::string TrackLength(const TrackEntry& entry);

}  // namespace cdda
