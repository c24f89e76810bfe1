// The compact progress dialog: encodes the one file named on the command line with the
// built-in encoder, shows its progress, and closes itself when the file is done. Its logic
// knows no toolkit: it draws through a ProgressView and receives its messages through a
// window handle that the front end dispatches on its user-interface thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "job/encoder.h"
#include "job/messages.h"
#include "platform/event.h"
#include "platform/thread.h"
#include "platform/window.h"

struct EncodingSettings;

inline constexpr unsigned WM_CLOSE = 0x0010;

// What the dialog shows. The console and the Qt window each implement it.
class ProgressView {
  public:
    virtual ~ProgressView() = default;
    virtual void SetBarRange(int low, int high) = 0;
    virtual void SetBarPosition(int position) = 0;
    virtual void SetStatus(const std::string& text) = 0;
    virtual void SetElapsed(const std::string& text) = 0;
    virtual void SetRemaining(const std::string& text) = 0;
    virtual std::string Title() const = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Shows the strings set since the last refresh.
    virtual void Refresh() = 0;
    // The dialog has ended.
    virtual void End() = 0;
};

using EncoderFactory = std::function<std::unique_ptr<CEncoder>()>;

class CProgressDlg {
  public:
    CProgressDlg(const CMakerCommandLineInfo& commandLine, EncodingSettings& settings, ProgressView& view,
                 EncoderFactory makeEncoder);
    ~CProgressDlg();
    CProgressDlg(const CProgressDlg&) = delete;
    CProgressDlg& operator=(const CProgressDlg&) = delete;

    // Applies the switches to the defaults and starts the worker, which posts to window.
    void OnInitDialog(platform::WindowHandle& window);
    // The dialog's message handler, run on the user-interface thread.
    std::intptr_t OnMessage(const platform::Message& message);
    // Cancel, Escape or a close request: stop the worker and end the dialog.
    void OnCancel();

    bool Ended() const { return ended_.load(); }
    // True when the file was opened and encoded to its end (not cancelled).
    bool Completed() const { return completed_.load(); }

  private:
    int EncodeCommandLineThread();
    void OnJobProgress();

    const CMakerCommandLineInfo& commandLine_;
    EncodingSettings& settings_;
    ProgressView& view_;
    EncoderFactory makeEncoder_;
    platform::WindowHandle* window_ = nullptr;

    platform::Event m_hWorkerDone{true, true};
    std::atomic<int> m_bCancel{0};
    std::string m_savedTitle;
    std::atomic<float> m_fileScale{0.0f};
    std::atomic<bool> ended_{false};
    std::atomic<bool> completed_{false};
    std::unique_ptr<platform::Thread> worker_;
};
