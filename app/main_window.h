// The desktop program's main window: the four pages, Go/Stop, the file and batch progress
// bars, the elapsed and remaining times and the status line. The job itself is CMainDlg's;
// this window draws what it asks for and hands it the user's commands.
#pragma once

#include <QMainWindow>
#include <memory>

#include "job/job_views.h"
#include "job/main_dlg.h"
#include "ui/progress_fields.h"

class FileListModel;
class CSettingsPageModel;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace cdda {
class CCDAudioPage;
class CDaePage;
}  // namespace cdda

namespace platform {
class QtWindow;
class QtMessageBox;
}  // namespace platform

namespace ui {
class CFilePage;
class CSettingsPage;
class CCDAudioPage;
class CDaePage;
}  // namespace ui

class MainWindow : public QMainWindow, public JobWindowView {
  public:
    enum Page { kFilesPage, kAudioCdPage, kDaePage, kSettingsPage };

    // profile: where the pages read and the close saves; makeEncoder: the batch's encoder.
    MainWindow(profile::AppProfile& profile, bool codecFound, CodecQuery* codec,
               BatchEncoderFactory makeEncoder, EncodingSettings& settings);
    ~MainWindow() override;

    // JobWindowView.
    void SetFileBar(int low, int high, int position) override;
    void SetFileBarPosition(int position) override;
    void SetBatchBar(int low, int high, int position) override;
    void SetBatchBarPosition(int position) override;
    void SetStatus(const std::string& text) override { fields_->SetStatus(text); }
    void SetElapsed(const std::string& text) override { fields_->SetElapsed(text); }
    void SetRemaining(const std::string& text) override { fields_->SetRemaining(text); }
    std::string Title() const override;
    void SetTitle(const std::string& title) override;
    void SetGoButton(const std::string& caption, int bitmap) override;
    void DisableStopButton() override {}
    void EnablePages(bool enable) override;
    void Refresh() override {}
    void AlertDone(const std::string& text, const std::string& details) override;

    // Go (or Stop while a batch runs).
    void OnGo();
    // Shows a page, creating its window the first time.
    void ShowPage(Page page);
    bool PageHasWindow(Page page) const;

    CMainDlg& Job() { return *dlg_; }
    FileListModel& Files() { return *files_; }
    ui::CFilePage* FilePage() const { return filePage_; }
    ui::CSettingsPage* SettingsPage() const { return settingsPage_; }
    ui::CCDAudioPage* AudioCdPage() const { return cdPage_; }
    ui::CDaePage* DaePage() const { return daePage_; }
    QPushButton* GoButton() const { return go_; }
    QProgressBar* FileBar() const { return fileBar_; }
    QProgressBar* BatchBar() const { return batchBar_; }
    ui::StatusLine* StatusLine() const { return fields_->status; }
    QLabel* ElapsedField() const { return fields_->elapsed; }
    QLabel* RemainingField() const { return fields_->remaining; }
    QTabWidget* Pages() const { return tabs_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    class DaeView;
    class AudioCdView;

    void BuildControls();
    void BuildMenu();
    void OnPageChanged(int index);
    // The next (1) or previous (-1) page, round the end.
    void StepPage(int step);
    // The DAE page's fields, when it has a window; false (after the message, with the page
    // shown) when one is not an integer in its range.
    bool TakeDaeFields();
    void ShowAbout();
    // The place and size the last run kept ([Window]), on a screen.
    void RestoreGeometry();
    void SaveGeometry();

    profile::AppProfile& profile_;
    bool codecFound_;
    std::unique_ptr<FileListModel> files_;
    std::unique_ptr<CSettingsPageModel> settingsModel_;
    std::unique_ptr<cdda::CDaePage> daeLogic_;
    std::unique_ptr<cdda::CCDAudioPage> cdLogic_;
    std::unique_ptr<DaeView> daeView_;
    std::unique_ptr<AudioCdView> cdView_;
    std::unique_ptr<CMainDlg> dlg_;
    platform::QtWindow* handle_ = nullptr;
    std::unique_ptr<platform::QtMessageBox> boxes_;

    QTabWidget* tabs_ = nullptr;
    QWidget* pageHosts_[4] = {};
    ui::CFilePage* filePage_ = nullptr;
    ui::CSettingsPage* settingsPage_ = nullptr;
    ui::CCDAudioPage* cdPage_ = nullptr;
    ui::CDaePage* daePage_ = nullptr;
    int currentPage_ = kFilesPage;
    bool pagesEnabled_ = true;
    bool closed_ = false;

    QPushButton* go_ = nullptr;
    QProgressBar* fileBar_ = nullptr;
    QProgressBar* batchBar_ = nullptr;
    std::unique_ptr<ui::ProgressFields> fields_;
};
