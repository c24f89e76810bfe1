// What became of one file of a batch, told by the worker that handled it as the file ends, so
// that a front end can list every file and sum the batch up.
#pragma once

#include <algorithm>
#include <functional>
#include <string>

#include "job/encoder.h"
#include "job/encoding_settings.h"
#include "platform/file.h"

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
    // kFailed: why, naming the file ("x.wav cannot be read: No such file or directory").
    std::string reason{};
};

// Why an encoding of input failed: what the encoder learned, otherwise the reason the input
// cannot be read now (deleted, or replaced by a folder, during the batch); empty when neither.
inline std::string FailureReasonFor(const CEncoder& encoder, const std::string& input) {
    if (!encoder.FailureReason().empty()) return encoder.FailureReason();
    if (const std::string why = platform::UnreadableFileReason(input); !why.empty())
        return input + " cannot be read: " + why;
    return "";
}

// What an encoding of input to output came to: closed whole, failed (nothing was opened or the
// output could not be written), or stopped short; with the audio the first `frames` frames hold
// of the file, whose last frames are padding beyond the input.
inline FileOutcome EncodingOutcome(bool complete, bool failed, const std::string& input,
                                   const std::string& output, long long frames, const EncodingSettings& s) {
    FileOutcome o{complete ? FileOutcome::kEncoded
                  : failed ? FileOutcome::kFailed
                           : FileOutcome::kStopped,
                  input, output};
    if (!failed && s.samplingFrequencyHz > 0)
        o.audioSeconds = static_cast<double>(std::min<long long>(frames * s.samplesPerFrame, s.sampleCount)) /
                         s.samplingFrequencyHz;
    return o;
}

// Called on the worker thread, so it must be safe to call from several at once.
using FileOutcomeSink = std::function<void(const FileOutcome&)>;
