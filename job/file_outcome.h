// What became of one file of a batch, told by the worker that handled it as the file ends, so
// that a front end can list every file and sum the batch up.
#pragma once

#include <algorithm>
#include <functional>
#include <string>

struct FileOutcome {
    enum Kind {
        kEncoded,            // the output was closed whole
        kFailed,             // the input could not be opened or the output not written
        kStopped,            // the batch was stopped during this file; its output is shorter
        kSkipped,            // not encoded: the codec cannot, or the batch stopped before it
        kExtracted,          // a CD track was extracted whole into `output`
        kExtractionFailed,   // a read failed; `output` keeps what came before it
        kExtractionStopped,  // the batch was stopped during the extraction; `output` is shorter
    };
    Kind kind = kEncoded;
    std::string input;        // the WAV file, or "Track NN" for an extraction
    std::string output;       // the MP3, or the extracted WAV
    double audioSeconds = 0;  // the audio encoded, or the length of the track extracted
    // kExtractionFailed: the disc's sector where the read that failed began, and the track's
    // first sector.
    long long failedSector = -1;
    long long trackFirstSector = 0;
};

// The audio in the first `frames` frames of a file of sampleCount samples per channel: the
// encoder's last frames are padding beyond the input.
inline double AudioSecondsEncoded(long long frames, int samplesPerFrame, long long sampleCount, int rate) {
    if (rate <= 0) return 0;
    return static_cast<double>(std::min(frames * samplesPerFrame, sampleCount)) / rate;
}

// Called on the worker thread, so it must be safe to call from several at once.
using FileOutcomeSink = std::function<void(const FileOutcome&)>;
