#include "layer3/analysis_filterbank.h"

#include <cmath>

#include "layer3/tables/analysis_window.h"
#include "layer3/vector_kernels.h"

namespace layer3 {

namespace {
constexpr double kPiOver64 = 0.04908738521234047;

// Rounds to nine decimals, halves away from zero (std::round does that).
double NineDecimals(double v) {
    return std::round(v * 1e9) * 1e-9;
}
}  // namespace

CAnalysisFilterbank::CAnalysisFilterbank() {
    for (int i = 0; i < kSubbands; ++i)
        for (int k = 0; k < 64; ++k)
            m_[i][k] = NineDecimals(std::cos((2 * i + 1) * (16 - k) * kPiOver64));
    for (int i = 0; i < kSubbands; ++i)
        for (int k = 0; k < 64; ++k)
            mt_[k][i] = m_[i][k];
    Reset();
}

void CAnalysisFilterbank::Reset() {
    for (auto& channel : x_)
        for (double& v : channel)
            v = 0.0;
    off_[0] = off_[1] = 0;
}

VELTO_VECTOR_KERNEL void CAnalysisFilterbank::WindowSubband(const std::int16_t*& samples,
                                                            double (&z)[kFilterTaps], int ch) {
    double* x = x_[ch];
    const int off = off_[ch];
    // The newest sample lands at the lowest index.
    for (int i = 0; i < 32; ++i)
        x[off + 31 - i] = samples[i] / 32768.0;
    samples += 32;
    const double* c = tables::kAnalysisWindow;
    const int wrap = kFilterTaps - off;  // z[i] reads x[off + i] up to the end, then from 0
    for (int i = 0; i < wrap; ++i)
        z[i] = x[off + i] * c[i];
    for (int i = wrap; i < kFilterTaps; ++i)
        z[i] = x[off + i - kFilterTaps] * c[i];
    off_[ch] = (off + kFilterTaps - 32) % kFilterTaps;
}

VELTO_VECTOR_KERNEL void CAnalysisFilterbank::FilterSubband(const double (&z)[kFilterTaps],
                                                            double (&s)[kSubbands]) const {
    double y[64];
    for (int i = 0; i < 64; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 8; ++j)
            sum += z[i + 64 * j];
        y[i] = sum;
    }
    // Every subband sums its 64 products in the same order as a row-by-row product would;
    // running the subbands side by side lets the compiler use vector registers without
    // changing a bit of the result.
    double sum[kSubbands] = {};
    for (int i = 0; i < 64; ++i)
        for (int k = 0; k < kSubbands; ++k)
            sum[k] += mt_[i][k] * y[i];
    for (int k = 0; k < kSubbands; ++k)
        s[k] = sum[k];
}

}  // namespace layer3
