#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

bool IsTerminal(std::FILE* stream) {
    return stream && isatty(fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
    winsize ws{};
    if (stream && ioctl(fileno(stream), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

void TerminalTitle::Set(const std::string& title) {
    if (!terminal_) return;
    if (!saved_) std::fputs("\033[22;0t", out_);
    saved_ = true;
    std::fprintf(out_, "\033]0;%s\007", title.c_str());
    std::fflush(out_);
}

void TerminalTitle::Restore() {
    if (!saved_) return;
    saved_ = false;
    std::fputs("\033[23;0t", out_);
    std::fflush(out_);
}

}  // namespace platform
