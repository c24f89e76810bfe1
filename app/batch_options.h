// The batch command line: WAV files and folders, the switches of velto, and long options.
#pragma once

#include <string>
#include <vector>

struct BatchOptions {
    std::vector<std::string> inputs;  // files and folders, in the order given
    // Overrides of the profile's "Settings" values; -1 where the command line says nothing.
    int bitrateIndex = -1;  // header index, from -b<kbps>
    int copyright = -1;
    int original = -1;
    int mono = -1;
    int deemphasisCode = -1;  // header code, from -e<digit>
    int encodingMode = -1;    // --mode=N
    int prioritySlider = 3;   // -p<digit> as a slider position; 3 is normal priority
    bool useCodec = false;    // --codec
    int jobs = 1;             // -jN / --jobs=N; 0 means one per core
    bool help = false;
    std::string error;  // a usage error, or empty
};

BatchOptions ParseBatchOptions(const std::vector<std::string>& args);

// Files in the order given; a folder stands for its *.wav files (any case) in name order.
std::vector<std::string> ExpandInputs(const std::vector<std::string>& inputs);

const char* BatchUsage();
