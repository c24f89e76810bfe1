// The compact run of one file on the console: the progress dialog's logic driven by a message
// queue on the main thread, drawn on the terminal, with Ctrl-C as Cancel.
#pragma once

#include <cstdio>

#include "app/command_line.h"
#include "app/progress_dialog.h"

struct EncodingSettings;

// Encodes the command line's file; returns the process's exit status: 0 when the file was
// encoded, 1 when it could not be opened or written, or was cancelled.
int RunCompactProgress(const CMakerCommandLineInfo& commandLine, EncodingSettings& settings,
                       const EncoderFactory& makeEncoder, std::FILE* out);
