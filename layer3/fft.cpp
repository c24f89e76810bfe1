#include "layer3/fft.h"

#include <algorithm>
#include <cmath>

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

// The stages of blocks of 4 lines and more: each stage's loop has its butterflies inlined, as
// a call per block would cost more than the small blocks' work. From blocks of 8 lines on, the
// stages go in pairs: one pass over the lines instead of two.
VELTO_VECTOR_KERNEL void LaterStages(double* re, double* im, const double* twiddleCos,
                                     const double* twiddleSin, std::size_t lines) {
    const auto oneStage = [&](std::size_t m) {
        const std::size_t half = m / 2;
        const double* wr = &twiddleCos[half - 1];
        const double* wi = &twiddleSin[half - 1];
        for (std::size_t start = 0; start < lines; start += m)
            Butterflies(re + start, im + start, re + start + half, im + start + half, wr, wi, half);
    };
    std::size_t m = 4;
    if (m <= lines) oneStage(m);
    for (m = 8; 2 * m <= lines; m *= 4) {
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

// Line k of the real spectrum, X[k] = E[k] + e^{-2 pi i k / N} O[k], in single precision.
struct SplitValue {
    float xr, xi;
};
inline __attribute__((always_inline)) SplitValue SplitValueOf(const double* __restrict re,
                                                              const double* __restrict im,
                                                              const double* __restrict splitCos,
                                                              const double* __restrict splitSin,
                                                              std::size_t half, std::size_t k) {
    const double ra = re[k], rb = re[half - k], ia = im[k], ib = im[half - k];
    const double er = 0.5 * (ra + rb), ei = 0.5 * (ia - ib);
    const double or_ = 0.5 * (ia + ib), oi = -0.5 * (ra - rb);
    const double c = splitCos[k], s = splitSin[k];
    return {float(er + or_ * c + oi * s), float(ei + oi * c - or_ * s)};
}

// Lines from..end - 1 of the split without their direction: no branch, so the compiler may run
// them side by side.
VELTO_VECTOR_KERNEL void SplitWithoutPhase(const double* __restrict re, const double* __restrict im,
                                           const double* __restrict splitCos,
                                           const double* __restrict splitSin, std::size_t end,
                                           std::size_t half, std::size_t from, float* __restrict energy) {
    for (std::size_t k = from; k < end; ++k) {
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
    for (std::size_t k = from; k < end; ++k) {
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

// Iterative radix-2 decimation in time on bit-reversed input, forward sign (e^{-i...}).
template <std::size_t N>
void CRealFft<N>::ComplexTransform() {
    double* re = re_.data();
    double* im = im_.data();
    // Blocks of two: the twiddle is (1, -0), kept as a product so that signed zeros come out
    // as the general butterfly gives them.
    const double wr0 = stageCos_[0], wi0 = -stageSin_[0];
    for (std::size_t a = 0; a < kHalf; a += 2) {
        const std::size_t b = a + 1;
        const double tr = re[b] * wr0 - im[b] * wi0;
        const double ti = re[b] * wi0 + im[b] * wr0;
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
    }
    LaterStages(re, im, twiddleCos_.data(), twiddleSin_.data(), kHalf);
}

template <std::size_t N>
void CRealFft<N>::Transform(const float (&x)[N], float (&energy)[kLines], UnitPhasor (&direction)[kLines],
                            std::size_t directionLines) {
    Transform(x, energy, direction, directionLines, kLines);
}

template <std::size_t N>
void CRealFft<N>::Transform(const float (&x)[N], float (&energy)[kLines], UnitPhasor (&direction)[kLines],
                            std::size_t directionLines, std::size_t energyLines) {
    for (std::size_t i = 0; i < kHalf; ++i) {
        const std::size_t r = bitReverse_[i];
        re_[r] = x[2 * i];
        im_[r] = x[2 * i + 1];
    }
    ComplexTransform();
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
