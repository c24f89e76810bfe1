// The reader of every input the encoders take. A 16-bit PCM WAV at 32, 44.1 or 48 kHz in one
// or two channels goes through CWaveReader exactly as it always has; any other file libsndfile
// reads goes through the converting source, which hands it out in the same shape: 16 bits,
// one or two channels, an encoder rate. The interface is CWaveReader's.
#pragma once

#include <cstdint>
#include <string>

#include "input/converting_source.h"
#include "layer3/wave_reader.h"

namespace layer3 {

class CAudioReader {
  public:
    CAudioReader() = default;
    ~CAudioReader() { Close(); }
    CAudioReader(const CAudioReader&) = delete;
    CAudioReader& operator=(const CAudioReader&) = delete;

    // 1 when the file is ready to read; 0 after a message naming the file and why it cannot
    // be read (or silently when the file cannot be opened at all).
    int Open(const std::string& fileName);
    int ReadSamples(std::int16_t* buffer, int count);
    int ReadFrame(FrameBuffer& frame, const EncodingSettings& settings);
    // Says once how many samples had to be clipped, if any.
    void Close();
    bool IsOpen() const { return wave_.IsOpen() || source_.IsOpen(); }
    bool CutShort() const { return wave_.CutShort() || cutShort_; }
    // Whether the samples are converted (mixed, resampled or dithered) on their way.
    bool Converted() const { return source_.IsOpen() && source_.Format().converted; }
    // The file's own rate, which differs from sampleRate when it is resampled.
    int SourceRate() const { return source_.IsOpen() ? source_.Format().sourceRate : sampleRate; }
    // "Mono", "Stereo", or "5.1 → Stereo" for a file mixed down.
    std::string ModeText() const;

    // As the encoders see the file: after conversion, when it is converted.
    int channels = 0;
    int sampleRate = 0;
    int bitsPerSample = 0;
    int sampleCount = 0;
    int durationSeconds = 0;

  private:
    int OpenWithWaveReader(const std::string& fileName);
    void TakeConvertedFormat();
    bool Refuse(const std::string& text);
    void ReportEndedEarly();

    CWaveReader wave_;
    input::ConvertingSource source_;
    std::string fileName_;
    std::string mixedFrom_;
    bool cutShort_ = false;
    std::int16_t staging_[2 * kFrameSamples] = {};
};

}  // namespace layer3
