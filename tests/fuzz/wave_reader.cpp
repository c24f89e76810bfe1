// The WAV reader over any bytes: the header checks, then every frame in each layout the
// encoders read it with (stereo, a stereo file mixed down, a single channel) and the raw
// sample reads of the codec encoder; and the reader of the names in its LIST/INFO chunks,
// whose text must come out as valid UTF-8 whatever the bytes.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "job/encoding_settings.h"
#include "layer3/wave_reader.h"
#include "tags/riff_info.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// A frame holds 2 * 1152 values; the reader must never hand out more than it was asked for.
void CheckCount(int got, int asked) {
    if (got < 0 || got > asked) std::abort();
}

void ReadAllFrames(layer3::CWaveReader& reader, int mode, int downmix) {
    EncodingSettings settings;
    settings.mode = mode;
    settings.downmix = downmix;
    settings.samplesPerFrame = layer3::kFrameSamples;
    layer3::FrameBuffer frame;
    const int asked = mode == 3 && !downmix ? layer3::kFrameSamples : 2 * layer3::kFrameSamples;
    for (;;) {
        const int got = reader.ReadFrame(frame, settings);
        CheckCount(got, asked);
        if (got == 0) break;
    }
}

void ReadRawBlocks(layer3::CWaveReader& reader) {
    // The codec encoder's block: an odd count, so that a partial last value is reached.
    std::int16_t block[1151];
    while (true) {
        const int got = reader.ReadSamples(block, 1151);
        CheckCount(got, 1151);
        if (got == 0) break;
    }
}

void CheckText(const std::string& text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    if (tags::TextAsUtf8(bytes, text.size()) != text) std::abort();
}

void CheckNames(const tags::TagFields& f) {
    for (const std::string* s : {&f.title, &f.artist, &f.album, &f.date, &f.genre, &f.comment, &f.track})
        CheckText(*s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::SilentMessageBoxes boxes;
    const std::string path = fuzz::WriteScratchFile("input.wav", data, size);
    CheckNames(tags::ReadRiffInfo(path));
    // The reader holds a frame of staging samples: off the stack, as the encoders keep it.
    auto reader = std::make_unique<layer3::CWaveReader>();
    if (reader->Open(path) != 1) return 0;
    if (reader->channels != 1 && reader->channels != 2) std::abort();
    if (reader->channels == 2) {
        ReadAllFrames(*reader, 0, 0);
        if (reader->Open(path) != 1) std::abort();
        ReadAllFrames(*reader, 3, 1);
    } else {
        ReadAllFrames(*reader, 3, 0);
    }
    if (reader->Open(path) != 1) std::abort();
    ReadRawBlocks(*reader);
    return 0;
}
