// Decodes MP3 data with libmpg123, the tests' reference decoder, and reports every complaint
// the decoder makes: a stream that decodes "cleanly" gave no error and printed no warning.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testmp3 {

struct Decoded {
    bool opened = false;
    long rate = 0;
    int channels = 0;
    int frames = 0;                     // MPEG frames decoded
    std::vector<std::int16_t> samples;  // interleaved
    int errors = 0;                     // decoder calls that failed
    std::string messages;               // what the decoder printed (warnings, notes)

    bool Clean() const { return opened && errors == 0 && messages.empty(); }
    std::size_t SamplesPerChannel() const {
        return channels ? samples.size() / static_cast<std::size_t>(channels) : 0;
    }
};

Decoded DecodeBytes(const std::vector<std::uint8_t>& bytes);
Decoded DecodeFile(const std::string& path);

// One frame header's fields, read straight from the bytes.
struct FrameHeader {
    int bitrateIndex = 0;
    int samplingIndex = 0;
    int padding = 0;
    int privateBit = 0;
    int mode = 0;
    int modeExtension = 0;
    int copyright = 0;
    int original = 0;
    int emphasis = 0;
    int protection = 0;  // protection_bit: 1 means no CRC
    int lengthBytes = 0;
};
// Walks the audio frames by their lengths, from the first byte after an ID3v2 tag and an Info
// frame where the file begins with them; stops at the first byte that is not a Layer III
// MPEG-1 header (anything after the last frame, for instance).
std::vector<FrameHeader> ParseHeaders(const std::vector<std::uint8_t>& bytes);
// At most `most` frames from byte pos on.
std::vector<FrameHeader> ParseFrames(const std::vector<std::uint8_t>& bytes, std::size_t pos,
                                     std::size_t most);

}  // namespace testmp3
