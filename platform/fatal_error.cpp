#include "platform/fatal_error.h"

#include <cstdio>
#include <cstdlib>

#include "platform/message_box.h"

namespace platform {

namespace {
[[noreturn]] void EndProcess() {
    std::fflush(nullptr);
    // _Exit: other threads may still be running, so static destructors must not run under them.
    std::_Exit(-1);
}
}  // namespace

void FatalError(const std::string& text) {
    MessageBox(text, kAppCaption, MB_OK | MB_ICONSTOP);
    EndProcess();
}

void FatalErrorToStdout(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    EndProcess();
}

}  // namespace platform
