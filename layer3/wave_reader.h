// The only reader of WAV input: checks that a file holds 16-bit PCM with one or two channels
// at 32000, 44100 or 48000 Hz, tells its layout and length, and hands out its samples.
#pragma once

#include <cstdint>
#include <string>

#include "job/encoding_settings.h"
#include "platform/file.h"

namespace layer3 {

inline constexpr int kFrameSamples = 1152;
using FrameBuffer = std::int16_t[2][kFrameSamples];

// Reads one frame of 1152 samples per channel through readSamples(buffer, count), which
// hands out interleaved 16-bit values as CWaveReader::ReadSamples does, and shapes it by the
// settings' mode, downmix and samplesPerFrame. Returns the readSamples result (0 at the end),
// -1 for a mode outside 0..3.
template <typename ReadSamples>
int ReadShapedFrame(FrameBuffer& frame, const EncodingSettings& settings,
                    std::int16_t (&staging)[2 * kFrameSamples], ReadSamples readSamples) {
    const int mode = settings.mode;
    if (mode < 0 || mode > 3) return -1;
    // The staging buffer holds one frame; a larger request could never be valid.
    const int perFrame = settings.samplesPerFrame < kFrameSamples ? settings.samplesPerFrame : kFrameSamples;
    int got;
    if (mode != 3) {
        got = readSamples(staging, 2 * perFrame);
        for (int i = 0; i < kFrameSamples; ++i) {
            frame[0][i] = staging[2 * i];
            frame[1][i] = staging[2 * i + 1];
        }
    } else if (settings.downmix) {
        got = readSamples(staging, 2 * perFrame);
        for (int i = 0; i < kFrameSamples; ++i) {
            // Arithmetic shift: the mean rounds towards minus infinity.
            frame[0][i] = static_cast<std::int16_t>((staging[2 * i] + staging[2 * i + 1]) >> 1);
            frame[1][i] = 0;
        }
    } else {
        got = readSamples(staging, perFrame);
        for (int i = 0; i < kFrameSamples; ++i) {
            frame[0][i] = staging[i];
            frame[1][i] = 0;
        }
    }
    return got;
}

class CWaveReader {
  public:
    CWaveReader() = default;
    ~CWaveReader() { Close(); }
    CWaveReader(const CWaveReader&) = delete;
    CWaveReader& operator=(const CWaveReader&) = delete;

    // 1 when the file is a WAV the encoders accept, positioned at the first sample; 0 after
    // showing the header defect (or silently when the file cannot be opened at all).
    int Open(const std::string& fileName);
    // Reads up to count 16-bit values (interleaved when stereo); zero-fills the rest of a
    // short read. Returns the values read, or -1 when no file is open. When the file ends
    // before the data it held at Open (it was cut short or failed while being read), the
    // reader says so once and CutShort() is true from then on.
    int ReadSamples(std::int16_t* buffer, int count);
    // Reads one frame of 1152 samples per channel shaped by the settings' mode, downmix and
    // samplesPerFrame. Returns the ReadSamples result (0 at the end), -1 for a mode outside 0..3.
    int ReadFrame(FrameBuffer& frame, const EncodingSettings& settings);
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }
    bool CutShort() const { return cutShort_; }

    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int sampleCount = 0;
    int durationSeconds = 0;

  private:
    bool Fail(const char* format, const std::string& fileName);
    bool ReadTag(char tag[4]);
    bool ReadU16(std::uint16_t& v);
    bool ReadU32(std::uint32_t& v);
    void SkipZeroBytes();

    platform::InputFile file_;
    // Bytes of sample data left to hand out: the data chunk's length, or everything to the end
    // of the file when the length is unknown (0xFFFFFFFF) or runs past the file's end.
    std::uint64_t dataLeft_ = 0;
    std::string fileName_;
    bool cutShort_ = false;
    std::int16_t staging_[2 * kFrameSamples] = {};
};

}  // namespace layer3
