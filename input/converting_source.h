// Any audio file libsndfile reads, delivered as the encoders want it: 16-bit samples, one or
// two channels, at 32, 44.1 or 48 kHz. More than two channels are mixed down to stereo, other
// rates resampled with libsoxr at its very-high quality, and then the result is dithered to 16
// bits. Integer input of at most 16 bits at an encoder rate in one or two channels is handed
// out exactly as stored.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace input {

struct SourceFormat {
    int sourceRate = 0;
    int sourceChannels = 0;
    std::int64_t sourceFrames = 0;
    int outputRate = 0;
    int outputChannels = 0;
    // Frames per channel the source gives at the output rate.
    std::int64_t outputFrames = 0;
    // "5.1" when the channels are mixed down, empty otherwise.
    std::string mixedFrom;
    // Whether samples pass through the floating-point conversion and the dither.
    bool converted = false;
};

class ConvertingSource {
  public:
    ConvertingSource();
    ~ConvertingSource();
    ConvertingSource(const ConvertingSource&) = delete;
    ConvertingSource& operator=(const ConvertingSource&) = delete;

    // Empty when the file is open and ready; otherwise why it cannot be read (without the
    // file's name), and nothing stays open.
    std::string Open(const std::string& path);
    void Close();
    bool IsOpen() const;
    const SourceFormat& Format() const { return format_; }

    // Reads up to count 16-bit values, interleaved when stereo; zero-fills the rest of a short
    // read. Returns the values read: 0 at the end, -1 when nothing is open.
    int ReadSamples(std::int16_t* buffer, int count);

    // Samples that had to be clipped to fit 16 bits so far.
    std::int64_t Clipped() const;
    // Why the source stopped before the end it announced (a truncated or damaged file), or
    // empty while it has not.
    const std::string& EndedEarly() const { return endedEarly_; }

  private:
    struct Pipeline;

    // Reads and converts the next block of the file into the queue; false at the end.
    bool Refill();

    std::unique_ptr<Pipeline> pipeline_;
    SourceFormat format_;
    std::string endedEarly_;
};

}  // namespace input
