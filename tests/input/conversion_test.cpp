// The conversion steps on their own: which rate a file is encoded at, the mix down to stereo,
// and the dither to 16 bits.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "input/channel_mix.h"
#include "input/dither.h"
#include "input/rates.h"

TEST(InputRates, EachRateGoesToTheEncoderRateItDividesOrMultiplies) {
    const std::vector<std::pair<int, int>> cases = {
        {32000, 32000}, {44100, 44100}, {48000, 48000}, {88200, 44100},  {176400, 44100},
        {22050, 44100}, {11025, 44100}, {96000, 48000}, {192000, 48000}, {24000, 48000},
        {16000, 48000}, {8000, 48000},  {64000, 32000}, {37800, 48000},  {50000, 48000}};
    for (const auto& [from, to] : cases)
        EXPECT_EQ(input::EncoderRateFor(from), to) << from;
}

TEST(InputMix, FivePointOneKeepsTheBalanceDropsTheLfeAndCannotClip) {
    const input::StereoMix mix = input::MixToStereo(input::DefaultLayout(6));
    EXPECT_EQ(input::LayoutName(input::DefaultLayout(6)), "5.1");
    EXPECT_EQ(input::LayoutName(input::DefaultLayout(8)), "7.1");
    // L R C LFE Ls Rs, each alone at full scale.
    auto out = [&](int channel) {
        float in[6] = {};
        in[channel] = 1.0f;
        std::vector<float> lr(2);
        mix.Apply(in, 1, lr.data());
        return lr;
    };
    EXPECT_FLOAT_EQ(out(0)[1], 0.0f);
    EXPECT_NEAR(out(2)[0] / out(0)[0], std::sqrt(0.5), 1e-6);  // centre at -3 dB
    EXPECT_NEAR(out(4)[0] / out(0)[0], std::sqrt(0.5), 1e-6);  // surround at -3 dB
    EXPECT_FLOAT_EQ(out(4)[1], 0.0f);
    EXPECT_FLOAT_EQ(out(3)[0] + out(3)[1], 0.0f);  // the LFE is left out
    // Every channel at full scale in phase, or in opposite phases: never beyond full scale.
    const float all[6] = {1, 1, 1, 1, 1, 1}, alternating[6] = {1, -1, -1, 1, 1, -1};
    float lr[2];
    mix.Apply(all, 1, lr);
    EXPECT_LE(std::fabs(lr[0]), 1.0f);
    EXPECT_NEAR(lr[0], 1.0f, 1e-6);
    mix.Apply(alternating, 1, lr);
    EXPECT_LE(std::fabs(lr[1]), 1.0f);
}

TEST(InputDither, IsRepeatableCountsOnlyRealClippingAndStaysWithinOneStep) {
    std::vector<float> in;
    for (int i = 0; i < 4000; ++i)
        in.push_back(static_cast<float>(0.3 * std::sin(i * 0.01)));
    in.push_back(8388607.0f / 8388608.0f);  // the top 24-bit value: the noise may push it, no clip
    in.push_back(-1.0f);
    in.push_back(1.5f);
    in.push_back(-2.0f);
    in.push_back(std::nanf(""));
    input::TriangularDither dither;
    std::vector<std::int16_t> a(in.size()), b(in.size());
    dither.Quantise(in.data(), a.data(), static_cast<int>(in.size()));
    EXPECT_EQ(dither.Clipped(), 2);
    dither.Reset();
    dither.Quantise(in.data(), b.data(), static_cast<int>(in.size()));
    EXPECT_EQ(a, b);
    for (int i = 0; i < 4000; ++i)
        EXPECT_LE(std::fabs(a[static_cast<std::size_t>(i)] - in[static_cast<std::size_t>(i)] * 32768.0f),
                  1.5f);
    EXPECT_EQ(a[4002], 32767);
    EXPECT_EQ(a[4003], -32768);
    EXPECT_EQ(a[4004], 0);
}
