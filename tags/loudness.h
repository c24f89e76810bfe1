// Loudness of a file as it is encoded: the integrated loudness of EBU R 128 and the sample peak,
// measured with libebur128, and the ReplayGain 2.0 gains that follow from them. The library's
// filtering costs about a tenth of the encoder's time, so it runs on a thread of its own: the
// encoder hands over copies of its samples and goes on, and waits only when the measuring has
// fallen a few seconds behind.
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
    // A meter for interleaved 16-bit samples of this rate and channel count; one that could not
    // be made measures nothing.
    LoudnessMeter(int sampleRate, int channels);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Interleaved samples of sourceChannels channels (the meter's own count when 0); a stereo
    // source of a one-channel meter is measured as the mean of its channels, as it is encoded.
    void AddInterleaved(const std::int16_t* samples, std::size_t frames, int sourceChannels = 0);
    // One frame of the encoder's planar buffer: channels rows of frames samples each.
    void AddPlanar(const std::int16_t* left, const std::int16_t* right, std::size_t frames);

    // Waits until every sample handed over is measured and ends the measuring thread; the
    // results below are final from then on. They, and the destructor, call it themselves.
    void Finish() const;

    // Integrated loudness in LUFS; empty for a file too short or too quiet to have one.
    std::optional<double> IntegratedLufs() const;
    // The largest sample magnitude, 1.0 = full scale.
    double Peak() const;
    // The track gain: the reference less the loudness.
    std::optional<double> GainDb() const;

    // The library's measuring state, kept for the album's loudness.
    struct State;
    State* MeasuringState() const {
        Finish();
        return state_.get();
    }

  private:
    struct Worker;
    bool Measuring() const;
    // A free block of 1152 frames to fill, waiting while every block is still being measured.
    std::int16_t* NextBlock();
    void HandOver(std::size_t frames);

    std::unique_ptr<State> state_;
    std::unique_ptr<Worker> worker_;
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
