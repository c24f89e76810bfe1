// The input reader over any bytes: libsndfile's formats through the conversion (mix down,
// resampling, dither) in each layout the encoders read, and the codec encoder's raw reads.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "layer3/audio_reader.h"
#include "tests/fuzz/frame_reading.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::SilentMessageBoxes boxes;
    const std::string path = fuzz::WriteScratchFile("input.audio", data, size);
    auto reader = std::make_unique<layer3::CAudioReader>();
    if (reader->Open(path) != 1) return 0;
    const int channels = reader->channels, rate = reader->sampleRate;
    if (channels != 1 && channels != 2) std::abort();
    if (rate != 32000 && rate != 44100 && rate != 48000) std::abort();
    // The reader announced its length: it must not hand out more than that and a frame.
    const long long values = fuzz::ReadAllFrames(*reader, channels == 2 ? 0 : 3, 0);
    if (values > static_cast<long long>(channels) * reader->sampleCount + 2 * layer3::kFrameSamples)
        std::abort();
    if (channels == 2) {
        if (reader->Open(path) != 1) std::abort();
        fuzz::ReadAllFrames(*reader, 3, 1);
    }
    if (reader->Open(path) != 1) std::abort();
    fuzz::ReadRawBlocks(*reader);
    return 0;
}
