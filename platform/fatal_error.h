// Internal consistency failures: the text is shown as a message box, then the process ends
// with exit code -1 (255 as the shell sees it). Valid input never reaches it.
#pragma once

#include <string>

namespace platform {

[[noreturn]] void FatalError(const std::string& text);

// The psychoacoustic table checks print their defect to standard output instead of a box,
// then end the process the same way.
[[noreturn]] void FatalErrorToStdout(const std::string& text);

}  // namespace platform
