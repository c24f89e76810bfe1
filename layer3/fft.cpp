#include "layer3/fft.h"

#include <cmath>

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
    for (std::size_t k = 0; k < kHalf; ++k) {
        splitCos_[k] = std::cos(kTwoPi * double(k) / double(N));
        splitSin_[k] = std::sin(kTwoPi * double(k) / double(N));
    }
}

// Iterative radix-2 decimation in time on bit-reversed input, forward sign (e^{-i...}).
template <std::size_t N>
void CRealFft<N>::ComplexTransform() {
    for (std::size_t m = 2; m <= kHalf; m <<= 1) {
        const std::size_t half = m / 2, step = kHalf / m;
        for (std::size_t start = 0; start < kHalf; start += m) {
            for (std::size_t j = 0; j < half; ++j) {
                const double wr = stageCos_[j * step], wi = -stageSin_[j * step];
                const std::size_t a = start + j, b = a + half;
                const double tr = re_[b] * wr - im_[b] * wi;
                const double ti = re_[b] * wi + im_[b] * wr;
                re_[b] = re_[a] - tr;
                im_[b] = im_[a] - ti;
                re_[a] += tr;
                im_[a] += ti;
            }
        }
    }
}

template <std::size_t N>
void CRealFft<N>::Transform(const float (&x)[N], float (&energy)[kLines], float (&phase)[kLines],
                            std::size_t phaseLines) {
    for (std::size_t i = 0; i < kHalf; ++i) {
        const std::size_t r = bitReverse_[i];
        re_[r] = x[2 * i];
        im_[r] = x[2 * i + 1];
    }
    ComplexTransform();
    // Split Z[k] = E[k] + i O[k] into the real spectrum X[k] = E[k] + e^{-2 pi i k / N} O[k],
    // with E[k] = (Z[k] + conj Z[N/2 - k]) / 2 and O[k] = (Z[k] - conj Z[N/2 - k]) / (2i).
    for (std::size_t k = 0; k <= kHalf; ++k) {
        const std::size_t a = k % kHalf, b = (kHalf - k) % kHalf;
        const double er = 0.5 * (re_[a] + re_[b]), ei = 0.5 * (im_[a] - im_[b]);
        const double or_ = 0.5 * (im_[a] + im_[b]), oi = -0.5 * (re_[a] - re_[b]);
        const double c = k < kHalf ? splitCos_[k] : -1.0, s = k < kHalf ? splitSin_[k] : 0.0;
        const float xr = float(er + or_ * c + oi * s);
        const float xi = float(ei + oi * c - or_ * s);
        const float e = xr * xr + xi * xi;
        if (e <= kEnergyFloor) {
            energy[k] = kEnergyFloor;
            phase[k] = 0.0f;
        } else {
            energy[k] = e;
            phase[k] = k < phaseLines ? std::atan2(xi, xr) : 0.0f;
        }
    }
}

template class CRealFft<1024>;
template class CRealFft<256>;

}  // namespace layer3
