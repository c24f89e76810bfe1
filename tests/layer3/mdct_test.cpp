// The hybrid filterbank against the direct MDCT formula, per block type, with frequency
// inversion, aliasing butterflies and the overlap slot, and together with the polyphase stage.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "layer3/analysis_filterbank.h"
#include "layer3/hybrid_filterbank.h"

namespace {

using layer3::CHybridFilterbank;
using layer3::SideInfo;
using layer3::Spectrum;
using layer3::SubbandSamples;

constexpr double kC[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};

double Window(int type, int i) {
    const double normal = std::sin(M_PI / 36 * (i + 0.5));
    switch (type) {
        case 1:
            return i < 18 ? normal : i < 24 ? 1.0 : i < 30 ? std::sin(M_PI / 12 * (i - 18 + 0.5)) : 0.0;
        case 2:
            return i < 12 ? std::sin(M_PI / 12 * (i + 0.5)) : 0.0;
        case 3:
            return i < 6 ? 0.0 : i < 12 ? std::sin(M_PI / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : normal;
        default:
            return normal;
    }
}

// One granule of one channel from the 36 inputs of each subband (already inverted).
void DirectGranule(const double (&in)[32][36], int type, bool butterflies, double* xr) {
    for (int b = 0; b < 32; ++b) {
        if (type == 2) {
            for (int w = 0; w < 3; ++w)
                for (int m = 0; m < 6; ++m) {
                    double sum = 0.0;
                    for (int k = 0; k < 12; ++k)
                        sum += in[b][6 + 6 * w + k] * Window(2, k) *
                               std::cos(M_PI / 24 * (2 * k + 7) * (2 * m + 1));
                    xr[18 * b + 3 * m + w] = sum / 3.0;
                }
        } else {
            for (int m = 0; m < 18; ++m) {
                double sum = 0.0;
                for (int k = 0; k < 36; ++k)
                    sum += in[b][k] * Window(type, k) * std::cos(M_PI / 72 * (2 * k + 19) * (2 * m + 1));
                xr[18 * b + m] = sum / 9.0;
            }
        }
    }
    if (!butterflies) return;
    for (int b = 0; b < 31; ++b)
        for (int i = 0; i < 8; ++i) {
            const double cs = 1.0 / std::sqrt(1.0 + kC[i] * kC[i]), ca = kC[i] * cs;
            const double u = xr[18 * b + 17 - i], d = xr[18 * b + 18 + i];
            xr[18 * b + 17 - i] = u * cs + d * ca;
            xr[18 * b + 18 + i] = d * cs - u * ca;
        }
}

struct Frame {
    SubbandSamples sb{};
    Spectrum xr{};
    SideInfo side;
};
struct SpectrumBox {
    Spectrum xr{};
};

EncodingSettings Stereo() {
    EncodingSettings s;
    s.stereo = 2;
    s.granulesPerFrame = 2;
    return s;
}

void FillRandom(Frame& f, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    for (auto& ch : f.sb)
        for (auto& slot : ch)
            for (auto& t : slot)
                for (double& v : t)
                    v = d(rng);
}

// Expected spectrum of one frame from a copy of its subband samples taken before Transform.
void Expected(const SubbandSamples& sb, const SideInfo& side, Spectrum& out, bool butterflies = true) {
    for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < 2; ++ch) {
            double in[32][36];
            for (int b = 0; b < 32; ++b)
                for (int t = 0; t < 18; ++t) {
                    // Slot gr + 1 is inverted by this frame; slot gr of granule 0 was already.
                    const auto sign = [&](int slot) { return (slot > 0 && (t & 1) && (b & 1)) ? -1.0 : 1.0; };
                    in[b][t] = sign(gr) * sb[ch][gr][t][b];
                    in[b][18 + t] = sign(gr + 1) * sb[ch][gr + 1][t][b];
                }
            const int type = int(side.gr[gr][ch].block_type);
            DirectGranule(in, type, butterflies && type != 2, out[gr][ch]);
        }
}

TEST(MdctTest, EveryBlockTypeMatchesTheDirectFormula) {
    CHybridFilterbank mdct;
    mdct.Init(Stereo());
    const int types[4][2] = {{0, 1}, {2, 3}, {1, 2}, {3, 0}};
    for (int seed = 0; seed < 2; ++seed) {
        auto f = std::make_unique<Frame>();
        auto expectedBox = std::make_unique<SpectrumBox>();
        Spectrum& expected = expectedBox->xr;
        FillRandom(*f, 11 + seed);
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < 2; ++ch)
                f->side.gr[gr][ch].block_type = types[seed * 2 + gr][ch];
        Expected(f->sb, f->side, expected);
        mdct.Transform(f->sb, f->xr, f->side);
        double worst = 0.0;
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < 2; ++ch)
                for (int i = 0; i < 576; ++i)
                    worst = std::max(worst, std::fabs(f->xr[gr][ch][i] - expected[gr][ch][i]));
        EXPECT_LT(worst, 1e-12);
        // The last granule, inverted, now sits in slot 0 for the next frame's overlap.
        for (int ch = 0; ch < 2; ++ch)
            for (int t = 0; t < 18; ++t)
                for (int b = 0; b < 32; ++b)
                    ASSERT_EQ(f->sb[ch][0][t][b], f->sb[ch][2][t][b]);
    }
}

// Mixed blocks: subbands 0 and 1 take the normal long window, the rest short windows, though
// the long transform runs four subbands at a time.
TEST(MdctTest, MixedBlocksTransformTheirFirstTwoSubbandsLong) {
    CHybridFilterbank mdct;
    mdct.Init(Stereo());
    auto f = std::make_unique<Frame>();
    FillRandom(*f, 5);
    for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < 2; ++ch) {
            f->side.gr[gr][ch].block_type = 2;
            f->side.gr[gr][ch].mixed_block_flag = 1;
        }
    SideInfo longSide = f->side, shortSide = f->side;
    for (auto& granule : longSide.gr)
        for (auto& gi : granule)
            gi.block_type = 0;
    auto asLong = std::make_unique<SpectrumBox>(), asShort = std::make_unique<SpectrumBox>();
    Expected(f->sb, longSide, asLong->xr, false);
    Expected(f->sb, shortSide, asShort->xr, false);
    mdct.Transform(f->sb, f->xr, f->side);
    for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < 2; ++ch)
            for (int i = 0; i < 576; ++i) {
                const double expected = i < 36 ? asLong->xr[gr][ch][i] : asShort->xr[gr][ch][i];
                ASSERT_NEAR(f->xr[gr][ch][i], expected, 1e-12) << gr << ch << " " << i;
            }
}

TEST(MdctTest, ButterfliesTouchExactlyTheSubbandBordersOfLongBlocksOnly) {
    CHybridFilterbank mdct;
    mdct.Init(Stereo());
    for (int type = 0; type < 4; ++type) {
        auto f = std::make_unique<Frame>();
        auto plainBox = std::make_unique<SpectrumBox>();
        Spectrum& plain = plainBox->xr;
        FillRandom(*f, 20 + type);
        for (auto& g : f->side.gr)
            for (auto& gi : g)
                gi.block_type = type;
        Expected(f->sb, f->side, plain, /*butterflies=*/false);
        mdct.Transform(f->sb, f->xr, f->side);
        int changed = 0;
        for (int i = 0; i < 576; ++i)
            if (std::fabs(f->xr[0][0][i] - plain[0][0][i]) > 1e-12) ++changed;
        EXPECT_EQ(changed, type == 2 ? 0 : 31 * 8 * 2) << "block type " << type;
    }
}

TEST(MdctTest, ShortGranulesInterleaveTheirWindowsAndMixedFlagDoesNotAddButterflies) {
    CHybridFilterbank mdct;
    mdct.Init(Stereo());
    auto f = std::make_unique<Frame>();
    // Only the first short window (inputs 6..17) sees inputs 6..11 of subband 4.
    for (int t = 6; t < 12; ++t)
        f->sb[0][0][t][4] = 1.0;
    f->side.gr[0][0].block_type = 2;
    f->side.gr[0][0].mixed_block_flag = 1;
    mdct.Transform(f->sb, f->xr, f->side);
    double e1 = 0;
    for (int i = 0; i < 576; ++i) {
        if (i / 18 == 4 && (i % 18) % 3 == 0) {
            e1 += f->xr[0][0][i] * f->xr[0][0][i];
        } else {
            EXPECT_EQ(f->xr[0][0][i], 0.0) << i;  // a butterfly would leak into subbands 3 and 5
        }
    }
    EXPECT_GT(e1, 0.1);
}

TEST(MdctTest, ZerosGiveZerosForEveryBlockType) {
    CHybridFilterbank mdct;
    mdct.Init(Stereo());
    for (int type = 0; type < 4; ++type) {
        auto f = std::make_unique<Frame>();
        for (auto& g : f->side.gr)
            for (auto& gi : g)
                gi.block_type = type;
        mdct.Transform(f->sb, f->xr, f->side);
        for (auto& g : f->xr)
            for (auto& c : g)
                for (double v : c)
                    ASSERT_EQ(v, 0.0);
    }
}

// A sine at the centre frequency of a spectral line, through both stages, puts its energy
// into that line.
TEST(MdctTest, SineAtALineCentreLandsInThatLine) {
    for (int line : {97, 112, 301}) {
        layer3::CAnalysisFilterbank poly;
        CHybridFilterbank mdct;
        EncodingSettings mono;
        mono.stereo = 1;
        mono.granulesPerFrame = 2;
        mdct.Init(mono);
        auto f = std::make_unique<Frame>();
        std::vector<std::int16_t> pcm(1152 * 4);
        for (std::size_t n = 0; n < pcm.size(); ++n)
            pcm[n] = std::int16_t(std::lround(16000.0 * std::sin(M_PI * (line + 0.5) * double(n) / 576.0)));
        const std::int16_t* cursor = pcm.data();
        for (int frame = 0; frame < 4; ++frame) {
            for (int gr = 0; gr < 2; ++gr)
                for (int t = 0; t < 18; ++t) {
                    double z[512];
                    poly.WindowSubband(cursor, z, 0);
                    poly.FilterSubband(z, f->sb[0][gr + 1][t]);
                }
            mdct.Transform(f->sb, f->xr, f->side);
        }
        double total = 0, near = 0;
        int peak = 0;
        for (int i = 0; i < 576; ++i) {
            const double e = f->xr[1][0][i] * f->xr[1][0][i];
            total += e;
            if (std::abs(i - line) <= 1) near += e;
            if (e > f->xr[1][0][peak] * f->xr[1][0][peak]) peak = i;
        }
        EXPECT_EQ(peak, line);
        EXPECT_GT(near / total, 0.95) << "line " << line;
    }
}

}  // namespace
