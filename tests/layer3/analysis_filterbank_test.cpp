// The polyphase analysis filterbank against its direct definition: a linear 512-sample shift
// register, the window, the 64 partial sums and the cosine matrix rounded to nine decimals.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "layer3/analysis_filterbank.h"
#include "layer3/tables/analysis_window.h"

namespace {

using layer3::CAnalysisFilterbank;

struct DirectFilterbank {
    double x[512] = {};  // x[0] newest

    void Step(const std::int16_t* samples, double (&s)[32]) {
        for (int i = 511; i >= 32; --i)
            x[i] = x[i - 32];
        for (int i = 0; i < 32; ++i)
            x[31 - i] = samples[i] / 32768.0;
        double y[64] = {};
        for (int i = 0; i < 64; ++i)
            for (int j = 0; j < 8; ++j)
                y[i] += x[i + 64 * j] * layer3::tables::kAnalysisWindow[i + 64 * j];
        for (int k = 0; k < 32; ++k) {
            s[k] = 0.0;
            for (int i = 0; i < 64; ++i) {
                const double m = std::round(std::cos((2 * k + 1) * (i - 16) * M_PI / 64) * 1e9) * 1e-9;
                s[k] += m * y[i];
            }
        }
    }
};

std::vector<std::int16_t> RandomSamples(int n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(-32768, 32767);
    std::vector<std::int16_t> v(n);
    for (auto& s : v)
        s = std::int16_t(d(rng));
    return v;
}

TEST(AnalysisFilterbankTest, MatchesTheDirectDefinitionOnRandomInputForBothChannels) {
    CAnalysisFilterbank fb, fused;
    DirectFilterbank ref[2];
    const auto leftCopy = RandomSamples(32 * 60, 7), rightCopy = RandomSamples(32 * 60, 8);
    const std::int16_t* fusedCursor[2] = {leftCopy.data(), rightCopy.data()};
    const auto left = RandomSamples(32 * 60, 7), right = RandomSamples(32 * 60, 8);
    const std::int16_t* cursor[2] = {left.data(), right.data()};
    double worst = 0.0;
    for (int step = 0; step < 60; ++step) {
        for (int ch = 0; ch < 2; ++ch) {
            const std::int16_t* in = cursor[ch];
            double z[512], s[32], expected[32];
            fb.WindowSubband(cursor[ch], z, ch);
            ASSERT_EQ(cursor[ch], in + 32);
            fb.FilterSubband(z, s);
            ref[ch].Step(in, expected);
            // The one-call form gives the two-step form's bits.
            double f[32];
            fused.AnalyseSubbands(fusedCursor[ch], f, ch);
            for (int k = 0; k < 32; ++k)
                ASSERT_EQ(std::bit_cast<std::uint64_t>(f[k]), std::bit_cast<std::uint64_t>(s[k]))
                    << step << " " << k;
            for (int k = 0; k < 32; ++k)
                worst = std::max(worst, std::fabs(s[k] - expected[k]));
        }
    }
    EXPECT_LT(worst, 1e-12);
}

TEST(AnalysisFilterbankTest, ResetClearsHistoryAndOffsetsFollowTheirCycle) {
    CAnalysisFilterbank fb;
    const auto noise = RandomSamples(32 * 5, 9);
    const std::int16_t* p = noise.data();
    double z[512], s[32];
    for (int i = 0; i < 5; ++i)
        fb.WindowSubband(p, z, 0);
    fb.Reset();
    EXPECT_EQ(fb.Offset(0), 0);
    const std::int16_t zeros[32] = {};
    const std::int16_t* q = zeros;
    fb.WindowSubband(q, z, 0);
    fb.FilterSubband(z, s);
    for (double v : s)
        EXPECT_EQ(v, 0.0);

    fb.Reset();
    std::vector<int> offsets;
    for (int i = 0; i < 16; ++i) {
        q = zeros;
        fb.WindowSubband(q, z, 1);
        offsets.push_back(fb.Offset(1));
    }
    EXPECT_EQ(offsets[0], 480);
    EXPECT_EQ(offsets[1], 448);
    EXPECT_EQ(offsets[15], 0);
    EXPECT_EQ(fb.Offset(0), 0);  // the other channel's offset is its own
}

TEST(AnalysisFilterbankTest, FullScaleNegativeSampleEntersAsMinusOne) {
    CAnalysisFilterbank fb;
    std::int16_t block[32] = {};
    block[31] = -32768;  // the newest sample lands at the lowest index, where C[0] = 0
    const std::int16_t* p = block;
    double z[512];
    fb.WindowSubband(p, z, 0);
    // One more block moves it to index 32, whose window value it now carries exactly.
    const std::int16_t zeros[32] = {};
    p = zeros;
    fb.WindowSubband(p, z, 0);
    EXPECT_EQ(z[32], -1.0 * layer3::tables::kAnalysisWindow[32]);
}

}  // namespace
