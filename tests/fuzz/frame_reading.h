// How the fuzz targets of the input readers read a file to its end: every frame in one of the
// layouts the encoders read it with, or the raw blocks of the codec encoder, checking that no
// read hands out more values than it was asked for.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "job/encoding_settings.h"
#include "layer3/wave_reader.h"

namespace fuzz {

inline void CheckCount(int got, int asked) {
    if (got < 0 || got > asked) std::abort();
}

// Returns the values read in all.
template <typename Reader>
long long ReadAllFrames(Reader& reader, int mode, int downmix) {
    EncodingSettings settings;
    settings.mode = mode;
    settings.downmix = downmix;
    settings.samplesPerFrame = layer3::kFrameSamples;
    layer3::FrameBuffer frame;
    const int asked = mode == 3 && !downmix ? layer3::kFrameSamples : 2 * layer3::kFrameSamples;
    long long total = 0;
    for (;;) {
        const int got = reader.ReadFrame(frame, settings);
        CheckCount(got, asked);
        if (got == 0) return total;
        total += got;
    }
}

template <typename Reader>
void ReadRawBlocks(Reader& reader) {
    // The codec encoder's block: an odd count, so that a partial last value is reached.
    std::int16_t block[1151];
    for (;;) {
        const int got = reader.ReadSamples(block, 1151);
        CheckCount(got, 1151);
        if (got == 0) break;
    }
}

}  // namespace fuzz
