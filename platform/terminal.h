// Facts about the terminal the console front ends draw on.
#pragma once

#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);
// Columns of the terminal behind the stream, or 80 when it cannot tell.
int TerminalColumns(std::FILE* stream);

}  // namespace platform
