#include "layer3/wave_reader.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "job/text.h"
#include "platform/message_box.h"

namespace layer3 {

namespace {

bool TagIs(const char tag[4], const char* expected) {
    return std::memcmp(tag, expected, 4) == 0;
}

}  // namespace

bool CWaveReader::Fail(const char* format, const std::string& fileName) {
    platform::MessageBox(Printf(format, fileName.c_str()), platform::kAppCaption,
                         platform::MB_OK | platform::MB_ICONEXCLAMATION);
    Close();
    return false;
}

bool CWaveReader::ReadTag(char tag[4]) {
    return file_.Read(tag, 4) == 4;
}

bool CWaveReader::ReadU16(std::uint16_t& v) {
    unsigned char b[2] = {0, 0};
    bool ok = file_.Read(b, 2) == 2;
    v = static_cast<std::uint16_t>(b[0] | (b[1] << 8));
    return ok;
}

bool CWaveReader::ReadU32(std::uint32_t& v) {
    unsigned char b[4] = {0, 0, 0, 0};
    bool ok = file_.Read(b, 4) == 4;
    v = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
        (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    return ok;
}

void CWaveReader::SkipZeroBytes() {
    // The only handling of padding: it absorbs the pad byte after an odd-length chunk and the
    // zero extension of an 18-byte format chunk.
    while (file_.Peek() == 0)
        file_.SeekForward(1);
}

int CWaveReader::Open(const std::string& fileName) {
    Close();
    cutShort_ = false;
    fileName_ = fileName;
    if (!file_.Open(fileName)) {
        Close();
        return 0;
    }
    // Fields that a short file never delivers read as zero bytes, so a truncated header fails
    // the first check it cannot pass, exactly as a stream that hit its end would.
    char tag[4] = {0, 0, 0, 0};
    std::uint32_t u32 = 0;
    std::uint16_t u16 = 0;

    ReadTag(tag);
    if (!TagIs(tag, "RIFF")) return Fail("%s is not a RIFF file.\n", fileName);
    ReadU32(u32);  // RIFF length, not used
    std::memset(tag, 0, 4);
    ReadTag(tag);
    if (!TagIs(tag, "WAVE")) return Fail("%s is not a WAVE file.\n", fileName);
    std::memset(tag, 0, 4);
    ReadTag(tag);
    if (!TagIs(tag, "fmt ")) return Fail("%s: chunk not found.\n", fileName);
    ReadU32(u32);  // format chunk length, never used to skip the chunk
    u16 = 0;
    ReadU16(u16);
    if (u16 != 1) return Fail("%s: wrong WAVE format.\n", fileName);
    u16 = 0;
    ReadU16(u16);
    channels = static_cast<std::int16_t>(u16);
    u32 = 0;
    ReadU32(u32);
    sampleRate = static_cast<int>(u32);
    if (u32 != 32000 && u32 != 44100 && u32 != 48000)
        return Fail("%s: wrong sampling rate.\nValid values are: 32000,44100 and 48000.", fileName);
    ReadU32(u32);  // byte rate
    ReadU16(u16);  // block alignment
    if (channels != 1 && channels != 2) return Fail("%s: wrong channels number.\n", fileName);
    u16 = 0;
    ReadU16(u16);
    bitsPerSample = u16;
    if (bitsPerSample != 16) return Fail("%s is not a 16 bit wave file.\n", fileName);

    for (;;) {
        SkipZeroBytes();
        if (ReadTag(tag) && TagIs(tag, "data")) break;
        if (!file_.Failed() && ReadU32(u32)) {
            file_.SeekForward(u32);
            SkipZeroBytes();
        }
        if (file_.Failed() || file_.Position() > file_.Size())
            return Fail("%s: DATA chunk not found.\n", fileName);
    }

    std::uint32_t dataLength = 0;
    ReadU32(dataLength);
    const std::uint64_t available = file_.Size() > file_.Position() ? file_.Size() - file_.Position() : 0;
    // A streamed WAV (length unknown) or a truncated one (length past the end): read what is there,
    // and tell the length of what is there, not what the header claims.
    dataLeft_ = (dataLength == 0xFFFFFFFFu || dataLength > available) ? available : dataLength;
    sampleCount = static_cast<int>(dataLeft_ / (2u * static_cast<unsigned>(channels)));
    durationSeconds = sampleCount / sampleRate;
    return 1;
}

int CWaveReader::ReadSamples(std::int16_t* buffer, int count) {
    if (!file_.IsOpen()) return -1;
    if (count <= 0) return 0;
    std::uint64_t wanted = 2ull * static_cast<unsigned>(count);
    if (wanted > dataLeft_) wanted = dataLeft_;
    unsigned char* bytes = reinterpret_cast<unsigned char*>(buffer);
    std::size_t read = file_.Read(bytes, static_cast<std::size_t>(wanted));
    dataLeft_ -= read;
    if (read < wanted) {
        // The data was there at Open: the file shrank or could not be read any further.
        dataLeft_ = 0;
        cutShort_ = true;
        platform::MessageBox(
            Printf("%s ended early: it was cut short or could not be read.\n", fileName_.c_str()),
            platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
    }
    int got = static_cast<int>(read / 2);
    // The file is little-endian; convert in place for a big-endian host.
    for (int i = 0; i < got; ++i)
        buffer[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    if (got > 0 && got < count)
        std::memset(buffer + got, 0, sizeof(std::int16_t) * static_cast<std::size_t>(count - got));
    return got;
}

int CWaveReader::ReadFrame(FrameBuffer& frame, const EncodingSettings& settings) {
    return ReadShapedFrame(frame, settings, staging_,
                           [this](std::int16_t* buffer, int count) { return ReadSamples(buffer, count); });
}

void CWaveReader::Close() {
    file_.Close();
    dataLeft_ = 0;
}

}  // namespace layer3
