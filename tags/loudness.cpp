#include "tags/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tags {

struct LoudnessMeter::State {
    ebur128_state* meter = nullptr;
    ~State() {
        if (meter) ebur128_destroy(&meter);
    }
};

LoudnessMeter::LoudnessMeter(int sampleRate, int channels) : channels_(channels) {
    // The histogram keeps the state small and constant for inputs of any length.
    if (channels < 1 || channels > 2 || sampleRate <= 0) return;
    auto state = std::make_unique<State>();
    state->meter = ebur128_init(static_cast<unsigned>(channels), static_cast<unsigned long>(sampleRate),
                                EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK | EBUR128_MODE_HISTOGRAM);
    if (state->meter) state_ = std::move(state);
}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::AddInterleaved(const std::int16_t* samples, std::size_t frames, int sourceChannels) {
    if (!state_ || frames == 0) return;
    if (sourceChannels == 0 || sourceChannels == channels_) {
        ebur128_add_frames_short(state_->meter, samples, frames);
        return;
    }
    if (sourceChannels != 2 || channels_ != 1) return;
    for (std::size_t done = 0; done < frames;) {
        const std::size_t n = std::min<std::size_t>(frames - done, 2 * 1152);
        for (std::size_t i = 0; i < n; ++i)
            staging_[i] =
                static_cast<std::int16_t>((samples[2 * (done + i)] + samples[2 * (done + i) + 1]) >> 1);
        ebur128_add_frames_short(state_->meter, staging_, n);
        done += n;
    }
}

void LoudnessMeter::AddPlanar(const std::int16_t* left, const std::int16_t* right, std::size_t frames) {
    if (!state_) return;
    if (channels_ == 1) return AddInterleaved(left, frames);
    frames = std::min<std::size_t>(frames, 1152);
    for (std::size_t i = 0; i < frames; ++i) {
        staging_[2 * i] = left[i];
        staging_[2 * i + 1] = right[i];
    }
    AddInterleaved(staging_, frames);
}

std::optional<double> LoudnessMeter::IntegratedLufs() const {
    double lufs = 0;
    if (!state_ || ebur128_loudness_global(state_->meter, &lufs) != EBUR128_SUCCESS || !std::isfinite(lufs))
        return std::nullopt;
    return lufs;
}

double LoudnessMeter::Peak() const {
    double peak = 0;
    for (int c = 0; state_ && c < channels_; ++c) {
        double p = 0;
        if (ebur128_sample_peak(state_->meter, static_cast<unsigned>(c), &p) == EBUR128_SUCCESS)
            peak = std::max(peak, p);
    }
    return peak;
}

std::optional<double> LoudnessMeter::GainDb() const {
    const auto lufs = IntegratedLufs();
    if (!lufs) return std::nullopt;
    return kReferenceLufs - *lufs;
}

AlbumLoudness MeasureAlbum(const std::vector<std::shared_ptr<const LoudnessMeter>>& tracks) {
    AlbumLoudness album;
    std::vector<ebur128_state*> states;
    for (const auto& t : tracks) {
        if (!t || !t->MeasuringState()) continue;
        states.push_back(t->MeasuringState()->meter);
        album.peak = std::max(album.peak, t->Peak());
    }
    double lufs = 0;
    if (!states.empty() &&
        ebur128_loudness_global_multiple(states.data(), states.size(), &lufs) == EBUR128_SUCCESS &&
        std::isfinite(lufs))
        album.gainDb = kReferenceLufs - lufs;
    return album;
}

namespace {

std::string Fixed(double value, int decimals) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

}  // namespace

std::string GainText(double gainDb) {
    // Two decimals, and never "-0.00".
    if (std::fabs(gainDb) < 0.005) gainDb = 0;
    return Fixed(gainDb, 2) + " dB";
}

std::string PeakText(double peak) {
    return Fixed(peak, 6);
}

}  // namespace tags
