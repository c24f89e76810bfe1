// The model's real FFT against a direct DFT in double precision, for both sizes.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

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
    float energy[N / 2 + 1];
    layer3::UnitPhasor direction[N / 2 + 1];
    fft.Transform(x, energy, direction);

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
            const double phase = std::atan2(direction[k].im, direction[k].re);
            EXPECT_NEAR(std::remainder(phase - refPhase[k], 2.0 * M_PI), 0.0, 1e-4) << "line " << k;
            EXPECT_NEAR(std::hypot(direction[k].re, direction[k].im), 1.0, 1e-6) << "line " << k;
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

// The plain radix-2 form the transform is arranged from: one loop nest over stages, blocks and
// butterflies, with the split done line by line. The arranged form must match it to the bit,
// signed zeros and directions of lines that cancel included.
template <std::size_t N>
void PlainTransform(const float (&x)[N], float (&energy)[N / 2 + 1],
                    layer3::UnitPhasor (&direction)[N / 2 + 1]) {
    constexpr std::size_t half = N / 2;
    constexpr double twoPi = 6.283185307179586476925;
    std::vector<double> re(half), im(half);
    std::size_t bits = 0;
    while ((std::size_t{1} << bits) < half)
        ++bits;
    for (std::size_t i = 0; i < half; ++i) {
        std::size_t r = 0;
        for (std::size_t b = 0; b < bits; ++b)
            r |= ((i >> b) & 1u) << (bits - 1 - b);
        re[r] = x[2 * i];
        im[r] = x[2 * i + 1];
    }
    for (std::size_t m = 2; m <= half; m <<= 1) {
        for (std::size_t start = 0; start < half; start += m) {
            for (std::size_t j = 0; j < m / 2; ++j) {
                const double angle = twoPi * double(j * (half / m)) / double(half);
                const double wr = std::cos(angle), wi = -std::sin(angle);
                const std::size_t a = start + j, b = a + m / 2;
                const double tr = re[b] * wr - im[b] * wi;
                const double ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
    for (std::size_t k = 0; k <= half; ++k) {
        const std::size_t a = k % half, b = (half - k) % half;
        const double er = 0.5 * (re[a] + re[b]), ei = 0.5 * (im[a] - im[b]);
        const double or_ = 0.5 * (im[a] + im[b]), oi = -0.5 * (re[a] - re[b]);
        const double c = k < half ? std::cos(twoPi * double(k) / double(N)) : -1.0;
        const double s = k < half ? std::sin(twoPi * double(k) / double(N)) : 0.0;
        const float xr = float(er + or_ * c + oi * s);
        const float xi = float(ei + oi * c - or_ * s);
        const float e = xr * xr + xi * xi;
        energy[k] = e <= 0.0005f ? 0.0005f : e;
        const float magnitude = std::sqrt(e);
        direction[k] =
            e <= 0.0005f ? layer3::UnitPhasor{} : layer3::UnitPhasor{xr / magnitude, xi / magnitude};
    }
}

template <std::size_t N>
void ExpectSameBitsAsThePlainForm(std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    static layer3::CRealFft<N> fft;
    for (int signal = 0; signal < 6; ++signal) {
        float x[N] = {};
        for (std::size_t n = 0; n < N; ++n) {
            // Noise, a tone, silence with one click, and a constant: lines that cancel to
            // exact zeros as well as busy ones.
            if (signal < 3)
                x[n] = float(sample(rng) >> (5 * signal));
            else if (signal == 3)
                x[n] = float(std::lround(8000 * std::sin(0.21 * double(n))));
            else if (signal == 4)
                x[n] = n == N / 3 ? -12000.0f : 0.0f;
            else
                x[n] = -700.0f;
        }
        float energy[N / 2 + 1], plainEnergy[N / 2 + 1];
        layer3::UnitPhasor direction[N / 2 + 1], plainDirection[N / 2 + 1];
        fft.Transform(x, energy, direction);
        PlainTransform<N>(x, plainEnergy, plainDirection);
        for (std::size_t k = 0; k <= N / 2; ++k) {
            ASSERT_EQ(std::bit_cast<std::uint32_t>(energy[k]), std::bit_cast<std::uint32_t>(plainEnergy[k]))
                << "signal " << signal << " line " << k;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(direction[k].re),
                      std::bit_cast<std::uint64_t>(plainDirection[k].re))
                << "signal " << signal << " line " << k;
            ASSERT_EQ(std::bit_cast<std::uint64_t>(direction[k].im),
                      std::bit_cast<std::uint64_t>(plainDirection[k].im))
                << "signal " << signal << " line " << k;
        }
    }
}

TEST(FftTest, ArrangedTransformGivesThePlainFormsBits) {
    ExpectSameBitsAsThePlainForm<1024>(5);
    ExpectSameBitsAsThePlainForm<256>(6);
}

TEST(FftTest, QuietLinesGetTheFloorAndPhaseZero) {
    static layer3::CRealFft<256> fft;
    float x[256] = {};
    x[0] = 0.01f;  // energy 1e-4 on every line: below the floor
    float energy[129];
    layer3::UnitPhasor direction[129];
    for (auto& d : direction)
        d = {0.25, 0.5};
    fft.Transform(x, energy, direction);
    for (int k = 0; k < 129; ++k) {
        EXPECT_EQ(energy[k], 0.0005f);
        EXPECT_EQ(direction[k].re, 1.0);
        EXPECT_EQ(direction[k].im, 0.0);
    }
}

TEST(FftTest, DirectionOfTheLowestLinesAloneChangesNothingElse) {
    static layer3::CRealFft<256> fft;
    float x[256];
    for (int n = 0; n < 256; ++n)
        x[n] = float(3000.0 * std::sin(0.3 * n) + 500.0 * std::cos(1.1 * n));
    float energy[129], energyPart[129];
    layer3::UnitPhasor direction[129], directionPart[129];
    for (auto& d : directionPart)
        d = {0.25, 0.5};
    fft.Transform(x, energy, direction);
    fft.Transform(x, energyPart, directionPart, 52);
    for (int k = 0; k < 129; ++k) {
        EXPECT_EQ(energyPart[k], energy[k]);
        EXPECT_EQ(directionPart[k].re, k < 52 ? direction[k].re : 0.25);
        EXPECT_EQ(directionPart[k].im, k < 52 ? direction[k].im : 0.5);
    }
    // The lower lines' energies alone, the others completed later from the kept spectrum.
    float energyLater[129];
    std::fill(std::begin(energyLater), std::end(energyLater), -1.0f);
    fft.Transform(x, energyLater, directionPart, 52, 52);
    for (int k = 0; k < 129; ++k)
        EXPECT_EQ(energyLater[k], k < 52 ? energy[k] : -1.0f) << k;
    fft.CompleteEnergies(energyLater);
    for (int k = 0; k < 129; ++k)
        EXPECT_EQ(energyLater[k], energy[k]) << k;
}

}  // namespace
