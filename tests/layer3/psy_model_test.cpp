// Psychoacoustic model 2: silence, the block-type sequence around attacks, the attack limit,
// generations shared by the channels of a granule, a fresh start for every file and the set-up
// checks.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "layer3/psy_model.h"

namespace {

using layer3::CPsychoModel;

struct Channel {
    std::int16_t history[layer3::kPsyHistory] = {};
    double ratioL[layer3::kLongBands] = {};
    double ratioS[layer3::kShortBands][layer3::kShortWindows] = {};
    double pe = -1;
    layer3::GranuleInfo gi;

    int Run(CPsychoModel& model, int ch, const std::int16_t* samples) {
        model.Analyse(ch, samples, history, ratioL, ratioS, pe, gi);
        return int(gi.block_type);
    }
};

const std::int16_t kSilence[576] = {};

std::vector<std::int16_t> NoiseGranule(std::uint32_t seed, double amplitude) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> d(0.0, amplitude);
    std::vector<std::int16_t> g(576);
    for (auto& s : g)
        s = std::int16_t(std::lround(std::clamp(d(rng), -32768.0, 32767.0)));
    return g;
}

TEST(PsyModelTest, SilenceGivesTheEnergyFloorNoEntropyAndNormalBlocks) {
    auto model = std::make_unique<CPsychoModel>();
    Channel c;
    for (int gr = 0; gr < 3; ++gr)
        EXPECT_EQ(c.Run(*model, 0, kSilence), 0);
    for (int k = 0; k < layer3::kLongFftLines; ++k)
        ASSERT_EQ(model->LongEnergy()[k], 0.0005f) << k;
    for (int k = 0; k < 6; ++k) {  // the lines whose direction the model reads
        ASSERT_EQ(model->LongDirection()[k].re, 1.0) << k;
        ASSERT_EQ(model->LongDirection()[k].im, 0.0) << k;
    }
    for (int k = 0; k < 206; ++k)
        ASSERT_EQ(model->Unpredictability()[k], 0.0) << k;
    EXPECT_EQ(c.pe, 0.0);
    EXPECT_EQ(c.gi.window_switching_flag, 0u);
    EXPECT_EQ(c.gi.mixed_block_flag, 0u);
}

TEST(PsyModelTest, AttackGivesStartShortsThenStop) {
    auto model = std::make_unique<CPsychoModel>();
    Channel c;
    const auto burst = NoiseGranule(1, 10000.0);
    std::vector<int> types;
    for (int gr = 0; gr < 4; ++gr)
        types.push_back(c.Run(*model, 0, kSilence));
    types.push_back(c.Run(*model, 0, burst.data()));
    for (int gr = 0; gr < 6; ++gr)
        types.push_back(c.Run(*model, 0, kSilence));
    // The burst stays in the long window for two granules: two attacks.
    EXPECT_EQ(types, (std::vector<int>{0, 0, 0, 0, 1, 2, 2, 3, 0, 0, 0}));
    EXPECT_EQ(c.gi.window_switching_flag, 0u);
}

TEST(PsyModelTest, SequenceRulesHoldThroughRepeatedAttacks) {
    auto model = std::make_unique<CPsychoModel>();
    Channel c;
    std::mt19937 rng(3);
    int previous = 0, switched = 0;
    for (int gr = 0; gr < 200; ++gr) {
        const bool hit = rng() % 5 == 0;
        const auto g = hit ? NoiseGranule(gr, 12000.0) : NoiseGranule(gr, 20.0);
        const int type = c.Run(*model, 0, g.data());
        EXPECT_EQ(c.gi.window_switching_flag, type != 0 ? 1u : 0u);
        if (previous == 0 || previous == 3)
            EXPECT_TRUE(type == 0 || type == 1) << "granule " << gr;  // never short after normal
        else
            EXPECT_TRUE(type == 2 || type == 3) << "granule " << gr;  // never normal after short
        switched += type != 0;
        previous = type;
    }
    EXPECT_GT(switched, 20);
}

TEST(PsyModelTest, EntropyOf1800IsAnAttack) {
    auto model = std::make_unique<CPsychoModel>();
    EXPECT_EQ(model->DecideBlockType(0, 1799.999), 0);
    EXPECT_EQ(model->DecideBlockType(0, 1800.0), 1);  // the pending normal leaves as start
    EXPECT_EQ(model->DecideBlockType(0, 1799.999), 2);
    EXPECT_EQ(model->DecideBlockType(0, 1799.999), 3);
    EXPECT_EQ(model->DecideBlockType(0, 1799.999), 0);
    // A pending stop meeting an attack becomes short; channels keep their own pending types.
    EXPECT_EQ(model->DecideBlockType(1, 5000.0), 1);
    EXPECT_EQ(model->DecideBlockType(1, 0.0), 2);     // stop now pending
    EXPECT_EQ(model->DecideBlockType(1, 5000.0), 2);  // upgraded to short
    EXPECT_EQ(model->DecideBlockType(1, 0.0), 2);
    EXPECT_EQ(model->DecideBlockType(1, 0.0), 3);
    EXPECT_EQ(model->DecideBlockType(0, 0.0), 0);
}

// Channel 1 of a stereo run must come out exactly as a single-channel run of its signal: the
// prediction generations turn over once per granule, on channel 0.
TEST(PsyModelTest, BothChannelsOfAGranuleUseTheSameGenerations) {
    auto stereo = std::make_unique<CPsychoModel>();
    auto mono = std::make_unique<CPsychoModel>();
    Channel left, right, alone;
    for (int gr = 0; gr < 12; ++gr) {
        std::vector<std::int16_t> l(576), r(576);
        for (int i = 0; i < 576; ++i) {
            const double n = gr * 576 + i;
            l[i] = std::int16_t(6000 * std::sin(2 * M_PI * 90 * n / 44100));
            r[i] = std::int16_t((3000 + 150 * gr) * std::sin(2 * M_PI * 130 * n / 44100 + 0.001 * n));
        }
        left.Run(*stereo, 0, l.data());
        right.Run(*stereo, 1, r.data());
        alone.Run(*mono, 0, r.data());
        ASSERT_EQ(right.pe, alone.pe) << "granule " << gr;
        for (int sb = 0; sb < layer3::kLongBands; ++sb)
            ASSERT_EQ(right.ratioL[sb], alone.ratioL[sb]) << "granule " << gr;
    }
}

TEST(PsyModelTest, SetupStartsTheNextFileAsAFreshModelWould) {
    // The previous file ends on an attack, with a short block pending and its thresholds high.
    auto used = std::make_unique<CPsychoModel>();
    Channel c;
    c.Run(*used, 0, kSilence);
    const auto burst = NoiseGranule(2, 10000.0);
    ASSERT_EQ(c.Run(*used, 0, burst.data()), 1);
    used->Setup(48000);
    auto fresh = std::make_unique<CPsychoModel>();
    fresh->Setup(48000);
    Channel a, b;  // the session clears the history at open
    for (int gr = 0; gr < 4; ++gr) {
        const auto g = gr == 0 ? std::vector<std::int16_t>(576, 0) : NoiseGranule(20 + gr, 500.0);
        EXPECT_EQ(a.Run(*used, 0, g.data()), b.Run(*fresh, 0, g.data())) << "granule " << gr;
        ASSERT_EQ(a.pe, b.pe) << "granule " << gr;
        for (int sb = 0; sb < layer3::kLongBands; ++sb)
            ASSERT_EQ(a.ratioL[sb], b.ratioL[sb]) << "granule " << gr;
    }
}

TEST(PsyModelTest, TheBranchNotTakenKeepsItsRatios) {
    auto model = std::make_unique<CPsychoModel>();
    Channel c;
    for (int gr = 0; gr < 12; ++gr) {
        const auto g = gr < 2 ? std::vector<std::int16_t>(576, 0) : NoiseGranule(10 + gr, 300.0);
        c.Run(*model, 0, g.data());
    }
    ASSERT_EQ(c.gi.block_type, 0u);
    // Steady noise: long ratios between the threshold in quiet and the signal.
    for (int sb = 0; sb < layer3::kLongBands; ++sb) {
        EXPECT_GT(c.ratioL[sb], 0.0);
        EXPECT_LT(c.ratioL[sb], 1.0);
    }
    double longBefore[layer3::kLongBands];
    std::copy(c.ratioL, c.ratioL + layer3::kLongBands, longBefore);
    const auto loud = NoiseGranule(20, 30000.0);
    c.Run(*model, 0, loud.data());
    ASSERT_GE(c.pe, layer3::kAttackEntropy);
    for (int sb = 0; sb < layer3::kLongBands; ++sb)
        EXPECT_EQ(c.ratioL[sb], longBefore[sb]);
    for (int sb = 0; sb < layer3::kShortBands; ++sb)
        for (int w = 0; w < 3; ++w)
            EXPECT_GT(c.ratioS[sb][w], 0.0);
}

TEST(PsyModelDeathTest, OnlyTheThreeRatesAreAdmitted) {
    auto model = std::make_unique<CPsychoModel>();
    model->Setup(32000);
    model->Setup(48000);
    EXPECT_EXIT(model->Setup(22050), testing::ExitedWithCode(255),
                "\\[Psycho\\], invalid sampling frequency");
}

}  // namespace
