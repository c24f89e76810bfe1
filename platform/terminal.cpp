#include "platform/terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace platform {

bool IsTerminal(std::FILE* stream) {
    return stream && isatty(fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
    winsize ws{};
    if (stream && ioctl(fileno(stream), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
    return 80;
}

}  // namespace platform
