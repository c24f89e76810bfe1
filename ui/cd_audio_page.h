// The "Audio CD" page: the CD-ROM drives, the audio tracks of the selected drive's disc with
// their titles, the album and artist, the disc lookup, the folder for the extracted WAV files and
// the two options.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

#include "lookup/lookup_thread.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace cdda {
class CCDAudioPage;
}

namespace ui {

class CCDAudioPage : public QWidget {
  public:
    // The logic has been given its values; the page initialises it (drives, tracks).
    CCDAudioPage(cdda::CCDAudioPage& logic, QWidget* parent);

    void EnablePage(bool enable);
    // Takes the folder and the two options into the logic's values.
    void TakeOver();
    // Shows the logic's tracks and selection again (after the batch advanced it).
    void ShowSelection();
    // What the folder dialog hands back when the user picks a folder.
    void SetFolder(const QString& folder);

    // Shows a lookup's result: the names of the release the user chose among several (or the
    // only one), or "No disc information found". What the user typed stays.
    void ShowLookup(const lookup::LookupResult& result);
    // Whether a lookup is on its way.
    bool LookingUp() const { return lookingUp_; }
    // Which of several releases to take; -1 for none. Tests put their own choice here.
    std::function<int(const std::vector<lookup::Release>&)> chooseRelease;

    QComboBox* drives;
    QLabel* driveProblem;  // why no drive is listed, shown only then
    QLineEdit* album;
    QLineEdit* artist;
    QTreeWidget* tracks;
    QPushButton* lookUp;
    QLabel* lookupStatus;
    QPushButton* refresh;
    QPushButton* all;
    QLineEdit* folder;
    QPushButton* browse;
    QCheckBox* keep;
    QCheckBox* dontEncode;

  private:
    void ShowDrives();
    void ShowTracks();
    void OnBrowse();
    void OnSelectionChanged();
    void UpdateLookUpButton();
    void StartLookUp();
    void OnLookedUp(int number, const lookup::LookupResult& result);
    void ShowNames();
    void SetLookupStatus(const QString& text);
    int AskForRelease(const std::vector<lookup::Release>& releases);

    cdda::CCDAudioPage& logic_;
    bool showing_ = false;
    bool enabled_ = true;
    // The disc ID of the disc listed now, and of the disc last looked up on being listed: a
    // disc is looked up by itself once, and again only by "Look Up".
    std::string listedDisc_, lookedUpDisc_;
    // Lookups started so far; only the latest one's result is shown.
    int lookups_ = 0;
    bool lookingUp_ = false;
    // Last, so that the lookup in flight is abandoned and its thread joined while the page is
    // still whole.
    lookup::LookupThread lookupThread_;
};

}  // namespace ui
