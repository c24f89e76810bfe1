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
    SetUpLongTransform();
    for (int m = 0; m < 6; ++m)
        for (int k = 0; k < 12; ++k)
            cos_s_[m][k] = std::cos(kPi / 24 * (2 * k + 7) * (2 * m + 1)) / 3.0;
    for (int i = 0; i < 8; ++i) {
        const double root = std::sqrt(1.0 + kAliasCoefficients[i] * kAliasCoefficients[i]);
        cs_[i] = 1.0 / root;
        ca_[i] = kAliasCoefficients[i] / root;
    }
}

// The long transform, out[m] = sum over k of windowed[k] cos(pi / 72 (2k + 19)(2m + 1)) / 9,
// folded: inputs k and 17 - k meet opposite coefficients and k and 53 - k equal ones
// (18 <= k < 36), so the folded values f[0..8] = w[k] - w[17 - k] and f[9..17] = w[k] + w[53 - k]
// (k = 18..26) make a DCT-IV of 18 values u, with u[n] = -f[17 - n] (n < 9) and f[n - 9]
// (n >= 9). Its input n of the half-length complex DFT is (u[2n] + i u[17 - 2n]) times
// e^{-i pi (4n + 1) / 72}; output k times e^{-i pi k / 18} gives line 2k as its real part and
// line 17 - 2k as its negated imaginary part.
void CHybridFilterbank::SetUpLongTransform() {
    for (int n = 0; n < 9; ++n) {
        const double angle = kPi * (4 * n + 1) / 72;
        const double c = std::cos(angle) / 9, s = -std::sin(angle) / 9;
        // u[2n] = sp * f[p], u[17 - 2n] = sq * f[q].
        const bool low = n <= 4;
        const int p = low ? 17 - 2 * n : 2 * n - 9, q = low ? 8 - 2 * n : 2 * n;
        const double sp = low ? -1.0 : 1.0, sq = low ? 1.0 : -1.0;
        pre_[n] = {p, q, sp * c, -sq * s, sp * s, sq * c};
    }
    for (int e : {1, 2, 4}) {
        innerCos_[e] = std::cos(2 * kPi * e / 9);
        innerSin_[e] = -std::sin(2 * kPi * e / 9);
    }
    for (int k = 0; k < 9; ++k) {
        const double c = std::cos(kPi * k / 18), s = -std::sin(kPi * k / 18);
        postE_[k] = c, postF_[k] = -s, postG_[k] = -s, postH_[k] = -c;
    }
}

namespace {
using Doubles4 = double __attribute__((vector_size(32)));

struct Complex4 {
    Doubles4 re, im;
};

// The 3-point DFT of a, b, c: outputs 0, 1 and 2.
inline __attribute__((always_inline)) void Dft3(const Complex4& a, const Complex4& b, const Complex4& c,
                                                Complex4& x0, Complex4& x1, Complex4& x2) {
    constexpr double half = 0.5, h = 0.86602540378443864676;  // sqrt(3) / 2
    const Doubles4 sr = b.re + c.re, si = b.im + c.im, dr = b.re - c.re, di = b.im - c.im;
    const Doubles4 mr = a.re - half * sr, mi = a.im - half * si;
    x0 = {a.re + sr, a.im + si};
    x1 = {mr + h * di, mi - h * dr};
    x2 = {mr - h * di, mi + h * dr};
}

inline __attribute__((always_inline)) Complex4 Rotate(const Complex4& x, double c, double s) {
    return {x.re * c - x.im * s, x.re * s + x.im * c};
}
}  // namespace

VELTO_VECTOR_KERNEL void CHybridFilterbank::TransformLong4(const double* previous, const double* current,
                                                           const int (&type)[4], double* out) const {
    Doubles4 windowed[36];
    const bool oneWindow = type[0] == type[1] && type[0] == type[2] && type[0] == type[3];
    for (int k = 0; k < 36; ++k) {
        Doubles4 in;
        std::memcpy(&in, k < 18 ? previous + 32 * k : current + 32 * (k - 18), sizeof in);
        const Doubles4 w =
            oneWindow ? Doubles4{} + win_[type[0]][k]
                      : Doubles4{win_[type[0]][k], win_[type[1]][k], win_[type[2]][k], win_[type[3]][k]};
        windowed[k] = w * in;
    }
    Doubles4 f[18];
    for (int k = 0; k < 9; ++k)
        f[k] = windowed[k] - windowed[17 - k];
    for (int k = 18; k < 27; ++k)
        f[k - 9] = windowed[k] + windowed[53 - k];
    Complex4 t[9];
    for (int n = 0; n < 9; ++n) {
        const PreTwiddle& w = pre_[n];
        const Doubles4 p = f[w.p], q = f[w.q];
        t[n] = {p * w.a + q * w.b, p * w.c + q * w.d};
    }
    // Input n = 3 n1 + n2, output k = k1 + 3 k2: 3-point DFTs over n1, the twiddle of n2 k1,
    // 3-point DFTs over n2.
    Complex4 a[3][3];
    for (int n2 = 0; n2 < 3; ++n2)
        Dft3(t[n2], t[n2 + 3], t[n2 + 6], a[n2][0], a[n2][1], a[n2][2]);
    a[1][1] = Rotate(a[1][1], innerCos_[1], innerSin_[1]);
    a[1][2] = Rotate(a[1][2], innerCos_[2], innerSin_[2]);
    a[2][1] = Rotate(a[2][1], innerCos_[2], innerSin_[2]);
    a[2][2] = Rotate(a[2][2], innerCos_[4], innerSin_[4]);
    Complex4 x[9];
    for (int k1 = 0; k1 < 3; ++k1)
        Dft3(a[0][k1], a[1][k1], a[2][k1], x[k1], x[k1 + 3], x[k1 + 6]);
    Doubles4 lines[18];
    for (int k = 0; k < 9; ++k) {
        lines[2 * k] = x[k].re * postE_[k] + x[k].im * postF_[k];
        lines[17 - 2 * k] = x[k].re * postG_[k] + x[k].im * postH_[k];
    }
    for (int l = 0; l < 4; ++l)
        for (int m = 0; m < 18; ++m)
            out[18 * l + m] = lines[m][l];
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
            int type[32];
            for (int b = 0; b < 32; ++b)
                type[b] = (gi.mixed_block_flag && b < 2) ? 0 : int(gi.block_type & 3u);
            for (int b = 0; b < 32; b += 4) {
                const int group[4] = {type[b], type[b + 1], type[b + 2], type[b + 3]};
                if (std::all_of(std::begin(group), std::end(group), [](int t) { return t == kShortBlock; }))
                    continue;
                TransformLong4(&sb_sample[ch][gr][0][b], &current[0][b], group, out + 18 * b);
            }
            for (int b = 0; b < 32; ++b) {
                if (type[b] != kShortBlock) continue;
                double in[36];
                for (int t = 0; t < kSubbandSlots; ++t) {
                    in[t] = sb_sample[ch][gr][t][b];
                    in[18 + t] = current[t][b];
                }
                TransformShort(in, out + 18 * b);
            }
            if (gi.block_type != kShortBlock) ReduceAliasing(out);
        }
    }
    for (int ch = 0; ch < channels_; ++ch)
        std::copy(&sb_sample[ch][granules_][0][0], &sb_sample[ch][granules_][0][0] + kSubbandSlots * 32,
                  &sb_sample[ch][0][0][0]);
}

}  // namespace layer3
