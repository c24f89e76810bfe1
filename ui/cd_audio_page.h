// The "Audio CD" page: the CD-ROM drives, the audio tracks of the selected drive's disc, the
// folder for the extracted WAV files and the two options.
#pragma once

#include <QWidget>

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

    QComboBox* drives;
    QLabel* driveProblem;  // why no drive is listed, shown only then
    QTreeWidget* tracks;
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

    cdda::CCDAudioPage& logic_;
    bool showing_ = false;
};

}  // namespace ui
