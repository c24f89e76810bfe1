#include "layer3/fft.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "layer3/vector_kernels.h"

namespace layer3 {

namespace {
constexpr double kTwoPi = 6.283185307179586476925;
constexpr float kEnergyFloor = 0.0005f;
}  // namespace

template <std::size_t N>
CRealFft<N>::CRealFft() {
    std::size_t bits = 0;
    while ((std::size_t{1} << bits) < kHalf)
        ++bits;
    for (std::size_t i = 0; i < kHalf; ++i) {
        std::size_t r = 0;
        for (std::size_t b = 0; b < bits; ++b)
            r |= ((i >> b) & 1u) << (bits - 1 - b);
        bitReverse_[i] = r;
    }
    // One table serves every stage: stage of length m uses every (kHalf / m)-th entry.
    for (std::size_t l = 0; l < kHalf / 2; ++l) {
        stageCos_[l] = std::cos(kTwoPi * double(l) / double(kHalf));
        stageSin_[l] = std::sin(kTwoPi * double(l) / double(kHalf));
    }
    // Each stage's twiddles side by side: the stage of blocks of m = 2 * half lines reads
    // entries half - 1 .. 2 * half - 2, the sine already negated for the forward sign.
    for (std::size_t half = 1; half < kHalf; half <<= 1)
        for (std::size_t j = 0; j < half; ++j) {
            const std::size_t step = kHalf / (2 * half);
            twiddleCos_[half - 1 + j] = stageCos_[j * step];
            twiddleSin_[half - 1 + j] = -stageSin_[j * step];
        }
    for (std::size_t k = 0; k < kHalf; ++k) {
        splitCos_[k] = std::cos(kTwoPi * double(k) / double(N));
        splitSin_[k] = std::sin(kTwoPi * double(k) / double(N));
    }
}

namespace {

using Doubles4 = double __attribute__((vector_size(32)));

// The butterflies of one block of a stage: line j of the upper half (ra, ia) meets line j of
// the lower half (rb, ib) with the twiddle (wr[j], wi[j]). The halves never overlap, which
// lets the compiler run several butterflies in one vector operation; every lane does the
// operations of the scalar form, so the results are the same to the bit.
inline __attribute__((always_inline)) void Butterflies(double* __restrict ra, double* __restrict ia,
                                                       double* __restrict rb, double* __restrict ib,
                                                       const double* __restrict wr,
                                                       const double* __restrict wi, std::size_t half) {
    for (std::size_t j = 0; j < half; ++j) {
        const double tr = rb[j] * wr[j] - ib[j] * wi[j];
        const double ti = rb[j] * wi[j] + ib[j] * wr[j];
        rb[j] = ra[j] - tr;
        ib[j] = ia[j] - ti;
        ra[j] += tr;
        ia[j] += ti;
    }
}

// Two stages at once: the blocks of m lines and then those of 2 m lines, on the four quarters
// q0..q3 of a block of 2 m lines. Each butterfly is the one the stages give one after the
// other (q0 with q1 and q2 with q3 at the first stage's twiddles, then q0 with q2 and q1 with
// q3 at the second's), so the results are the same to the bit; the values between the two
// stages stay in registers.
inline __attribute__((always_inline)) void TwoStageButterflies(
    double* __restrict r0, double* __restrict i0, double* __restrict r1, double* __restrict i1,
    double* __restrict r2, double* __restrict i2, double* __restrict r3, double* __restrict i3,
    const double* __restrict wr1, const double* __restrict wi1, const double* __restrict wr2,
    const double* __restrict wi2, std::size_t quarter) {
    for (std::size_t j = 0; j < quarter; ++j) {
        double ar = r0[j], ai = i0[j], br = r1[j], bi = i1[j];
        double cr = r2[j], ci = i2[j], dr = r3[j], di = i3[j];
        {
            const double tr = br * wr1[j] - bi * wi1[j];
            const double ti = br * wi1[j] + bi * wr1[j];
            br = ar - tr, bi = ai - ti, ar += tr, ai += ti;
        }
        {
            const double tr = dr * wr1[j] - di * wi1[j];
            const double ti = dr * wi1[j] + di * wr1[j];
            dr = cr - tr, di = ci - ti, cr += tr, ci += ti;
        }
        {
            const double tr = cr * wr2[j] - ci * wi2[j];
            const double ti = cr * wi2[j] + ci * wr2[j];
            r2[j] = ar - tr, i2[j] = ai - ti, r0[j] = ar + tr, i0[j] = ai + ti;
        }
        {
            const double tr = dr * wr2[quarter + j] - di * wi2[quarter + j];
            const double ti = dr * wi2[quarter + j] + di * wr2[quarter + j];
            r3[j] = br - tr, i3[j] = bi - ti, r1[j] = br + tr, i1[j] = bi + ti;
        }
    }
}

// The stages of blocks of 8 lines and more: each stage's loop has its butterflies inlined, as
// a call per block would cost more than the small blocks' work. The stages go in pairs: one
// pass over the lines instead of two.
VELTO_VECTOR_KERNEL void LaterStages(double* re, double* im, const double* twiddleCos,
                                     const double* twiddleSin, std::size_t lines) {
    const auto oneStage = [&](std::size_t m) {
        const std::size_t half = m / 2;
        const double* wr = &twiddleCos[half - 1];
        const double* wi = &twiddleSin[half - 1];
        for (std::size_t start = 0; start < lines; start += m)
            Butterflies(re + start, im + start, re + start + half, im + start + half, wr, wi, half);
    };
    std::size_t m = 8;
    for (; 2 * m <= lines; m *= 4) {
        const std::size_t quarter = m / 2;
        const double* wr1 = &twiddleCos[quarter - 1];
        const double* wi1 = &twiddleSin[quarter - 1];
        const double* wr2 = &twiddleCos[m - 1];
        const double* wi2 = &twiddleSin[m - 1];
        for (std::size_t start = 0; start < lines; start += 2 * m)
            TwoStageButterflies(re + start, im + start, re + start + quarter, im + start + quarter,
                                re + start + 2 * quarter, im + start + 2 * quarter, re + start + 3 * quarter,
                                im + start + 3 * quarter, wr1, wi1, wr2, wi2, quarter);
    }
    if (m <= lines) oneStage(m);
}

// One butterfly on four blocks side by side, as Butterflies does it on one.
inline __attribute__((always_inline)) void Butterfly4(Doubles4& ra, Doubles4& ia, Doubles4& rb, Doubles4& ib,
                                                      double wr, double wi) {
    const Doubles4 tr = rb * wr - ib * wi;
    const Doubles4 ti = rb * wi + ib * wr;
    rb = ra - tr;
    ib = ia - ti;
    ra += tr;
    ia += ti;
}

// The input in bit-reversed order with the stages of blocks of 2 and 4 lines, four blocks of 4
// lines at a time. Line q of block g holds input pair bitrev(4g + q) = offset[q] + bitrev(g)
// (bitrev over two bits fewer, offsets 0, half/2, half/4, 3 half/4): the blocks g = bitrev(h)
// for four neighbouring h read four neighbouring pairs at each q. The twiddle of the blocks of
// 2 is (w2r, w2i); those of the blocks of 4, (w4r[j], w4i[j]) for j = 0, 1.
VELTO_VECTOR_KERNEL void FirstStages(const float* x, std::size_t half, const std::size_t* bitReverse,
                                     double w2r, double w2i, const double* w4r, const double* w4i, double* re,
                                     double* im) {
    const std::size_t offset[4] = {0, half / 2, half / 4, 3 * half / 4};
    for (std::size_t h = 0; h < half / 4; h += 4) {
        Doubles4 r[4], i[4];
        for (int q = 0; q < 4; ++q) {
            const float* pairs = x + 2 * (offset[q] + h);
            r[q] = Doubles4{pairs[0], pairs[2], pairs[4], pairs[6]};
            i[q] = Doubles4{pairs[1], pairs[3], pairs[5], pairs[7]};
        }
        Butterfly4(r[0], i[0], r[1], i[1], w2r, w2i);
        Butterfly4(r[2], i[2], r[3], i[3], w2r, w2i);
        Butterfly4(r[0], i[0], r[2], i[2], w4r[0], w4i[0]);
        Butterfly4(r[1], i[1], r[3], i[3], w4r[1], w4i[1]);
        for (int l = 0; l < 4; ++l) {
            const std::size_t at = bitReverse[h + l];  // 4 bitrev(h + l), the first line of its block
            const Doubles4 blockRe = {r[0][l], r[1][l], r[2][l], r[3][l]};
            const Doubles4 blockIm = {i[0][l], i[1][l], i[2][l], i[3][l]};
            std::memcpy(re + at, &blockRe, sizeof blockRe);
            std::memcpy(im + at, &blockIm, sizeof blockIm);
        }
    }
}

// X[k] = E[k] + e^{-2 pi i k / N} O[k] from Z[k] = (ra, ia) and Z[N/2 - k] = (rb, ib), with
// the split twiddle (c, s): for one line (double) or four side by side (Doubles4), the same
// operations in the same order.
template <class T>
inline __attribute__((always_inline)) void SplitArithmetic(const T& ra, const T& rb, const T& ia, const T& ib,
                                                           const T& c, const T& s, T& xr, T& xi) {
    const T er = 0.5 * (ra + rb), ei = 0.5 * (ia - ib);
    const T or_ = 0.5 * (ia + ib), oi = -0.5 * (ra - rb);
    xr = er + or_ * c + oi * s;
    xi = ei + oi * c - or_ * s;
}

// Line k of the real spectrum, in single precision.
struct SplitValue {
    float xr, xi;
};
inline __attribute__((always_inline)) SplitValue SplitValueOf(const double* __restrict re,
                                                              const double* __restrict im,
                                                              const double* __restrict splitCos,
                                                              const double* __restrict splitSin,
                                                              std::size_t half, std::size_t k) {
    double xr = 0, xi = 0;
    SplitArithmetic(re[k], re[half - k], im[k], im[half - k], splitCos[k], splitSin[k], xr, xi);
    return {float(xr), float(xi)};
}

using Floats4 = float __attribute__((vector_size(16)));

// SplitValueOf for lines k .. k + 3 side by side (k + 3 < half): every lane does its
// operations in the same order, so the values are the same to the bit.
struct SplitValues4 {
    Floats4 xr, xi;
};
inline __attribute__((always_inline)) SplitValues4 SplitValuesOf(const double* __restrict re,
                                                                 const double* __restrict im,
                                                                 const double* __restrict splitCos,
                                                                 const double* __restrict splitSin,
                                                                 std::size_t half, std::size_t k) {
    Doubles4 ra, ia, rb, ib, c, s;
    std::memcpy(&ra, re + k, sizeof ra);
    std::memcpy(&ia, im + k, sizeof ia);
    std::memcpy(&rb, re + half - k - 3, sizeof rb);
    std::memcpy(&ib, im + half - k - 3, sizeof ib);
    std::memcpy(&c, splitCos + k, sizeof c);
    std::memcpy(&s, splitSin + k, sizeof s);
    rb = __builtin_shufflevector(rb, rb, 3, 2, 1, 0);
    ib = __builtin_shufflevector(ib, ib, 3, 2, 1, 0);
    Doubles4 xr, xi;
    SplitArithmetic(ra, rb, ia, ib, c, s, xr, xi);
    return {__builtin_convertvector(xr, Floats4), __builtin_convertvector(xi, Floats4)};
}

// Lines from..end - 1 of the split without their direction, four at a time.
VELTO_VECTOR_KERNEL void SplitWithoutPhase(const double* __restrict re, const double* __restrict im,
                                           const double* __restrict splitCos,
                                           const double* __restrict splitSin, std::size_t end,
                                           std::size_t half, std::size_t from, float* __restrict energy) {
    std::size_t k = from;
    for (; k + 4 <= end && k + 3 < half; k += 4) {
        const auto [xr, xi] = SplitValuesOf(re, im, splitCos, splitSin, half, k);
        const Floats4 e = xr * xr + xi * xi;
        const Floats4 floor = Floats4{} + kEnergyFloor;
        const Floats4 kept = e <= floor ? floor : e;
        std::memcpy(energy + k, &kept, sizeof kept);
    }
    for (; k < end; ++k) {
        const auto [xr, xi] = SplitValueOf(re, im, splitCos, splitSin, half, k);
        const float e = xr * xr + xi * xi;
        energy[k] = e <= kEnergyFloor ? kEnergyFloor : e;
    }
}

// Lines from..end - 1 of the split with their direction, as SplitLine gives them, without a
// branch: every lane does SplitLine's single-precision operations, and a quiet line's
// direction is chosen after them.
VELTO_VECTOR_KERNEL void SplitWithDirection(const double* __restrict re, const double* __restrict im,
                                            const double* __restrict splitCos,
                                            const double* __restrict splitSin, std::size_t end,
                                            std::size_t half, std::size_t from, float* __restrict energy,
                                            UnitPhasor* __restrict direction) {
    std::size_t k = from;
    for (; k + 4 <= end && k + 3 < half; k += 4) {
        const auto [xr, xi] = SplitValuesOf(re, im, splitCos, splitSin, half, k);
        const Floats4 e = xr * xr + xi * xi;
        const Floats4 floor = Floats4{} + kEnergyFloor;
        const auto quiet = e <= floor;
        const Floats4 magnitude = {std::sqrt(e[0]), std::sqrt(e[1]), std::sqrt(e[2]), std::sqrt(e[3])};
        const Floats4 ur = xr / magnitude, ui = xi / magnitude;
        const Floats4 kept = quiet ? floor : e;
        std::memcpy(energy + k, &kept, sizeof kept);
        const Doubles4 dr = __builtin_convertvector(quiet ? Floats4{} + 1.0f : ur, Doubles4);
        const Doubles4 di = __builtin_convertvector(quiet ? Floats4{} : ui, Doubles4);
        for (int l = 0; l < 4; ++l)
            direction[k + l] = UnitPhasor{dr[l], di[l]};
    }
    for (; k < end; ++k) {
        const auto [xr, xi] = SplitValueOf(re, im, splitCos, splitSin, half, k);
        const float e = xr * xr + xi * xi;
        const bool quiet = e <= kEnergyFloor;
        const float magnitude = std::sqrt(e);
        const float ur = xr / magnitude, ui = xi / magnitude;
        energy[k] = quiet ? kEnergyFloor : e;
        direction[k] = UnitPhasor{quiet ? 1.0 : double(ur), quiet ? 0.0 : double(ui)};
    }
}

}  // namespace

// Iterative radix-2 decimation in time, forward sign (e^{-i...}), on the packed input (even
// samples real, odd imaginary) read in bit-reversed order by the first two stages. The blocks
// of two have the twiddle (1, -0), kept as a product so that signed zeros come out as the
// general butterfly gives them.
template <std::size_t N>
void CRealFft<N>::ComplexTransform(const float (&x)[N]) {
    static_assert(kHalf >= 16, "the first stages take four blocks of four lines at a time");
    FirstStages(x, kHalf, bitReverse_.data(), stageCos_[0], -stageSin_[0], &twiddleCos_[1], &twiddleSin_[1],
                re_.data(), im_.data());
    LaterStages(re_.data(), im_.data(), twiddleCos_.data(), twiddleSin_.data(), kHalf);
}

template <std::size_t N>
void CRealFft<N>::Transform(const float (&x)[N], float (&energy)[kLines], UnitPhasor (&direction)[kLines],
                            std::size_t directionLines) {
    Transform(x, energy, direction, directionLines, kLines);
}

template <std::size_t N>
void CRealFft<N>::Transform(const float (&x)[N], float (&energy)[kLines], UnitPhasor (&direction)[kLines],
                            std::size_t directionLines, std::size_t energyLines) {
    ComplexTransform(x);
    // Split Z[k] = E[k] + i O[k] into the real spectrum X[k] = E[k] + e^{-2 pi i k / N} O[k],
    // with E[k] = (Z[k] + conj Z[N/2 - k]) / 2 and O[k] = (Z[k] - conj Z[N/2 - k]) / (2i).
    // Lines 0 and N/2 both pair Z[0] with itself.
    const std::size_t withDirection = std::min(directionLines, kHalf);
    energyLines_ = std::max(std::min(energyLines, kLines), std::max<std::size_t>(withDirection, 1));
    SplitLine(0, 0, 0, splitCos_[0], splitSin_[0], energy, direction, withDirection > 0);
    SplitWithDirection(re_.data(), im_.data(), splitCos_.data(), splitSin_.data(), withDirection, kHalf, 1,
                       energy, direction);
    SplitWithoutPhase(re_.data(), im_.data(), splitCos_.data(), splitSin_.data(),
                      std::min(energyLines_, kHalf), kHalf, std::max<std::size_t>(withDirection, 1), energy);
    if (energyLines_ == kLines) SplitLine(kHalf, 0, 0, -1.0, 0.0, energy, direction, directionLines > kHalf);
}

template <std::size_t N>
void CRealFft<N>::CompleteEnergies(float (&energy)[kLines]) {
    if (energyLines_ == kLines) return;
    UnitPhasor unused[kLines];
    SplitWithoutPhase(re_.data(), im_.data(), splitCos_.data(), splitSin_.data(), kHalf, kHalf, energyLines_,
                      energy);
    SplitLine(kHalf, 0, 0, -1.0, 0.0, energy, unused, false);
    energyLines_ = kLines;
}

template <std::size_t N>
void CRealFft<N>::SplitLine(std::size_t k, std::size_t a, std::size_t b, double c, double s,
                            float (&energy)[kLines], UnitPhasor (&direction)[kLines],
                            bool withDirection) const {
    const double er = 0.5 * (re_[a] + re_[b]), ei = 0.5 * (im_[a] - im_[b]);
    const double or_ = 0.5 * (im_[a] + im_[b]), oi = -0.5 * (re_[a] - re_[b]);
    const float xr = float(er + or_ * c + oi * s);
    const float xi = float(ei + oi * c - or_ * s);
    const float e = xr * xr + xi * xi;
    if (e <= kEnergyFloor) {
        energy[k] = kEnergyFloor;
        if (withDirection) direction[k] = UnitPhasor{};
    } else {
        energy[k] = e;
        // In single precision, from the rounded values: a double form lets the optimiser take
        // the values from before their rounding, and the direction would hang on the build.
        if (withDirection) {
            const float magnitude = std::sqrt(e);
            direction[k] = UnitPhasor{xr / magnitude, xi / magnitude};
        }
    }
}

template class CRealFft<1024>;
template class CRealFft<256>;

}  // namespace layer3
