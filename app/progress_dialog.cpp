#include "app/progress_dialog.h"

#include <cstdio>

#include "job/encoding_settings.h"
#include "job/text.h"
#include "platform/time_format.h"

namespace {
constexpr unsigned kWorkerWaitMs = 10000;

}  // namespace

CProgressDlg::CProgressDlg(const CMakerCommandLineInfo& commandLine, EncodingSettings& settings,
                           ProgressView& view, EncoderFactory makeEncoder)
    : commandLine_(commandLine), settings_(settings), view_(view), makeEncoder_(std::move(makeEncoder)) {}

CProgressDlg::~CProgressDlg() {
    // The worker ends within one frame once cancelled; the object must not go before it.
    m_bCancel = 1;
    worker_.reset();
}

void CProgressDlg::OnInitDialog(platform::WindowHandle& window) {
    window_ = &window;
    settings_.ResetToDefaults();
    settings_.batchFramesDone = 0;
    m_savedTitle = view_.Title();
    settings_.batchStartTime = static_cast<int>(platform::NowSeconds());
    if (commandLine_.bitrateIndex >= 0) settings_.SetBitrateIndex(commandLine_.bitrateIndex);
    settings_.Deemphasis = commandLine_.deemphasis;
    settings_.Copyright = commandLine_.copyright;
    settings_.Original = commandLine_.original;
    settings_.Mono = commandLine_.mono;
    settings_.InfoHeader = settings_.Tags = !commandLine_.bare;
    settings_.ReplayGain = !commandLine_.bare && !commandLine_.noReplayGain;
    worker_ =
        std::make_unique<platform::Thread>([this] { EncodeCommandLineThread(); }, commandLine_.priority);
}

int CProgressDlg::EncodeCommandLineThread() {
    m_hWorkerDone.Reset();
    std::unique_ptr<CEncoder> encoder = makeEncoder_();
    const std::string input = commandLine_.fileName;
    if (input.empty()) {
        m_hWorkerDone.Set();
        return 0;
    }
    const std::string output = OutputNameFor(input);
    if (encoder->Open(settings_, input, output)) {
        settings_.currentFile = input;
        m_fileScale = static_cast<float>(settings_.totalFrames) * 0.001f;
        bool cancelled = false;
        for (int r = encoder->EncodeStep(); r >= 0; r = encoder->EncodeStep()) {
            if (CountsTowardsProgress(r, settings_)) ++settings_.batchFramesDone;
            if (m_bCancel) {
                cancelled = true;
                break;
            }
            window_->Post(WM_JOB_PROGRESS, 0, 0);
        }
        completed_ = !cancelled;
    }
    encoder->Close();
    if (encoder->OutputFailed()) completed_ = false;
    // Close can still find that the file could not be written; the encoder says so itself.
    window_->Post(WM_CLOSE, 0, 0);
    encoder.reset();
    m_hWorkerDone.Set();
    return 1;
}

std::intptr_t CProgressDlg::OnMessage(const platform::Message& message) {
    if (message.id == WM_JOB_PROGRESS) {
        OnJobProgress();
    } else if (message.id == WM_CLOSE) {
        OnCancel();
    }
    return 0;
}

void CProgressDlg::OnJobProgress() {
    const int frameCount = FileProgressFrames(settings_);
    const int totalFrames = settings_.totalFrames;
    const float scale = m_fileScale;
    // A file shorter than one frame has no scale: its bar and percentage stay at 0 rather
    // than dividing by zero.
    if (scale > 0.0f) {
        view_.SetBarRange(0, 1000);
        view_.SetBarPosition(static_cast<int>(static_cast<float>(frameCount) / scale));
    }
    const std::string file = settings_.currentFile.get();
    if (!file.empty()) {
        const int percent =
            scale > 0.0f ? static_cast<int>(static_cast<float>(frameCount) * 0.1f / scale) : 0;
        view_.SetStatus(Printf("Encoding %s at %d Kbps - %d%% done", NameAfterLastSlash(file).c_str(),
                               static_cast<int>(settings_.Bitrate), percent));
    }
    if (frameCount % 10 == 0 && frameCount > 0) {
        const long long elapsed = static_cast<long long>(platform::NowSeconds()) - settings_.batchStartTime;
        const long long remaining =
            static_cast<long long>(static_cast<double>(elapsed) / frameCount * (totalFrames - frameCount));
        view_.SetElapsed(platform::FormatSeconds(elapsed));
        view_.SetRemaining(platform::FormatSeconds(remaining));
    }
    if (totalFrames != 0) {
        std::string title = Printf("Velto - Encoding %d %%", frameCount * 100 / totalFrames);
        if (title != view_.Title()) view_.SetTitle(title);
    }
    view_.Refresh();
}

void CProgressDlg::OnCancel() {
    if (ended_) return;
    m_bCancel = 1;
    m_hWorkerDone.Wait(kWorkerWaitMs);
    ended_ = true;
    view_.End();
}
