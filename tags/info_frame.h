// The Info header frame: the first frame of a constant-bit-rate MP3 that tells decoders how many
// frames and bytes follow, where to seek, and how many samples of encoder delay and end padding
// to drop, so that the decoded stream holds exactly the input's samples. It is an ordinary frame
// whose side information is all zero: a decoder that does not know it plays one frame of silence.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tags {

// The delay of the decoders' synthesis filterbank, which they take off themselves.
inline constexpr int kDecoderDelay = 529;

// CRC-16 with the polynomial 0x8005 taken least-significant bit first, initial value 0.
std::uint16_t Crc16(const std::uint8_t* data, std::size_t size, std::uint16_t crc = 0);

// The stream the frame introduces, as known when the file is opened.
struct InfoStream {
    int sampleRate = 44100;
    int kbps = 128;
    int channels = 2;
    bool jointStereo = false;
};

// Bytes of the Info frame for this stream: a frame at the stream's bit rate, or at the lowest
// higher one whose frame holds the whole header.
int InfoFrameLength(const InfoStream& stream);

// The audio frames after the Info frame, walked by their headers.
struct AudioFrames {
    std::vector<std::uint32_t> offsets;  // each frame's first byte, from the first frame's
    std::uint32_t bytes = 0;             // up to the last whole frame's last byte
    std::uint16_t crc = 0;               // of those bytes
    std::uint8_t firstHeader[4] = {};    // the first frame's header, when there is one

    // Counts one more frame of length bytes.
    void Add(const std::uint8_t* frame, std::size_t length);
};
// The length of the MPEG-1 Layer III frame whose four header bytes these are, or 0 when they
// are not such a header.
int AudioFrameLength(const std::uint8_t* header);
// Walks MPEG-1 Layer III frames from the start of data and stops at the first byte that does
// not begin a whole frame.
AudioFrames ScanAudioFrames(const std::uint8_t* data, std::size_t size);

// What the header says about the stream beyond its frames.
struct InfoFacts {
    int encoderDelay = 0;      // samples before the first input sample, less kDecoderDelay
    std::int64_t samples = 0;  // input samples per channel the frames hold
    float peak = 0;            // sample peak, 1.0 = full scale; 0 when not measured
    std::optional<double> trackGainDb;
    std::optional<double> albumGainDb;
    char version[5] = {'V', 'e', 'l', 't', 'o'};  // the program's short name after the marker
};

// The whole Info frame of length InfoFrameLength(stream) for the frames that follow it.
std::vector<std::uint8_t> BuildInfoFrame(const InfoStream& stream, const AudioFrames& frames,
                                         const InfoFacts& facts);

// Where the Info tag of a frame starting at frame[0] begins, or -1 when the frame does not
// carry one written by BuildInfoFrame.
int InfoTagOffset(const std::uint8_t* frame, std::size_t size);
// Sets the album gain of an Info frame in place and renews its header checksum; false when
// the bytes hold no such frame.
bool SetInfoAlbumGain(std::uint8_t* frame, std::size_t size, double albumGainDb);

}  // namespace tags
