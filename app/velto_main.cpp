// velto: the desktop program. Without a file name it opens the main window; with one it
// encodes that WAV file with the built-in encoder in the compact progress window, or on the
// terminal where no display can be reached. -h and --help print the usage.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/compact_run.h"
#include "app/desktop.h"
#include "app/encoder_choice.h"
#include "app/input_check.h"
#include "job/encoding_settings.h"
#include "job/output_names.h"
#include "layer3/layer3_encoder.h"
#include "platform/display.h"
#include "platform/interrupt.h"

int main(int argc, char** argv) {
    // Before anything loads a library or starts a thread: they all inherit the blocked SIGINT.
    platform::RouteInterruptsToOneThread();
    const bool codecFound = DetectCodecAtStartUp();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const int status = AnswerHelpAndNotices(args, stdout, stderr); status >= 0) return status;
    const CMakerCommandLineInfo info = ParseCommandLine(args);
    platform::DisplayProbe display;
    if (info.fileName.empty()) {
        if (display.Available()) return RunMainWindow(argc, argv, codecFound, display);
        std::fprintf(
            stderr,
            "velto: the window needs a display, and none can be reached (DISPLAY and "
            "WAYLAND_DISPLAY).\n"
            "To encode without a window: velto file.wav, or velto-batch for many files and CD tracks.\n");
        std::fputs(VeltoUsage(), stderr);
        return 2;
    }
    // The reader explains the defects of a WAV file, not a file it cannot open at all.
    if (const std::string why = UnreadableInputReason(info.fileName); !why.empty()) {
        std::fprintf(stderr, "velto: %s cannot be read: %s\n", info.fileName.c_str(), why.c_str());
        return 1;
    }
    const std::string output = OutputNameFor(info.fileName);
    if (const std::string why = UnwritableOutputReason(output); !why.empty()) {
        std::fprintf(stderr, "velto: %s cannot be written: %s\n", output.c_str(), why.c_str());
        return 1;
    }
    if (display.Available()) return RunCompactWindow(argc, argv, info, display);
    display.Release();
    return RunCompactProgress(
        info, encodingSettings, [] { return std::make_unique<layer3::CLayer3Encoder>(); }, stdout);
}
