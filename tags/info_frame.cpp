#include "tags/info_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tags {

namespace {

constexpr int kBitrates[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kRates[3] = {44100, 48000, 32000};
// The tag's fields up to its own checksum; the frame must hold them after the side information.
constexpr int kTagLength = 156;
constexpr int kStereoSideInfo = 32, kMonoSideInfo = 17;
constexpr int kFlagsAll = 0x0F;  // frames, bytes, seek table and quality present

int RateIndex(int rate) {
    for (int i = 0; i < 3; ++i)
        if (kRates[i] == rate) return i;
    return 0;
}

int BitrateIndex(int kbps) {
    for (int i = 1; i < 15; ++i)
        if (kBitrates[i] >= kbps) return i;
    return 14;
}

int FrameLength(int bitrateIndex, int rate, int padding) {
    return 144000 * kBitrates[bitrateIndex] / rate + padding;
}

// The lowest bit-rate index from the stream's whose unpadded frame holds the whole tag.
int InfoBitrateIndex(const InfoStream& s) {
    int index = BitrateIndex(s.kbps);
    while (index < 14 && FrameLength(index, s.sampleRate, 0) < 4 + kStereoSideInfo + kTagLength)
        ++index;
    return index;
}

int SideInfoLength(int mode) {
    return mode == 3 ? kMonoSideInfo : kStereoSideInfo;
}

void PutBe32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

void PutBe16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 8);
    p[1] = static_cast<std::uint8_t>(v);
}

// A gain field: name, originator "computed automatically", sign, tenths of a dB.
std::uint16_t GainField(int name, std::optional<double> gainDb) {
    if (!gainDb || !std::isfinite(*gainDb)) return 0;
    const long tenths = std::min(511L, std::lround(std::fabs(*gainDb) * 10));
    const int sign = *gainDb < 0 && tenths > 0 ? 1 : 0;
    return static_cast<std::uint16_t>(name << 13 | 3 << 10 | sign << 9 | tenths);
}

struct ParsedHeader {
    int length = 0;
    int mode = 0;
};

// An MPEG-1 Layer III header the encoders write (any rate, bit rate and mode, no free format).
bool ParseHeader(const std::uint8_t* p, ParsedHeader& h) {
    if (p[0] != 0xFF || (p[1] & 0xFE) != 0xFA) return false;
    const int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
    if (bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
    h.length = FrameLength(bitrateIndex, kRates[rateIndex], (p[2] >> 1) & 1);
    h.mode = p[3] >> 6;
    return true;
}

// The header of the Info frame: the first audio frame's, at the Info frame's bit rate,
// unpadded and without CRC; built from the stream when no audio frame follows.
void InfoHeader(const InfoStream& s, const AudioFrames& frames, std::uint8_t* out) {
    if (frames.offsets.empty()) {
        const int mode = s.channels == 1 ? 3 : s.jointStereo ? 1 : 0;
        out[0] = 0xFF;
        out[1] = 0xFB;
        out[2] = static_cast<std::uint8_t>(RateIndex(s.sampleRate) << 2);
        out[3] = static_cast<std::uint8_t>(mode << 6);
    } else {
        std::memcpy(out, frames.firstHeader, 4);
        out[1] |= 1;                                        // no CRC
        out[2] = static_cast<std::uint8_t>(out[2] & 0x0D);  // bit rate and padding cleared
    }
    out[2] |= static_cast<std::uint8_t>(InfoBitrateIndex(s) << 4);
}

int StereoModeCode(int mode) {
    switch (mode) {
        case 3:
            return 0;  // mono
        case 1:
            return 3;  // joint
        default:
            return 1;  // stereo (dual channel included)
    }
}

int SourceRateCode(int rate) {
    if (rate <= 32000) return 0;
    return rate == 44100 ? 1 : 2;
}

void FillSeekTable(const AudioFrames& frames, std::uint32_t firstFrameOffset, std::uint32_t totalBytes,
                   std::uint8_t* table) {
    const std::size_t n = frames.offsets.size();
    int previous = 0;
    for (std::size_t i = 0; i < 100; ++i) {
        int entry = 0;
        if (n > 0 && totalBytes > 0) {
            const std::size_t frame = std::min(n - 1, i * n / 100);
            const double at = static_cast<double>(firstFrameOffset + frames.offsets[frame]);
            entry = std::min(255, static_cast<int>(at * 256.0 / totalBytes));
        }
        previous = std::max(previous, entry);
        table[i] = static_cast<std::uint8_t>(previous);
    }
}

}  // namespace

namespace {

// Slicing by four: row 0 advances the checksum over one byte, row k over a byte followed by k
// zero bytes, so that four bytes take four independent look-ups instead of 32 shifts.
struct Crc16Tables {
    std::uint16_t row[4][256];
};

constexpr Crc16Tables MakeCrc16Tables() {
    Crc16Tables t{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1;
        t.row[0][byte] = static_cast<std::uint16_t>(crc);
    }
    for (int k = 1; k < 4; ++k)
        for (unsigned byte = 0; byte < 256; ++byte) {
            const unsigned previous = t.row[k - 1][byte];
            t.row[k][byte] = static_cast<std::uint16_t>((previous >> 8) ^ t.row[0][previous & 0xFF]);
        }
    return t;
}

constexpr Crc16Tables kCrc16 = MakeCrc16Tables();

}  // namespace

std::uint16_t Crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc) {
    std::size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        const unsigned low = (crc ^ data[i]) & 0xFF, high = ((crc >> 8) ^ data[i + 1]) & 0xFF;
        crc = static_cast<std::uint16_t>(kCrc16.row[3][low] ^ kCrc16.row[2][high] ^
                                         kCrc16.row[1][data[i + 2]] ^ kCrc16.row[0][data[i + 3]]);
    }
    for (; i < size; ++i)
        crc = static_cast<std::uint16_t>((crc >> 8) ^ kCrc16.row[0][(crc ^ data[i]) & 0xFF]);
    return crc;
}

int InfoFrameLength(const InfoStream& stream) {
    return FrameLength(InfoBitrateIndex(stream), stream.sampleRate, 0);
}

void AudioFrames::Add(const std::uint8_t* frame, std::size_t length) {
    if (offsets.empty()) std::memcpy(firstHeader, frame, 4);
    offsets.push_back(bytes);
    bytes += static_cast<std::uint32_t>(length);
    crc = Crc16(frame, length, crc);
}

int AudioFrameLength(const std::uint8_t* header) {
    ParsedHeader h;
    return ParseHeader(header, h) ? h.length : 0;
}

AudioFrames ScanAudioFrames(const std::uint8_t* data, std::size_t size) {
    AudioFrames frames;
    std::size_t at = 0;
    for (int length; at + 4 <= size && (length = AudioFrameLength(data + at)) > 0 &&
                     at + static_cast<std::size_t>(length) <= size;
         at += static_cast<std::size_t>(length))
        frames.Add(data + at, static_cast<std::size_t>(length));
    return frames;
}

std::vector<std::uint8_t> BuildInfoFrame(const InfoStream& stream, const AudioFrames& frames,
                                         const InfoFacts& facts) {
    const int length = InfoFrameLength(stream);
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(length), 0);
    std::uint8_t* p = frame.data();
    InfoHeader(stream, frames, p);
    const int mode = p[3] >> 6;
    std::uint8_t* tag = p + 4 + SideInfoLength(mode);
    const std::uint32_t totalBytes = static_cast<std::uint32_t>(length) + frames.bytes;
    const std::uint32_t frameCount = static_cast<std::uint32_t>(frames.offsets.size());

    std::memcpy(tag, "Info", 4);
    PutBe32(tag + 4, kFlagsAll);
    PutBe32(tag + 8, frameCount);
    PutBe32(tag + 12, totalBytes);
    FillSeekTable(frames, static_cast<std::uint32_t>(length), totalBytes, tag + 16);
    PutBe32(tag + 116, 0);  // quality: not rated

    std::uint8_t* ext = tag + 120;
    // The marker by which decoders know this extension's layout (ffmpeg honours the delay and
    // padding only behind it), followed by the program's own short name.
    std::memcpy(ext, "LAME", 4);
    std::memcpy(ext + 4, facts.version, 5);
    ext[9] = 0x01;  // revision 0, constant bit rate
    std::uint32_t peakBits = 0;
    static_assert(sizeof peakBits == sizeof facts.peak);
    std::memcpy(&peakBits, &facts.peak, sizeof peakBits);
    PutBe32(ext + 11, peakBits);
    PutBe16(ext + 15, GainField(1, facts.trackGainDb));
    PutBe16(ext + 17, GainField(2, facts.albumGainDb));
    ext[20] = static_cast<std::uint8_t>(std::min(255, stream.kbps));
    // Without frames there is nothing to trim. A stopped encode holds fewer samples than it
    // read: as many as its frames decode.
    const int delay = frameCount ? std::clamp(facts.encoderDelay, 0, 4095) : 0;
    const std::int64_t decodable = static_cast<std::int64_t>(frameCount) * 1152 - delay - kDecoderDelay;
    const std::int64_t samples =
        std::clamp<std::int64_t>(facts.samples, 0, std::max<std::int64_t>(decodable, 0));
    const std::int64_t padding = static_cast<std::int64_t>(frameCount) * 1152 - delay - samples;
    const int delay12 = delay;
    const int padding12 = static_cast<int>(std::clamp<std::int64_t>(padding, 0, 4095));
    ext[21] = static_cast<std::uint8_t>(delay12 >> 4);
    ext[22] = static_cast<std::uint8_t>((delay12 & 15) << 4 | padding12 >> 8);
    ext[23] = static_cast<std::uint8_t>(padding12);
    ext[24] = static_cast<std::uint8_t>(SourceRateCode(stream.sampleRate) << 6 | StereoModeCode(mode) << 2);
    PutBe32(ext + 28, totalBytes);
    PutBe16(ext + 32, frames.crc);
    // The header checksum covers the frame up to itself (the first 190 bytes in stereo).
    const std::size_t covered = static_cast<std::size_t>(ext + 34 - p);
    PutBe16(ext + 34, Crc16(p, covered));
    return frame;
}

int InfoTagOffset(const std::uint8_t* frame, std::size_t size) {
    ParsedHeader h;
    if (size < 4 || !ParseHeader(frame, h)) return -1;
    const int offset = 4 + SideInfoLength(h.mode);
    if (static_cast<std::size_t>(offset + kTagLength + 2) > size || h.length < offset + kTagLength + 2)
        return -1;
    if (std::memcmp(frame + offset, "Info", 4) != 0 || std::memcmp(frame + offset + 120, "LAME", 4) != 0)
        return -1;
    return offset;
}

bool SetInfoAlbumGain(std::uint8_t* frame, std::size_t size, double albumGainDb) {
    const int offset = InfoTagOffset(frame, size);
    if (offset < 0) return false;
    std::uint8_t* ext = frame + offset + 120;
    PutBe16(ext + 17, GainField(2, albumGainDb));
    PutBe16(ext + 34, Crc16(frame, static_cast<std::size_t>(ext + 34 - frame)));
    return true;
}

}  // namespace tags
