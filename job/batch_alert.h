// What the main window says when a batch ends, and when Go finds nothing to encode: the
// rule without the window, so that a failure or a stop is never announced as success.
#pragma once

#include <string>
#include <vector>

inline constexpr const char* kNothingToEncode = "There is nothing to encode.";

struct BatchAlert {
    std::string text;
    std::string details;  // the names of the files that failed, one a line; empty when none did
};

// stopped: the user stopped the batch (Stop, or Cancel to one of its questions). failed: the
// files and CD tracks that could not be encoded, in the order the batch met them.
BatchAlert EndOfBatchAlert(bool stopped, const std::vector<std::string>& failed);
