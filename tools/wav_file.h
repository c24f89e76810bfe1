// Writes WAV files of generated audio: the example WAV at build time and the test inputs.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace wavfile {

struct Chunk {
    std::string tag;  // four characters
    std::vector<std::uint8_t> body;
};

inline void PutU16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
}

inline void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}

inline void PutTag(std::vector<std::uint8_t>& out, const std::string& tag) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(i < static_cast<int>(tag.size()) ? tag[i] : ' '));
}

// The body of a PCM format chunk of 16 bytes (or 18 with a zero extension size).
inline std::vector<std::uint8_t> FormatBody(int formatTag, int channels, int rate, int bits,
                                            bool extension = false) {
    std::vector<std::uint8_t> b;
    PutU16(b, static_cast<unsigned>(formatTag));
    PutU16(b, static_cast<unsigned>(channels));
    PutU32(b, static_cast<std::uint32_t>(rate));
    const std::uint32_t blockAlign =
        static_cast<std::uint32_t>(channels) * static_cast<std::uint32_t>((bits + 7) / 8);
    PutU32(b, static_cast<std::uint32_t>(rate) * blockAlign);
    PutU16(b, blockAlign);
    PutU16(b, static_cast<unsigned>(bits));
    if (extension)
        PutU16(b, 0);
    return b;
}

inline std::vector<std::uint8_t> Samples16(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> b;
    b.reserve(samples.size() * 2);
    for (std::int16_t s : samples)
        PutU16(b, static_cast<std::uint16_t>(s));
    return b;
}

// RIFF/WAVE with the chunks in the order given; odd-length chunks get their pad byte.
inline std::vector<std::uint8_t> Riff(const std::vector<Chunk>& chunks) {
    std::vector<std::uint8_t> body;
    PutTag(body, "WAVE");
    for (const Chunk& c : chunks) {
        PutTag(body, c.tag);
        PutU32(body, static_cast<std::uint32_t>(c.body.size()));
        body.insert(body.end(), c.body.begin(), c.body.end());
        if (c.body.size() % 2)
            body.push_back(0);
    }
    std::vector<std::uint8_t> out;
    PutTag(out, "RIFF");
    PutU32(out, static_cast<std::uint32_t>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// The plain 44-byte-header file of interleaved 16-bit samples.
inline std::vector<std::uint8_t> Pcm16(const std::vector<std::int16_t>& interleaved, int channels, int rate) {
    return Riff({{"fmt ", FormatBody(1, channels, rate, 16)}, {"data", Samples16(interleaved)}});
}

inline bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace wavfile
