#include "tests/support/mp3_decoder.h"

#include <mpg123.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace testmp3 {

namespace {

// libmpg123 reports warnings on standard error; catch them in a temporary file meanwhile.
class StderrCapture {
  public:
    StderrCapture() {
        std::fflush(stderr);
        file_ = std::tmpfile();
        saved_ = dup(STDERR_FILENO);
        if (file_) dup2(fileno(file_), STDERR_FILENO);
    }
    ~StderrCapture() { Restore(); }
    std::string Restore() {
        if (saved_ < 0) return text_;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
        if (file_) {
            std::rewind(file_);
            char buf[4096];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, file_)) > 0)
                text_.append(buf, n);
            std::fclose(file_);
            file_ = nullptr;
        }
        return text_;
    }

  private:
    std::FILE* file_ = nullptr;
    int saved_ = -1;
    std::string text_;
};

// The decoder's notes that it found an ID3v2 tag or an Info frame say nothing is wrong.
std::string WithoutTagNotes(const std::string& text) {
    std::string kept;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        const std::string line = text.substr(at, end - at);
        if (line.rfind("Note: ID3v2", 0) != 0 && line.rfind("Note: Xing/Lame/Info header detected", 0) != 0)
            kept += line;
        at = end;
    }
    return kept;
}

}  // namespace

Decoded DecodeBytes(const std::vector<std::uint8_t>& bytes) {
    Decoded out;
    StderrCapture capture;
    int err = MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, &err);
    if (!h) return out;
    mpg123_param(h, MPG123_VERBOSE, 2, 0);
    mpg123_param(h, MPG123_REMOVE_FLAGS, MPG123_QUIET, 0);
    mpg123_param(h, MPG123_RESYNC_LIMIT, -1, 0);
    mpg123_format_none(h);
    for (long rate : {32000L, 44100L, 48000L})
        mpg123_format(h, rate, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(h) != MPG123_OK) {
        mpg123_delete(h);
        return out;
    }
    out.opened = true;
    std::vector<unsigned char> pcm(1 << 16);
    auto drain = [&](const unsigned char* in, std::size_t inSize) {
        std::size_t done = 0;
        int ret = mpg123_decode(h, in, inSize, pcm.data(), pcm.size(), &done);
        for (;;) {
            if (done) {
                const auto* s = reinterpret_cast<const std::int16_t*>(pcm.data());
                out.samples.insert(out.samples.end(), s, s + done / 2);
            }
            if (ret == MPG123_NEW_FORMAT) {
                int enc = 0;
                mpg123_getformat(h, &out.rate, &out.channels, &enc);
            } else if (ret == MPG123_NEED_MORE || ret == MPG123_DONE) {
                break;
            } else if (ret != MPG123_OK) {
                ++out.errors;
                break;
            }
            ret = mpg123_decode(h, nullptr, 0, pcm.data(), pcm.size(), &done);
        }
    };
    drain(bytes.data(), bytes.size());
    off_t frameNumber = mpg123_tellframe(h);
    out.frames = frameNumber >= 0 ? static_cast<int>(frameNumber) : 0;
    mpg123_delete(h);
    out.messages = WithoutTagNotes(capture.Restore());
    return out;
}

Decoded DecodeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return DecodeBytes(bytes);
}

namespace {

// Where the audio frames begin: after an ID3v2 tag and an Info (or Xing) frame, when present.
std::size_t FirstAudioFrame(const std::vector<std::uint8_t>& bytes) {
    std::size_t pos = 0;
    if (bytes.size() >= 10 && bytes[0] == 'I' && bytes[1] == 'D' && bytes[2] == '3')
        pos = 10 + ((bytes[6] & 0x7Fu) << 21 | (bytes[7] & 0x7Fu) << 14 | (bytes[8] & 0x7Fu) << 7 |
                    (bytes[9] & 0x7Fu));
    const std::vector<FrameHeader> first = ParseFrames(bytes, pos, 1);
    if (first.empty()) return pos;
    const std::size_t tag = pos + 4 + (first[0].mode == 3 ? 17 : 32);
    for (const char* marker : {"Info", "Xing"})
        if (tag + 4 <= bytes.size() &&
            std::equal(marker, marker + 4, bytes.begin() + static_cast<std::ptrdiff_t>(tag)))
            return pos + static_cast<std::size_t>(first[0].lengthBytes);
    return pos;
}

}  // namespace

std::vector<FrameHeader> ParseHeaders(const std::vector<std::uint8_t>& bytes) {
    return ParseFrames(bytes, FirstAudioFrame(bytes), bytes.size());
}

std::vector<FrameHeader> ParseFrames(const std::vector<std::uint8_t>& bytes, std::size_t pos,
                                     std::size_t most) {
    static const int kKbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const int kRates[3] = {44100, 48000, 32000};
    std::vector<FrameHeader> headers;
    while (headers.size() < most && pos + 4 <= bytes.size()) {
        const std::uint8_t* b = &bytes[pos];
        // Sync, MPEG-1, Layer III.
        if (b[0] != 0xFF || (b[1] & 0xFE) != 0xFA) break;
        FrameHeader f;
        f.protection = b[1] & 1;
        f.bitrateIndex = b[2] >> 4;
        f.samplingIndex = (b[2] >> 2) & 3;
        f.padding = (b[2] >> 1) & 1;
        f.privateBit = b[2] & 1;
        f.mode = b[3] >> 6;
        f.modeExtension = (b[3] >> 4) & 3;
        f.copyright = (b[3] >> 3) & 1;
        f.original = (b[3] >> 2) & 1;
        f.emphasis = b[3] & 3;
        if (f.bitrateIndex == 0 || f.bitrateIndex == 15 || f.samplingIndex == 3) break;
        f.lengthBytes = 144000 * kKbps[f.bitrateIndex] / kRates[f.samplingIndex] + f.padding;
        headers.push_back(f);
        pos += static_cast<std::size_t>(f.lengthBytes);
    }
    return headers;
}

}  // namespace testmp3
