// The model's real FFT against a direct DFT in double precision, for both sizes.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "layer3/fft.h"

namespace {

template <std::size_t N>
void CompareWithDirectDft(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> sample(-32768.0f, 32767.0f);
    float x[N];
    for (float& v : x)
        v = sample(rng);
    static layer3::CRealFft<N> fft;  // large object: keep it off the stack
    float energy[N / 2 + 1], phase[N / 2 + 1];
    fft.Transform(x, energy, phase);

    double peak = 0.0;
    double ref[N / 2 + 1], refPhase[N / 2 + 1];
    for (std::size_t k = 0; k <= N / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (std::size_t n = 0; n < N; ++n) {
            const double a = 2.0 * M_PI * double((k * n) % N) / double(N);
            re += x[n] * std::cos(a);
            im -= x[n] * std::sin(a);
        }
        ref[k] = re * re + im * im;
        refPhase[k] = std::atan2(im, re);
        peak = std::max(peak, ref[k]);
    }
    for (std::size_t k = 0; k <= N / 2; ++k) {
        // Single-precision level: relative to the line itself, or to the strongest line for
        // lines far below it.
        EXPECT_NEAR(energy[k], ref[k], 1e-5 * ref[k] + 1e-6 * peak) << "line " << k;
        if (ref[k] > 1e-3 * peak) {
            const double d = std::remainder(phase[k] - refPhase[k], 2.0 * M_PI);
            EXPECT_NEAR(d, 0.0, 1e-4) << "line " << k;
        }
    }
}

TEST(FftTest, LongTransformIsTheUnnormalisedDft) {
    CompareWithDirectDft<1024>(1);
    CompareWithDirectDft<1024>(2);
}

TEST(FftTest, ShortTransformIsTheUnnormalisedDft) {
    CompareWithDirectDft<256>(3);
    CompareWithDirectDft<256>(4);
}

TEST(FftTest, QuietLinesGetTheFloorAndNoPhase) {
    static layer3::CRealFft<256> fft;
    float x[256] = {};
    x[0] = 0.01f;  // energy 1e-4 on every line: below the floor
    float energy[129], phase[129];
    fft.Transform(x, energy, phase);
    for (int k = 0; k < 129; ++k) {
        EXPECT_EQ(energy[k], 0.0005f);
        EXPECT_EQ(phase[k], 0.0f);
    }
}

TEST(FftTest, PhaseOfTheLowestLinesAloneChangesNothingElse) {
    static layer3::CRealFft<256> fft;
    float x[256];
    for (int n = 0; n < 256; ++n)
        x[n] = float(3000.0 * std::sin(0.3 * n) + 500.0 * std::cos(1.1 * n));
    float energy[129], phase[129], energyPart[129], phasePart[129];
    fft.Transform(x, energy, phase);
    fft.Transform(x, energyPart, phasePart, 52);
    for (int k = 0; k < 129; ++k) {
        EXPECT_EQ(energyPart[k], energy[k]);
        EXPECT_EQ(phasePart[k], k < 52 ? phase[k] : 0.0f);
    }
}

}  // namespace
