// velto's command line, one argument per input line: the switches and the file name.
#include <cstdint>
#include <cstdlib>

#include "app/command_line.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> args = fuzz::SplitArguments(data, size);
    const CMakerCommandLineInfo info = ParseCommandLine(args);
    // The notices read the same arguments; without a file named there are none.
    const std::vector<std::string> notices = CommandLineNotices(args);
    if (info.fileName.empty() && !notices.empty()) std::abort();
    // The values the encoder trusts: a header index, a header code, flags.
    if (info.bitrateIndex < -1 || info.bitrateIndex > 14) std::abort();
    if (info.deemphasis < 0 || info.deemphasis > 3) std::abort();
    if ((info.mono | info.copyright | info.original) & ~1) std::abort();
    return 0;
}
