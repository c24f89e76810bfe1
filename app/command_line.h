// The command line: switches b, c, e, m, o, p and one input WAV file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "job/output_names.h"

struct CMakerCommandLineInfo {
    int deemphasis = 0;  // header emphasis code
    int original = 0;
    int copyright = 0;
    int priority = 0;       // Win32 thread priority
    int bitrateIndex = -1;  // -1: no b switch, the bit rate stays 128 kbps
    int mono = 0;
    int bare = 0;          // --bare: the audio frames only
    int noReplayGain = 0;  // --no-replaygain
    std::string fileName;  // the first parameter that is not a switch

    // One parameter, without its leading '-' when it was given as a switch.
    void ParseParam(const std::string& param, bool isSwitch);
};

// Only '-' starts a switch ('/' starts absolute paths here); a lone "-" is not a switch.
CMakerCommandLineInfo ParseCommandLine(const std::vector<std::string>& args);

// The usage that `velto -h` and `velto --help` print on standard output.
const char* VeltoUsage();

// Whether the command line asks for the usage: -h, --help, or a switch starting with either.
bool AsksForHelp(const std::vector<std::string>& args);

// One line for each part of a command line that names a file which velto takes but does not
// act on as written: a switch value it ignores, with what it does instead ("-b100 is not a bit
// rate; encoding at 128 kbps"), a letter that is no switch, and the files after the first. Empty
// when no file is named, as switches alone have no effect.
std::vector<std::string> CommandLineNotices(const std::vector<std::string>& args);

// What velto does with its command line before it runs anything, for its main to call first:
// for -h or --help it prints the usage on `out` and returns 0, the exit status; otherwise it
// prints the notices on `err`, one line each, and returns -1 to go on.
int AnswerHelpAndNotices(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
