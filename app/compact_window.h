// The compact progress window: the one file named on the command line, its progress bar,
// status line and times, and Cancel. The dialog's logic is CProgressDlg's.
#pragma once

#include <QDialog>
#include <memory>

#include "app/progress_dialog.h"
#include "ui/progress_fields.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace ui {
struct ProgressFields;
}

namespace platform {
class QtWindow;
class QtMessageBox;
}  // namespace platform

class CompactWindow : public QDialog, public ProgressView {
  public:
    CompactWindow(const CMakerCommandLineInfo& commandLine, EncodingSettings& settings,
                  EncoderFactory makeEncoder);
    ~CompactWindow() override;

    // Starts the encoding; the window closes itself when the file is done.
    void Start();
    bool Completed() const { return dlg_->Completed(); }
    // Cancel, as the button, Escape and the close box give it.
    void reject() override;

    // ProgressView.
    void SetBarRange(int low, int high) override;
    void SetBarPosition(int position) override;
    void SetStatus(const std::string& text) override { fields_->SetStatus(text); }
    void SetElapsed(const std::string& text) override { fields_->SetElapsed(text); }
    void SetRemaining(const std::string& text) override { fields_->SetRemaining(text); }
    std::string Title() const override;
    void SetTitle(const std::string& title) override;
    void Refresh() override {}
    void End() override;

    QProgressBar* Bar() const { return bar_; }
    ui::StatusLine* StatusLine() const { return fields_->status; }
    QPushButton* CancelButton() const { return cancel_; }
    platform::QtWindow& Handle() { return *handle_; }

  private:
    std::unique_ptr<CProgressDlg> dlg_;
    platform::QtWindow* handle_ = nullptr;
    std::unique_ptr<platform::QtMessageBox> boxes_;
    QProgressBar* bar_;
    std::unique_ptr<ui::ProgressFields> fields_;
    QPushButton* cancel_;
};
