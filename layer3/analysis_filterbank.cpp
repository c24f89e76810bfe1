#include "layer3/analysis_filterbank.h"

#include <cmath>
#include <cstring>

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
    foldable_ = CheckSymmetries();
    rowsPair_ = foldable_ && CheckRowSymmetry();
    // Folded column j < 17 is column j (paired with 32 - j), j >= 17 is column 16 + j (paired
    // with 80 - j).
    for (int j = 0; j < kFolded; ++j)
        for (int i = 0; i < kSubbands; ++i)
            folded_[j][i] = m_[i][j < 17 ? j : 16 + j];
    Reset();
}

bool CAnalysisFilterbank::CheckSymmetries() const {
    for (int i = 0; i < kSubbands; ++i) {
        for (int k = 0; k <= 16; ++k)
            if (m_[i][k] != m_[i][32 - k]) return false;
        for (int k = 33; k < 48; ++k)
            if (m_[i][k] != -m_[i][96 - k]) return false;
        if (m_[i][48] != 0.0) return false;
    }
    return true;
}

bool CAnalysisFilterbank::CheckRowSymmetry() const {
    for (int i = 0; i < kSubbands / 2; ++i)
        for (int k = 0; k < 64; ++k)
            if (m_[kSubbands - 1 - i][k] != (k % 2 == 0 ? m_[i][k] : -m_[i][k])) return false;
    return true;
}

void CAnalysisFilterbank::Reset() {
    for (auto& channel : x_)
        for (double& v : channel)
            v = 0.0;
    off_[0] = off_[1] = 0;
}

int CAnalysisFilterbank::TakeSamples(const std::int16_t*& samples, int ch) {
    double* x = x_[ch];
    const int off = off_[ch];
    // The newest sample lands at the lowest index.
    for (int i = 0; i < 32; ++i)
        x[off + 31 - i] = x[off + 31 - i + kFilterTaps] = samples[i] / 32768.0;
    samples += 32;
    off_[ch] = (off + kFilterTaps - 32) % kFilterTaps;
    return off;
}

VELTO_VECTOR_KERNEL void CAnalysisFilterbank::WindowSubband(const std::int16_t*& samples,
                                                            double (&z)[kFilterTaps], int ch) {
    const double* x = x_[ch] + TakeSamples(samples, ch);
    const double* c = tables::kAnalysisWindow;
    for (int i = 0; i < kFilterTaps; ++i)
        z[i] = x[i] * c[i];
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
    Matrixing(y, s);
}

VELTO_VECTOR_KERNEL void CAnalysisFilterbank::AnalyseSubbands(const std::int16_t*& samples,
                                                              double (&s)[kSubbands], int ch) {
    const double* x = x_[ch] + TakeSamples(samples, ch);
    const double* c = tables::kAnalysisWindow;
    double y[64];
    for (int i = 0; i < 64; ++i) {
        double sum = 0.0;
        for (int j = 0; j < 8; ++j)
            sum += x[i + 64 * j] * c[i + 64 * j];
        y[i] = sum;
    }
    Matrixing(y, s);
}

VELTO_VECTOR_KERNEL void CAnalysisFilterbank::Matrixing(const double (&y)[64], double (&s)[kSubbands]) const {
    double sum[kSubbands] = {};
    if (foldable_) {
        double folded[kFolded];
        folded[0] = y[0] + y[32];
        for (int k = 1; k < 16; ++k)
            folded[k] = y[k] + y[32 - k];
        folded[16] = y[16];
        for (int k = 33; k < 48; ++k)
            folded[k - 16] = y[k] - y[96 - k];
        if (rowsPair_) {
            PairedRows(folded, s);
            return;
        }
        // The subbands side by side: the compiler keeps them in vector registers.
        for (int j = 0; j < kFolded; ++j)
            for (int k = 0; k < kSubbands; ++k)
                sum[k] += folded_[j][k] * folded[j];
    } else {
        for (int i = 0; i < 64; ++i)
            for (int k = 0; k < kSubbands; ++k)
                sum[k] += mt_[i][k] * y[i];
    }
    for (int k = 0; k < kSubbands; ++k)
        s[k] = sum[k];
}

// Folded column j is column j or 16 + j of the table, of the same parity as j.
VELTO_VECTOR_KERNEL void CAnalysisFilterbank::PairedRows(const double (&folded)[kFolded],
                                                         double (&s)[kSubbands]) const {
    using Doubles4 = double __attribute__((vector_size(32)));
    Doubles4 even[4] = {}, odd[4] = {};
    for (int j = 0; j < kFolded; j += 2) {
        const double fe = folded[j], fo = folded[j + 1];
        for (int g = 0; g < 4; ++g) {
            Doubles4 ce, co;
            std::memcpy(&ce, &folded_[j][4 * g], sizeof ce);
            std::memcpy(&co, &folded_[j + 1][4 * g], sizeof co);
            even[g] += ce * fe;
            odd[g] += co * fo;
        }
    }
    for (int g = 0; g < 4; ++g) {
        const Doubles4 low = even[g] + odd[g], high = even[g] - odd[g];
        std::memcpy(&s[4 * g], &low, sizeof low);
        for (int l = 0; l < 4; ++l)
            s[kSubbands - 1 - (4 * g + l)] = high[l];
    }
}

}  // namespace layer3
