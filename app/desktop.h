// The desktop program: the main window, or the compact progress window for a file named on
// the command line, each run until it closes.
#pragma once

#include "app/command_line.h"
#include "platform/display.h"

// The main window; returns the process's exit status (128 + the signal when an interrupt
// closed it). The display's probe connection is released once the toolkit has connected.
int RunMainWindow(int& argc, char** argv, bool codecFound, platform::DisplayProbe& display);
// The compact progress window for the command line's file; returns 0 when the file was
// encoded, 1 when it could not be opened or written, or was cancelled (as the console run),
// 128 + the signal when an interrupt cancelled it.
int RunCompactWindow(int& argc, char** argv, const CMakerCommandLineInfo& commandLine,
                     platform::DisplayProbe& display);
