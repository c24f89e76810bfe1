// The command line: switches b, c, e, m, o, p and one input WAV file.
#pragma once

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
    std::string fileName;  // the first parameter that is not a switch

    // One parameter, without its leading '-' when it was given as a switch.
    void ParseParam(const std::string& param, bool isSwitch);
};

// Only '-' starts a switch ('/' starts absolute paths here); a lone "-" is not a switch.
CMakerCommandLineInfo ParseCommandLine(const std::vector<std::string>& args);
