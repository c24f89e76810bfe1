// The desktop program: the main window, or the compact progress window for a file named on
// the command line, each run until it closes.
#pragma once

#include "app/command_line.h"

// The main window; returns the process's exit status.
int RunMainWindow(int& argc, char** argv, bool codecFound);
// The compact progress window for the command line's file; returns 0 when the file was
// encoded, 1 when it could not be opened or written, or was cancelled (as the console run).
int RunCompactWindow(int& argc, char** argv, const CMakerCommandLineInfo& commandLine);
