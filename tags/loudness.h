// Loudness of a file as it is encoded: the integrated loudness of EBU R 128 (ITU-R BS.1770-4:
// K-weighting, 400-ms blocks every 100 ms, an absolute gate at -70 LUFS and a relative one 10 LU
// below the loudness of the blocks above it) and the sample peak, and the ReplayGain 2.0 gains
// that follow from them. The samples are measured inline, on the thread that hands them over:
// both channels go through the filter side by side in the lanes of one vector, for one to two
// percent of the encoder's time, and the same on every x86-64 processor. Each block's
// loudness goes into a fixed histogram of 0.01-LU bins that keep their count and the sum of
// their blocks' energies, so the state stays under 100 KB for an input of any length, and the
// integration is exact but for the blocks in the one bin the relative gate falls in.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tags {

// The ReplayGain 2.0 reference loudness.
inline constexpr double kReferenceLufs = -18.0;

class LoudnessMeter {
  public:
    // A meter for 16-bit samples of this rate and channel count (1 or 2); one that could not be
    // made measures nothing.
    LoudnessMeter(int sampleRate, int channels);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Interleaved samples of sourceChannels channels (the meter's own count when 0); a stereo
    // source of a one-channel meter is measured as the mean of its channels, as it is encoded.
    void AddInterleaved(const std::int16_t* samples, std::size_t frames, int sourceChannels = 0);
    // One frame of the encoder's planar buffer: channels rows of frames samples each.
    void AddPlanar(const std::int16_t* left, const std::int16_t* right, std::size_t frames);

    // Integrated loudness in LUFS; empty for a file too short or too quiet to have one.
    std::optional<double> IntegratedLufs() const;
    // The largest sample magnitude, 1.0 = full scale.
    double Peak() const;
    // The track gain: the reference less the loudness.
    std::optional<double> GainDb() const;

    // The measured blocks, kept for the album's loudness.
    struct Blocks;
    const Blocks* MeasuredBlocks() const { return blocks_.get(); }

  private:
    struct Filter;
    template <typename Source>
    void Measure(std::size_t frames, const Source& source);
    void Run(const double* samples, std::size_t frames);
    void EndSegment();

    std::unique_ptr<Filter> filter_;
    std::unique_ptr<Blocks> blocks_;
    int channels_ = 0;
};

// The gain and peak of the meters' files taken as one album; the gain is empty when no file
// had a loudness.
struct AlbumLoudness {
    std::optional<double> gainDb;
    double peak = 0;
};
AlbumLoudness MeasureAlbum(const std::vector<std::shared_ptr<const LoudnessMeter>>& tracks);

// The tag texts: "-6.52 dB" and "0.988235", whatever the process's locale.
std::string GainText(double gainDb);
std::string PeakText(double peak);

}  // namespace tags
