// Facts about the terminal the console front ends draw on.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

bool IsTerminal(std::FILE* stream);
// Columns of the terminal behind the stream, or 80 when it cannot tell.
int TerminalColumns(std::FILE* stream);

// The terminal's title, as a console front end changes it while it works: before the first
// change the user's own title is pushed on the terminal's title stack, and Restore pops it back
// (the window operations 22 and 23 of xterm-compatible terminals; a terminal without them
// ignores them). Nothing is written when the stream is not a terminal.
class TerminalTitle {
  public:
    TerminalTitle(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}
    ~TerminalTitle() { Restore(); }
    TerminalTitle(const TerminalTitle&) = delete;
    TerminalTitle& operator=(const TerminalTitle&) = delete;

    void Set(const std::string& title);
    // Gives the terminal back the title it had before the first Set.
    void Restore();

  private:
    std::FILE* out_;
    bool terminal_;
    bool saved_ = false;
};

}  // namespace platform
