// Calibration of the block switching on generated signals: sharp attacks (clicks, drum-like
// noise bursts) must switch to short blocks, sustained tones, chords and steady noise must not.
// Prints the share of short granules per signal (6 s each at 44100 Hz).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "layer3/psy_model.h"

namespace {

constexpr int kRate = 44100;
constexpr int kSeconds = 6;
constexpr int kFrames = kRate * kSeconds;

struct Counts {
    int granules = 0, shortBlocks = 0, switched = 0;
    int shortAfterOnset = 0;  // short granules after the first eight (the signal's onset)
    double peMax = 0, peSum = 0;
};

Counts Analyse(const std::vector<double>& signal) {
    auto model = std::make_unique<layer3::CPsychoModel>();
    std::int16_t history[layer3::kPsyHistory] = {};
    double ratioL[layer3::kLongBands], ratioS[layer3::kShortBands][layer3::kShortWindows], pe = 0;
    layer3::GranuleInfo gi;
    Counts c;
    std::int16_t granule[576];
    for (std::size_t start = 0; start + 576 <= signal.size(); start += 576) {
        for (int i = 0; i < 576; ++i)
            granule[i] = std::int16_t(std::lround(std::clamp(signal[start + i], -32768.0, 32767.0)));
        model->Analyse(0, granule, history, ratioL, ratioS, pe, gi);
        ++c.granules;
        c.shortBlocks += gi.block_type == 2;
        c.switched += gi.block_type != 0;
        c.shortAfterOnset += gi.block_type == 2 && c.granules > 8;
        c.peMax = std::max(c.peMax, pe);
        c.peSum += pe;
    }
    return c;
}

// A 20 ms raised-cosine fade-in, as a sustained note starts in music.
double FadeIn(int n) {
    const double len = 0.02 * kRate;
    return n >= len ? 1.0 : 0.5 * (1.0 - std::cos(M_PI * n / len));
}

std::vector<double> Tones(const std::vector<double>& hz, double amplitude) {
    std::vector<double> s(kFrames);
    for (int n = 0; n < kFrames; ++n) {
        double v = 0;
        for (double f : hz)
            v += std::sin(2 * M_PI * f * n / kRate);
        s[n] = amplitude * FadeIn(n) * v;
    }
    return s;
}

// Castanet-like: a 3 ms burst of high-passed noise every 250 ms.
std::vector<double> Clicks() {
    std::vector<double> s(kFrames);
    std::mt19937 rng(5);
    std::normal_distribution<double> d(0.0, 1.0);
    double prev = 0;
    for (int n = 0; n < kFrames; ++n) {
        const int t = n % (kRate / 4);
        const double x = d(rng);
        const double hp = x - prev;
        prev = x;
        s[n] = t < 0.003 * kRate ? 9000.0 * hp * std::exp(-t / (0.001 * kRate)) : 0.0;
    }
    return s;
}

// Drum-like: decaying noise bursts every 500 ms over a quiet noise floor.
std::vector<double> Drums() {
    std::vector<double> s(kFrames);
    std::mt19937 rng(6);
    std::normal_distribution<double> d(0.0, 1.0);
    for (int n = 0; n < kFrames; ++n) {
        const int t = n % (kRate / 2);
        s[n] = 8000.0 * d(rng) * std::exp(-t / (0.04 * kRate)) + 30.0 * d(rng);
    }
    return s;
}

std::vector<double> Noise(double amplitude) {
    std::vector<double> s(kFrames);
    std::mt19937 rng(7);
    std::normal_distribution<double> d(0.0, 1.0);
    for (int n = 0; n < kFrames; ++n)
        s[n] = amplitude * FadeIn(n) * d(rng);
    return s;
}

// Music-like: a sustained chord with a soft drum hit every 500 ms.
std::vector<double> ChordWithDrums() {
    std::vector<double> s = Tones({196.0, 246.94, 293.66, 392.0}, 3000.0);
    std::mt19937 rng(8);
    std::normal_distribution<double> d(0.0, 1.0);
    for (int n = 0; n < kFrames; ++n) {
        const int t = n % (kRate / 2);
        s[n] += 3000.0 * d(rng) * std::exp(-t / (0.03 * kRate));
    }
    return s;
}

void Report(const std::string& name, const Counts& c) {
    std::printf(
        "%-28s granules %4d  short %4d (%5.1f%%)  start/short/stop %5.1f%%  pe mean %7.1f max %8.1f\n",
        name.c_str(), c.granules, c.shortBlocks, 100.0 * c.shortBlocks / c.granules,
        100.0 * c.switched / c.granules, c.peSum / c.granules, c.peMax);
}

TEST(PsyCalibrationTest, SustainedTonesStayLong) {
    for (const auto& [name, hz] : std::vector<std::pair<std::string, std::vector<double>>>{
             {"sine 1 kHz", {1000.0}},
             {"sine 100 Hz", {100.0}},
             {"sine 8 kHz", {8000.0}},
             {"chord C major + octave", {261.63, 329.63, 392.0, 523.25}}}) {
        const Counts c = Analyse(Tones(hz, 8000.0 / hz.size()));
        Report(name, c);
        EXPECT_EQ(c.shortBlocks, 0) << name;
    }
    const Counts noise = Analyse(Noise(3000.0));
    Report("steady noise", noise);
    // Its onset from digital silence is an attack; after that it stays long.
    EXPECT_EQ(noise.shortAfterOnset, 0);
}

TEST(PsyCalibrationTest, AttacksSwitchToShortBlocks) {
    const Counts clicks = Analyse(Clicks());
    Report("castanet-like clicks 4/s", clicks);
    EXPECT_GE(clicks.shortBlocks, 20);  // 24 clicks
    const Counts drums = Analyse(Drums());
    Report("drum-like bursts 2/s", drums);
    EXPECT_GE(drums.shortBlocks, 10);  // 12 hits
    const Counts music = Analyse(ChordWithDrums());
    Report("chord with drum hits 2/s", music);
    EXPECT_GT(music.shortBlocks, 0);
    EXPECT_LT(music.shortBlocks, music.granules / 4);
}

}  // namespace
