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
#include "tests/fuzz/frame_reading.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

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
        fuzz::ReadAllFrames(*reader, 0, 0);
        if (reader->Open(path) != 1) std::abort();
        fuzz::ReadAllFrames(*reader, 3, 1);
    } else {
        fuzz::ReadAllFrames(*reader, 3, 0);
    }
    if (reader->Open(path) != 1) std::abort();
    fuzz::ReadRawBlocks(*reader);
    return 0;
}
