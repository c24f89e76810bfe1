// The loudness meter against libebur128, the field's reference implementation of EBU R 128,
// run over the same generated signals: track and album loudness within 0.01 LU, the same peak.
#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <optional>
#include <vector>

#include "tags/loudness.h"

namespace {

struct Signal {
    std::vector<std::int16_t> samples;  // interleaved
    int channels = 2;
    int rate = 44100;
    std::size_t Frames() const { return samples.size() / static_cast<std::size_t>(channels); }
};

// A tone of each channel's own frequency and level.
Signal Tone(int rate, int channels, double seconds, double amplitude, double hz) {
    Signal s{{}, channels, rate};
    const auto frames = static_cast<std::size_t>(seconds * rate);
    for (std::size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c) {
            const double phase = 2 * std::numbers::pi * hz * (c + 1) * static_cast<double>(i) / rate;
            s.samples.push_back(
                static_cast<std::int16_t>(std::lround(amplitude / (c + 1) * std::sin(phase))));
        }
    return s;
}

// Noise whose level follows levels[], one value (a fraction of full scale) per tenth of a
// second; 0 is digital silence.
Signal Passages(int rate, const std::vector<double>& levels, std::uint32_t seed = 7) {
    Signal s{{}, 2, rate};
    for (double level : levels)
        for (int i = 0; i < rate / 10; ++i)
            for (int c = 0; c < 2; ++c) {
                seed = seed * 1664525u + 1013904223u;
                const double unit = static_cast<double>(seed >> 8) / (1 << 24) * 2 - 1;
                s.samples.push_back(static_cast<std::int16_t>(std::lround(unit * level * 32767)));
            }
    return s;
}

struct Reference {
    ebur128_state* state = nullptr;
    explicit Reference(const Signal& s) {
        state = ebur128_init(static_cast<unsigned>(s.channels), static_cast<unsigned long>(s.rate),
                             EBUR128_MODE_I | EBUR128_MODE_SAMPLE_PEAK);
        ebur128_add_frames_short(state, s.samples.data(), s.Frames());
    }
    ~Reference() { ebur128_destroy(&state); }
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;

    std::optional<double> Lufs() const {
        double lufs = 0;
        ebur128_loudness_global(state, &lufs);
        return std::isfinite(lufs) ? std::optional(lufs) : std::nullopt;
    }
    double Peak(int channels) const {
        double peak = 0;
        for (int c = 0; c < channels; ++c) {
            double p = 0;
            ebur128_sample_peak(state, static_cast<unsigned>(c), &p);
            peak = std::max(peak, p);
        }
        return peak;
    }
};

// How a signal is handed to the meter: as the built-in encoder does, a frame of 1152 planar
// samples at a time; as the codec path does, interleaved blocks of another size; and one frame
// at a time or in ragged blocks, which the meter takes one frame after another where it would
// otherwise take two at a time.
enum class Feed { Frames, Blocks, Single, Ragged };

std::shared_ptr<tags::LoudnessMeter> Measure(const Signal& s, Feed feed) {
    auto meter = std::make_shared<tags::LoudnessMeter>(s.rate, s.channels);
    const std::size_t ragged[] = {1, 3, 1151, 2, 577};
    std::vector<std::int16_t> left(1152), right(1152);
    for (std::size_t at = 0, step = 0; at < s.Frames(); at += step) {
        step = feed == Feed::Frames   ? 1152
               : feed == Feed::Blocks ? 4608
               : feed == Feed::Single ? 1
                                      : ragged[at % 5];
        const std::size_t n = std::min(step, s.Frames() - at);
        const std::int16_t* from = s.samples.data() + at * static_cast<std::size_t>(s.channels);
        if (feed != Feed::Frames || s.channels == 1) {
            meter->AddInterleaved(from, n);
            continue;
        }
        for (std::size_t i = 0; i < n; ++i)
            left[i] = from[2 * i], right[i] = from[2 * i + 1];
        meter->AddPlanar(left.data(), right.data(), n);
    }
    return meter;
}

void ExpectAgreement(const Signal& s, const char* what) {
    const Reference reference(s);
    for (const Feed feed : {Feed::Frames, Feed::Blocks, Feed::Single, Feed::Ragged}) {
        const auto meter = Measure(s, feed);
        const auto expected = reference.Lufs();
        ASSERT_EQ(meter->IntegratedLufs().has_value(), expected.has_value())
            << what << ", fed " << static_cast<int>(feed);
        if (expected) {
            EXPECT_NEAR(*meter->IntegratedLufs(), *expected, 0.01)
                << what << " at " << s.rate << ", fed " << static_cast<int>(feed);
        }
        EXPECT_EQ(meter->Peak(), reference.Peak(s.channels)) << what;
    }
}

}  // namespace

TEST(Loudness, TonesAtEachRateAndLevelInMonoAndStereoAgreeWithTheReference) {
    for (const int rate : {32000, 44100, 48000})
        for (const int channels : {1, 2}) {
            ExpectAgreement(Tone(rate, channels, 2.05, 30000, 997), "loud mid tone");
            ExpectAgreement(Tone(rate, channels, 1.5, 300, 60), "quiet low tone");  // on the high pass
            ExpectAgreement(Tone(rate, channels, 1.0, 8000, 5000), "high tone");    // on the shelf
        }
    // A full-scale square wave: the extreme sample on both sides.
    Signal square{{}, 2, 44100};
    for (int i = 0; i < 44100; ++i)
        for (int c = 0; c < 2; ++c)
            square.samples.push_back(static_cast<std::int16_t>((i / 50) % 2 ? 32767 : -32768));
    ExpectAgreement(square, "square");
    // Less than one 400-ms block has no loudness, but a peak.
    ExpectAgreement(Tone(44100, 2, 0.39, 10000, 997), "short");
    EXPECT_FALSE(Measure(Tone(44100, 2, 0.39, 10000, 997), Feed::Frames)->GainDb());
    // A meter that cannot measure (a rate too low for the filter) takes samples and says nothing.
    const Signal odd = Tone(4000, 2, 1.0, 10000, 997);
    EXPECT_FALSE(Measure(odd, Feed::Frames)->IntegratedLufs());
    EXPECT_EQ(Measure(odd, Feed::Blocks)->Peak(), 0.0);
}

TEST(Loudness, TheGatesRemoveQuietPassagesAndSilenceAsInTheReference) {
    // Loud passages, passages 20-30 dB down that the relative gate removes, digital silence
    // that the absolute gate removes, and slow swells that spread the blocks over many bins.
    std::vector<double> levels;
    for (int i = 0; i < 300; ++i) {
        const int part = (i / 20) % 5;
        levels.push_back(part == 0   ? 0.5
                         : part == 1 ? 0.03
                         : part == 2 ? 0.0
                         : part == 3 ? 0.1 + 0.4 * std::sin(i * 0.1) * std::sin(i * 0.1)
                                     : 0.01 * (i % 20));
    }
    for (const int rate : {32000, 44100, 48000})
        ExpectAgreement(Passages(rate, levels), "passages");
    // Nothing but silence, and a whisper under the absolute gate: no loudness.
    ExpectAgreement(Passages(44100, std::vector<double>(20, 0.0)), "silence");
    ExpectAgreement(Passages(44100, std::vector<double>(20, 0.0001)), "whisper");

    // A stereo source of a mono meter is measured as the mean of its channels.
    const Signal stereo = Passages(44100, levels);
    Signal mean{{}, 1, 44100};
    for (std::size_t i = 0; i < stereo.Frames(); ++i)
        mean.samples.push_back(
            static_cast<std::int16_t>((stereo.samples[2 * i] + stereo.samples[2 * i + 1]) >> 1));
    tags::LoudnessMeter mixed(44100, 1);
    mixed.AddInterleaved(stereo.samples.data(), stereo.Frames(), 2);
    const Reference reference(mean);
    ASSERT_TRUE(mixed.IntegratedLufs());
    EXPECT_NEAR(*mixed.IntegratedLufs(), *reference.Lufs(), 0.01);
    EXPECT_EQ(mixed.Peak(), reference.Peak(1));
}

TEST(Loudness, AnAlbumGatesTheBlocksOfAllItsTracksTogetherAsTheReference) {
    std::vector<double> swell, quiet(40, 0.02);
    for (int i = 0; i < 60; ++i)
        swell.push_back(0.05 + 0.3 * (i % 15) / 15.0);
    const std::vector<Signal> tracks = {Passages(44100, swell, 1), Passages(44100, quiet, 2),
                                        Tone(44100, 2, 3, 20000, 440), Tone(44100, 2, 0.2, 30000, 440)};
    std::vector<std::unique_ptr<Reference>> references;
    std::vector<ebur128_state*> states;
    std::vector<std::shared_ptr<const tags::LoudnessMeter>> meters;
    double peak = 0;
    for (const Signal& t : tracks) {
        references.push_back(std::make_unique<Reference>(t));
        states.push_back(references.back()->state);
        meters.push_back(Measure(t, Feed::Ragged));
        peak = std::max(peak, references.back()->Peak(2));
    }
    meters.push_back(nullptr);  // a track that was not measured
    double lufs = 0;
    ebur128_loudness_global_multiple(states.data(), states.size(), &lufs);
    const tags::AlbumLoudness album = tags::MeasureAlbum(meters);
    ASSERT_TRUE(album.gainDb);
    EXPECT_NEAR(*album.gainDb, tags::kReferenceLufs - lufs, 0.01);
    EXPECT_EQ(album.peak, peak);
    // An album of tracks too short to measure has no gain.
    EXPECT_FALSE(tags::MeasureAlbum({meters[3]}).gainDb);
}
