// The input reader over any bytes: libsndfile's formats through the conversion (mix down,
// resampling, dither) in each layout the encoders read, and the codec encoder's raw reads.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "job/encoding_settings.h"
#include "layer3/audio_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

void CheckCount(int got, int asked) {
    if (got < 0 || got > asked) std::abort();
}

void ReadAllFrames(layer3::CAudioReader& reader, int mode, int downmix) {
    EncodingSettings settings;
    settings.mode = mode;
    settings.downmix = downmix;
    settings.samplesPerFrame = layer3::kFrameSamples;
    layer3::FrameBuffer frame;
    const int asked = mode == 3 && !downmix ? layer3::kFrameSamples : 2 * layer3::kFrameSamples;
    // The reader announced its length: it must not hand out much more than that.
    long long total = 0;
    for (;;) {
        const int got = reader.ReadFrame(frame, settings);
        CheckCount(got, asked);
        if (got == 0) break;
        total += got;
        if (total > 2LL * reader.sampleCount + asked) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::SilentMessageBoxes boxes;
    const std::string path = fuzz::WriteScratchFile("input.audio", data, size);
    auto reader = std::make_unique<layer3::CAudioReader>();
    if (reader->Open(path) != 1) return 0;
    if (reader->channels != 1 && reader->channels != 2) std::abort();
    const int rate = reader->sampleRate;
    if (rate != 32000 && rate != 44100 && rate != 48000) std::abort();
    ReadAllFrames(*reader, reader->channels == 2 ? 0 : 3, 0);
    if (reader->channels == 2) {
        if (reader->Open(path) != 1) std::abort();
        ReadAllFrames(*reader, 3, 1);
    }
    std::int16_t block[1151];
    if (reader->Open(path) != 1) std::abort();
    while (true) {
        const int got = reader->ReadSamples(block, 1151);
        CheckCount(got, 1151);
        if (got == 0) break;
    }
    return 0;
}
