// velto: encodes the one WAV file named on the command line with the built-in encoder and
// shows its progress; without a file name it prints its usage. -h and --help print it too.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/compact_run.h"
#include "app/encoder_choice.h"
#include "app/input_check.h"
#include "job/encoding_settings.h"
#include "job/output_names.h"
#include "layer3/layer3_encoder.h"
#include "platform/interrupt.h"

int main(int argc, char** argv) {
    // Before anything loads a library or starts a thread: they all inherit the blocked SIGINT.
    platform::RouteInterruptsToOneThread();
    DetectCodecAtStartUp();
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (const int status = AnswerHelpAndNotices(args, stdout, stderr); status >= 0) return status;
    const CMakerCommandLineInfo info = ParseCommandLine(args);
    if (info.fileName.empty()) {
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
    return RunCompactProgress(
        info, encodingSettings, [] { return std::make_unique<layer3::CLayer3Encoder>(); }, stdout);
}
