#include "layer3/hybrid_filterbank.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "layer3/vector_kernels.h"

namespace layer3 {

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kAliasCoefficients[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
constexpr int kShortBlock = 2;
}  // namespace

CHybridFilterbank::CHybridFilterbank() {
    Init(EncodingSettings{});
}

void CHybridFilterbank::Init(const EncodingSettings& header) {
    channels_ = std::clamp(header.stereo, 1, kMaxChannels);
    granules_ = std::clamp(header.granulesPerFrame, 1, kMaxGranules);
    for (int i = 0; i < 36; ++i)
        win_[0][i] = std::sin(kPi / 36 * (i + 0.5));
    for (int i = 0; i < 36; ++i) {
        win_[1][i] = i < 18 ? win_[0][i] : i < 24 ? 1.0 : i < 30 ? std::sin(kPi / 12 * (i - 18 + 0.5)) : 0.0;
        win_[2][i] = i < 12 ? std::sin(kPi / 12 * (i + 0.5)) : 0.0;
        win_[3][i] = i < 6 ? 0.0 : i < 12 ? std::sin(kPi / 12 * (i - 6 + 0.5)) : i < 18 ? 1.0 : win_[0][i];
    }
    for (int m = 0; m < 18; ++m)
        for (int k = 0; k < 36; ++k)
            cos_l_[m][k] = std::cos(kPi / 72 * (2 * k + 19) * (2 * m + 1)) / 9.0;
    for (int j = 0; j < 18; ++j)
        for (int m = 0; m < 18; ++m)
            cos_folded_[j][m] = cos_l_[m][j < 9 ? j : j + 9];
    for (int m = 0; m < 6; ++m)
        for (int k = 0; k < 12; ++k)
            cos_s_[m][k] = std::cos(kPi / 24 * (2 * k + 7) * (2 * m + 1)) / 3.0;
    for (int i = 0; i < 8; ++i) {
        const double root = std::sqrt(1.0 + kAliasCoefficients[i] * kAliasCoefficients[i]);
        cs_[i] = 1.0 / root;
        ca_[i] = kAliasCoefficients[i] / root;
    }
}

VELTO_VECTOR_KERNEL void CHybridFilterbank::TransformLong(const double (&in)[36], int type,
                                                          double* out) const {
    double windowed[36];
    for (int k = 0; k < 36; ++k)
        windowed[k] = win_[type][k] * in[k];
    double folded[18];
    for (int k = 0; k < 9; ++k)
        folded[k] = windowed[k] - windowed[17 - k];
    for (int k = 18; k < 27; ++k)
        folded[k - 9] = windowed[k] + windowed[53 - k];
    // The 18 outputs side by side in five vector registers, each summed over j in order.
    using Doubles4 = double __attribute__((vector_size(32)));
    Doubles4 s0 = {}, s1 = {}, s2 = {}, s3 = {}, s4 = {};
    for (int j = 0; j < 18; ++j) {
        const double x = folded[j];
        const Doubles4 f = {x, x, x, x};
        const double* row = cos_folded_[j];
        Doubles4 c0, c1, c2, c3, c4;
        std::memcpy(&c0, row, sizeof c0);
        std::memcpy(&c1, row + 4, sizeof c1);
        std::memcpy(&c2, row + 8, sizeof c2);
        std::memcpy(&c3, row + 12, sizeof c3);
        std::memcpy(&c4, row + 16, sizeof c4);
        s0 += f * c0;
        s1 += f * c1;
        s2 += f * c2;
        s3 += f * c3;
        s4 += f * c4;
    }
    std::memcpy(out, &s0, sizeof s0);
    std::memcpy(out + 4, &s1, sizeof s1);
    std::memcpy(out + 8, &s2, sizeof s2);
    std::memcpy(out + 12, &s3, sizeof s3);
    out[16] = s4[0];
    out[17] = s4[1];
}

// The three short windows start at inputs 6, 12 and 18; their outputs interleave.
void CHybridFilterbank::TransformShort(const double (&in)[36], double* out) const {
    for (int w = 0; w < 3; ++w) {
        for (int m = 0; m < 6; ++m) {
            double sum = 0.0;
            for (int k = 0; k < 12; ++k)
                sum += in[6 + 6 * w + k] * cos_s_[m][k] * win_[kShortBlock][k];
            out[3 * m + w] = sum;
        }
    }
}

void CHybridFilterbank::ReduceAliasing(double* xr) const {
    for (int b = 0; b < 31; ++b) {
        for (int i = 0; i < 8; ++i) {
            double& up = xr[18 * b + 17 - i];
            double& down = xr[18 * b + 18 + i];
            const double u = up, d = down;
            up = u * cs_[i] + d * ca_[i];
            down = d * cs_[i] - u * ca_[i];
        }
    }
}

void CHybridFilterbank::Transform(SubbandSamples& sb_sample, Spectrum& xr, const SideInfo& side_info) {
    for (int gr = 0; gr < granules_; ++gr) {
        for (int ch = 0; ch < channels_; ++ch) {
            const GranuleInfo& gi = side_info.gr[gr][ch];
            auto& current = sb_sample[ch][gr + 1];
            for (int t = 1; t < kSubbandSlots; t += 2)
                for (int b = 1; b < 32; b += 2)
                    current[t][b] = -current[t][b];
            double* out = xr[gr][ch];
            for (int b = 0; b < 32; ++b) {
                double in[36];
                for (int t = 0; t < kSubbandSlots; ++t) {
                    in[t] = sb_sample[ch][gr][t][b];
                    in[18 + t] = current[t][b];
                }
                const int type = (gi.mixed_block_flag && b < 2) ? 0 : int(gi.block_type & 3u);
                if (type == kShortBlock)
                    TransformShort(in, out + 18 * b);
                else
                    TransformLong(in, type, out + 18 * b);
            }
            if (gi.block_type != kShortBlock) ReduceAliasing(out);
        }
    }
    for (int ch = 0; ch < channels_; ++ch)
        std::copy(&sb_sample[ch][granules_][0][0], &sb_sample[ch][granules_][0][0] + kSubbandSlots * 32,
                  &sb_sample[ch][0][0][0]);
}

}  // namespace layer3
