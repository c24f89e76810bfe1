// Why an input named on a command line cannot be read at all, for the programs to say so: the
// WAV reader stays silent about a file it cannot open, as the window's file list checks files
// before they reach it.
#pragma once

#include <string>

// Empty when the file is a regular file that opens for reading; otherwise the reason, such as
// "No such file or directory", "it is a folder" or "it is not a regular file".
std::string UnreadableInputReason(const std::string& path);

// Empty when the output can be created (a partial file is made and removed again); otherwise
// the reason, such as "Read-only file system" or "another run is writing it". The built-in
// encoder fails silently when it cannot create its output, so the programs ask first.
std::string UnwritableOutputReason(const std::string& path);
