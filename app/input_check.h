// Why an input named on a command line cannot be read at all, for the programs to say so: the
// WAV reader stays silent about a file it cannot open, as the window's file list checks files
// before they reach it.
#pragma once

#include <string>

// Empty when the file is a regular file that opens for reading; otherwise the reason, such as
// "No such file or directory", "it is a folder" or "it is not a regular file".
std::string UnreadableInputReason(const std::string& path);
