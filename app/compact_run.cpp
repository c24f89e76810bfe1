#include "app/compact_run.h"

#include <atomic>

#include "app/console_progress_view.h"
#include "platform/interrupt.h"
#include "platform/terminal.h"
#include "platform/window.h"

int RunCompactProgress(const CMakerCommandLineInfo& commandLine, EncodingSettings& settings,
                       const EncoderFactory& makeEncoder, std::FILE* out) {
    ConsoleProgressView view(out, platform::IsTerminal(out), platform::TerminalColumns(out));
    CProgressDlg* dialogForMessages = nullptr;
    platform::MessageQueueWindow window([&](const platform::Message& m) -> std::intptr_t {
        return dialogForMessages ? dialogForMessages->OnMessage(m) : 0;
    });
    std::atomic<bool> interrupted = false;
    platform::InterruptWatcher interrupts([&](int) {
        interrupted = true;
        window.Post(WM_CLOSE, 0, 0);
    });
    CProgressDlg dialog(commandLine, settings, view, makeEncoder);
    dialogForMessages = &dialog;
    dialog.OnInitDialog(window);
    window.RunUntil([&] { return dialog.Ended(); });
    if (dialog.Completed()) return 0;
    return interrupted ? platform::InterruptExitStatus() : 1;
}
