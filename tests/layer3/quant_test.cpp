// The quantisation loops on spectra made to exercise them: which outer pass each encoding
// mode keeps, the pass limit, silent granules and the bit budget.
#include "layer3/quantizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "job/encoding_settings.h"
#include "layer3/frame_formatter.h"
#include "layer3/huffman_count.h"
#include "layer3/tables/scalefactor_tables.h"

using namespace layer3;

namespace {

struct Loops {
    EncodingSettings s;
    CBitReservoir reservoir;
    CQuantizer q;
    Spectrum xr = {};
    MaskingRatios ratios;
    double pe[2][2] = {};
    SideInfo side;
    QuantizedValues l3_enc = {};
    FrameScaleFactors sf;
    std::vector<CQuantizer::PassRecord> passes;

    explicit Loops(int mode, int channels = 1) {
        s.EncodingMode = mode;
        s.stereo = channels;
        s.granulesPerFrame = 2;
        s.samplesPerFrame = 1152;
        s.SetSamplingFrequency(44100);
        s.SetBitrateIndex(9);
        s.bitsPerFrame = 8 * 418;
        reservoir.Reset();
        q.Init(s, reservoir);
        q.SetPassObserver([this](const CQuantizer::PassRecord& r) { passes.push_back(r); });
    }
    int MeanBits() const { return (s.bitsPerFrame - (s.stereo == 2 ? 288 : 168)) / 2; }
    void Frame() {
        passes.clear();
        q.IterationLoop(pe, xr, ratios, side, l3_enc, MeanBits(), sf);
    }
    // Tones and noise with a ratio that asks for much more than the bits allow, so that the
    // outer loop works through many passes.
    void MakeDemandingSpectrum(std::uint32_t seed, double ratio) {
        std::mt19937 rng(seed);
        std::normal_distribution<double> noise(0.0, 1.0);
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < s.stereo; ++ch) {
                for (int i = 0; i < 576; ++i)
                    xr[gr][ch][i] = 0.02 * noise(rng) * std::exp(-i / 200.0);
                for (int t = 0; t < 6; ++t)
                    xr[gr][ch][std::uniform_int_distribution<int>(2, 400)(rng)] = 0.5;
                for (int sb = 0; sb < 21; ++sb)
                    ratios.l[gr][ch][sb] = ratio;
            }
    }
    std::vector<CQuantizer::PassRecord> PassesOf(int gr, int ch) const {
        std::vector<CQuantizer::PassRecord> out;
        for (auto& p : passes)
            if (p.gr == gr && p.ch == ch) out.push_back(p);
        return out;
    }
    // The Huffman bits of the final values as the counting stage sees them.
    int HuffmanBits(int gr, int ch) {
        GranuleInfo gi = side.gr[gr][ch];
        const auto& bands = tables::kScalefactorBands[0];
        CalcRunLength(l3_enc[gr][ch], gi);
        int bits = Count1BitCount(l3_enc[gr][ch], gi);
        Subdivide(gi, bands);
        BigValuesTableSelect(l3_enc[gr][ch], gi, bands);
        return bits + CountBit(l3_enc[gr][ch], gi, bands);
    }
    void ExpectScalefactors(const ScaleFactors& expected, int gr, int ch) const {
        for (int sb = 0; sb < 22; ++sb)
            EXPECT_EQ(sf.sf[gr][ch].l[sb], expected.l[sb]) << "band " << sb;
    }
};

}  // namespace

TEST(Quantizer, AnAllZeroGranuleCostsNothing) {
    Loops loops(1, 2);
    loops.xr[1][1][100] = 0.5;  // the other granules stay silent
    for (int sb = 0; sb < 21; ++sb)
        loops.ratios.l[1][1][sb] = 1e-3;
    loops.Frame();
    for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < 2; ++ch) {
            if (gr == 1 && ch == 1) continue;
            const GranuleInfo& gi = loops.side.gr[gr][ch];
            if (gr != 0 || ch != 0) {
                EXPECT_EQ(gi.part2_3_length, 0u);  // (0, 0) takes the frame's stuffing
            }
            EXPECT_EQ(gi.big_values, 0u);
            EXPECT_EQ(gi.global_gain, 210u);
            EXPECT_EQ(gi.quantizerStepSize, 0.0);
        }
    EXPECT_GT(loops.side.gr[1][1].part2_3_length, 0u);
    EXPECT_GT(loops.s.quantizeCalls, 0);
}

TEST(Quantizer, EachModeKeepsThePassItsCriterionChooses) {
    for (int mode = 0; mode < 4; ++mode)
        for (std::uint32_t seed = 1; seed <= 6; ++seed) {
            SCOPED_TRACE(testing::Message() << "mode " << mode << " seed " << seed);
            Loops loops(mode);
            loops.MakeDemandingSpectrum(seed, 1e-4);
            loops.Frame();
            auto passes = loops.PassesOf(0, 0);
            ASSERT_FALSE(passes.empty());
            ASSERT_LE(passes.size(), 21u);
            // Mode 0 keeps the last pass; the others the pass their criterion picks.
            std::size_t chosen = passes.size() - 1;
            if (mode != 0) {
                chosen = 0;
                for (std::size_t p = 1; p < passes.size(); ++p) {
                    const auto& c = passes[p];
                    const auto& b = passes[chosen];
                    const bool better = mode == 1   ? c.audible < b.audible
                                        : mode == 2 ? c.over <= b.over
                                                    : c.total < b.total;
                    if (better) chosen = p;
                }
            }
            const auto& kept = passes[chosen];
            const GranuleInfo& gi = loops.side.gr[0][0];
            EXPECT_EQ(gi.quantizerStepSize, kept.stepSize);
            EXPECT_EQ(gi.scalefac_compress, kept.scalefac_compress);
            EXPECT_EQ(gi.preflag, kept.preflag);
            loops.ExpectScalefactors(kept.sf, 0, 0);
            // The stream carries exactly the kept pass's bits (granule (0, 0) may also carry
            // the frame's stuffing).
            EXPECT_EQ(loops.HuffmanBits(0, 0), kept.bits);
            EXPECT_GE(static_cast<int>(gi.part2_3_length - gi.part2_length), kept.bits);
            EXPECT_LE(kept.bits, kept.maxBits);
        }
}

TEST(Quantizer, ManyPassesNeverMoreThanTwentyOneAndAlwaysWithinTheBudget) {
    int longest = 0;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        Loops loops(static_cast<int>(seed % 4), 2);
        loops.MakeDemandingSpectrum(seed, seed % 2 ? 1e-6 : 1e-2);
        for (int frame = 0; frame < 3; ++frame) {
            loops.Frame();
            for (int gr = 0; gr < 2; ++gr)
                for (int ch = 0; ch < 2; ++ch) {
                    auto passes = loops.PassesOf(gr, ch);
                    EXPECT_LE(passes.size(), 21u);
                    longest = std::max(longest, static_cast<int>(passes.size()));
                    const GranuleInfo& gi = loops.side.gr[gr][ch];
                    EXPECT_LE(gi.global_gain, 255u);
                    EXPECT_EQ(static_cast<int>(gi.part2_length),
                              ScalefactorBits(gi, loops.side.scfsi[ch], gr));
                }
        }
    }
    EXPECT_GE(longest, 10);  // the spectra did make the loop work
}

TEST(Quantizer, TheLookUpQuantiserRoundsAtTheStandardsThresholds) {
    Loops loops(1);
    // Values quantise to n where (n - 0.4054)^(4/3) <= c < (n + 0.5946)^(4/3).
    for (int n : {0, 1, 2, 7, 100, 1000, 8206}) {
        const double upper = std::pow(n + 0.5946, 4.0 / 3.0);
        EXPECT_EQ(loops.q.QuantizeValue(upper * (1 - 1e-7), 1.0), n);
        EXPECT_EQ(loops.q.QuantizeValue(upper * (1 + 1e-7), 1.0), n + 1);
    }
    EXPECT_EQ(loops.q.QuantizeValue(2.0, 2.0), 1);
}
// The loops quantise without dividing, against thresholds worked out per step: the values must
// be the look-up's to the last ulp around every threshold, at whole and fractional steps.
TEST(Quantizer, TheLoopsQuantiserAgreesWithTheLookUpAtEveryThreshold) {
    Loops loops(1);
    std::vector<double> magnitudes;
    for (int stepSize : {-210, -57, -8, -3, 0, 1, 2, 3, 5, 30, 45}) {
        const double step = std::pow(2.0, stepSize / 4.0);
        magnitudes.clear();
        for (int n = 0; n <= 12; ++n) {
            // The look-up's bounds are single-precision values of this power.
            const double edge = static_cast<float>(std::pow(n + 0.5946, 1.333333333)) * step;
            double v = edge;
            for (int k = 0; k < 4; ++k)
                v = std::nextafter(v, 0.0);
            for (int k = 0; k < 9; ++k, v = std::nextafter(v, 1e300))
                magnitudes.push_back(v);
        }
        magnitudes.push_back(0.0);
        magnitudes.push_back(1e5 * step);
        std::vector<int> ix(magnitudes.size());
        loops.q.QuantizeMagnitudes(magnitudes.data(), static_cast<int>(magnitudes.size()), step, ix.data());
        for (std::size_t i = 0; i < magnitudes.size(); ++i)
            ASSERT_EQ(ix[i], loops.q.QuantizeValue(magnitudes[i], step)) << stepSize << " " << magnitudes[i];
    }
}

TEST(Quantizer, TheLoudestValueAlwaysStaysWithinTheHuffmanRange) {
    // A value this large needs a step whose exponent is positive and not whole; rounding it
    // toward zero would leave the value above 8206, which no table codes.
    for (double loud : {2.0e5, 3.0e5, 7.7e5}) {
        Loops loops(1);
        loops.xr[0][0][10] = loud;
        loops.Frame();
        int largest = 0;
        for (int v : loops.l3_enc[0][0])
            largest = std::max(largest, v);
        EXPECT_LE(largest, 8206) << loud;
        EXPECT_GT(largest, 4000) << loud;
    }
}
