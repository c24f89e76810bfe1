#include "layer3/psy_model.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "layer3/vector_kernels.h"

#include "platform/fatal_error.h"

namespace layer3 {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kGranule = 576;
constexpr int kKeep = 768;                   // samples of history kept in front of the new ones
constexpr int kPredictedLongLines = 6;       // lines 0..5 are predicted from the long spectrum
constexpr int kPredictedEnd = 206;           // lines 6..205 from the short spectra, 206.. get 0.4
constexpr int kPredictedShortLines = 52;     // the short lines those use: (202 + 2) / 4 = 51 at most
constexpr double kDbToNeper = 0.2302585093;  // ln(10) / 10

enum BlockType { kNormal = 0, kStart = 1, kShort = 2, kStop = 3 };

// The direction predicted from two earlier ones: phase 2 * phi1 - phi2, as the product
// u1 * u1 * conj(u2).
UnitPhasor PredictedDirection(UnitPhasor u1, UnitPhasor u2) {
    const double sqRe = u1.re * u1.re - u1.im * u1.im, sqIm = 2.0 * u1.re * u1.im;
    return {sqRe * u2.re + sqIm * u2.im, sqIm * u2.re - sqRe * u2.im};
}

// Unpredictability of a line from its magnitude and direction and their predictions.
double Unpredictable(double r, UnitPhasor u, double rPred, UnitPhasor uPred) {
    const double den = r + std::fabs(rPred);
    if (den == 0.0) return 0.0;
    const double dr = r * u.re - rPred * uPred.re;
    const double di = r * u.im - rPred * uPred.im;
    return std::sqrt(dr * dr + di * di) / den;
}

// Weighted sum over the partitions bu..bo of a band: bu and bo count with their weights.
double BandSum(const double* v, int bu, int bo, double w1, double w2) {
    double sum = w1 * v[bu] + w2 * v[bo];
    for (int b = bu + 1; b < bo; ++b)
        sum += v[b];
    return sum;
}

}  // namespace

// A row of the spreading function reaches a run of partitions around its own and is exactly 0
// elsewhere. Adding a 0 product leaves a sum of non-negative energies as it is, so the sums
// need only run over the nonzero entries: the same additions in the same order.
void CPsychoModel::FindSpreadingRanges(const double (&s3)[kMaxPartitions][kMaxPartitions], int n,
                                       SpreadRange (&ranges)[kMaxPartitions]) {
    for (int b = 0; b < kMaxPartitions; ++b) {
        int first = 0, end = 0;
        for (int k = 0; k < n && b < n; ++k)
            if (s3[b][k] != 0.0) {
                if (end == 0) first = k;
                end = k + 1;
            }
        ranges[b] = {first, end};
    }
}

CPsychoModel::CPsychoModel() {
    Setup(44100);
}

void CPsychoModel::Setup(int samplingFrequency) {
    if (samplingFrequency != 32000 && samplingFrequency != 44100 && samplingFrequency != 48000)
        platform::FatalError("[Psycho], invalid sampling frequency");
    for (int i = 0; i < 1024; ++i)
        window_[i] = 0.5 * (1.0 - std::cos(2.0 * kPi * (i - 0.5) / 1024.0));
    for (int i = 0; i < 256; ++i)
        window_s_[i] = 0.5 * (1.0 - std::cos(2.0 * kPi * (i - 0.5) / 256.0));
    std::fill(&r_[0][0][0], &r_[0][0][0] + sizeof r_ / sizeof(float), 0.0f);
    std::fill(&u_sav_[0][0][0], &u_sav_[0][0][0] + sizeof u_sav_ / sizeof(UnitPhasor), UnitPhasor{});
    new_ = 0;
    old_ = 1;
    oldest_ = 0;
    // Nothing of the previous file may shape this one: its last block type or thresholds
    // would change the first granules of the next file in a batch.
    std::fill(&nb_1_[0][0], &nb_1_[0][0] + sizeof nb_1_ / sizeof(double), 0.0);
    std::fill(&nb_2_[0][0], &nb_2_[0][0] + sizeof nb_2_ / sizeof(double), 0.0);
    std::fill(std::begin(blocktype_old_), std::end(blocktype_old_), 0);
    std::fill(&ratio_[0][0], &ratio_[0][0] + sizeof ratio_ / sizeof(double), 0.0);
    std::fill(&ratio_s_[0][0][0], &ratio_s_[0][0][0] + sizeof ratio_s_ / sizeof(double), 0.0);
    tables_.Parse(samplingFrequency);
    FindSpreadingRanges(tables_.s3_l, tables_.npart_l, spread_l_);
    FindSpreadingRanges(tables_.s3_s, tables_.npart_s, spread_s_);
    for (int g = 0; g < kRowGroups; ++g) {
        int first = kMaxPartitions, end = 0;
        for (int b = 4 * g; b < std::min(4 * g + 4, tables_.npart_l); ++b) {
            if (spread_l_[b].end == 0) continue;
            first = std::min(first, spread_l_[b].first);
            end = std::max(end, spread_l_[b].end);
        }
        groupSpread_l_[g] = end > 0 ? SpreadRange{first, end} : SpreadRange{0, 0};
    }
    for (int k = 0; k < kMaxPartitions; ++k)
        for (int b = 0; b < 4 * kRowGroups; ++b)
            s3Columns_l_[k][b] = b < tables_.npart_l && k < tables_.npart_l ? tables_.s3_l[b][k] : 0.0;
    for (int b = 0; b < kMaxPartitions; ++b) {
        noiseFactor_[b] = std::exp(-SignalToNoise(b, 0.0) * kDbToNeper);
        toneFactor_[b] = std::exp(-SignalToNoise(b, 1.0) * kDbToNeper);
        shortFactor_[b] = std::exp(tables_.SNR_s[b] * kDbToNeper);
    }
}

void CPsychoModel::RotateGenerations() {
    if (new_ == 1) {
        new_ = 0;
        old_ = 1;
        oldest_ = 0;
    } else {
        new_ = 1;
        old_ = 0;
        oldest_ = 1;
    }
}

void CPsychoModel::LongSpectrum(const std::int16_t (&history)[kPsyHistory]) {
    for (int i = 0; i < 1024; ++i)
        fftIn_[i] = float(window_[i] * history[i]);
    fftLong_.Transform(fftIn_, energy_, direction_, kPredictedLongLines);
}

void CPsychoModel::ShortSpectra(const std::int16_t (&history)[kPsyHistory]) {
    for (int b = 0; b < 3; ++b) {
        const std::int16_t* start = history + 256 + 128 * b;
        for (int i = 0; i < 256; ++i)
            fftIn_s_[i] = float(window_s_[i] * start[i]);
        fftShort_[b].Transform(fftIn_s_, energy_s_[b], direction_s_[b], kPredictedShortLines,
                               kPredictedShortLines);
    }
}

void CPsychoModel::ComputeUnpredictability(int ch) {
    // Lines 0..5: predicted from the two previous granules. The oldest slot is read before
    // the new values overwrite it.
    for (int k = 0; k < kPredictedLongLines; ++k) {
        const double rPred = 2.0 * r_[ch][old_][k] - r_[ch][oldest_][k];
        const UnitPhasor uPred = PredictedDirection(u_sav_[ch][old_][k], u_sav_[ch][oldest_][k]);
        const double r = std::sqrt(energy_[k]);
        const UnitPhasor u = direction_[k];
        r_[ch][new_][k] = float(r);
        u_sav_[ch][new_][k] = u;
        c_[k] = Unpredictable(r, u, rPred, uPred);
    }
    // Lines 6..205: the middle short window predicted from the first and last.
    for (int j = kPredictedLongLines; j < kPredictedEnd - 3; j += 4) {
        const int k = (j + 2) / 4;
        const double r = std::sqrt(energy_s_[1][k]);
        const double rPred = 2.0 * std::sqrt(energy_s_[0][k]) - std::sqrt(energy_s_[2][k]);
        const UnitPhasor uPred = PredictedDirection(direction_s_[0][k], direction_s_[2][k]);
        c_[j] = c_[j + 1] = c_[j + 2] = c_[j + 3] = Unpredictable(r, direction_s_[1][k], rPred, uPred);
    }
    for (int k = kPredictedEnd; k < kLongFftLines; ++k)
        c_[k] = 0.4;
}

// The tonality of a partition from its weighted unpredictability, clamped to 0 (noise) and 1
// (tone), sets the threshold's distance below the spread energy. A ratio at or above 0.51 gives
// a value below 0 and one at or below 0.045 a value above 1 by a wide margin, so those clamp
// without the logarithm, and their factors are the ones Setup worked out with the same
// expression.
double CPsychoModel::ThresholdFactor(int b, double ratio) const {
    if (ratio >= 0.51) return noiseFactor_[b];
    if (ratio <= 0.045) return toneFactor_[b];
    const double tbb = std::clamp(-0.299 - 0.43 * std::log(ratio), 0.0, 1.0);
    return std::exp(-SignalToNoise(b, tbb) * kDbToNeper);
}

double CPsychoModel::SignalToNoise(int b, double tbb) const {
    return std::max(tables_.minval[b], 29.0 * tbb + 6.0 * (1.0 - tbb));
}

double CPsychoModel::Thresholds(int ch) {
    const CPsyTables& t = tables_;
    const int n = t.npart_l;
    std::fill(eb_, eb_ + kMaxPartitions, 0.0);
    std::fill(cb_, cb_ + kMaxPartitions, 0.0);
    // A partition's lines lie side by side: its sums stay in registers while its lines last,
    // added in the same order as into the arrays.
    int current = -1;
    double e = 0.0, weighted = 0.0;
    for (int k = 0; k < kLongFftLines; ++k) {
        const int b = t.partition_l[k];
        if (b < 0) continue;
        if (b != current) {
            if (current >= 0) eb_[current] = e, cb_[current] = weighted;
            current = b, e = eb_[b], weighted = cb_[b];
        }
        e += energy_[k];
        weighted += c_[k] * energy_[k];
    }
    if (current >= 0) eb_[current] = e, cb_[current] = weighted;
    double spreadEnergy[4 * kRowGroups], spreadWeighted[4 * kRowGroups];
    SpreadLong(spreadEnergy, spreadWeighted);
    double pe = 0.0;
    for (int b = 0; b < n; ++b) {
        const double ecb = spreadEnergy[b], ct = spreadWeighted[b];
        const double nb = ecb * t.norm_l[b] * ThresholdFactor(b, ecb != 0.0 ? std::max(ct / ecb, 0.01) : 1.0);
        // Pre-echo control: a threshold may not jump far above those of the last two granules.
        thr_[b] = std::max(t.qthr_l[b], std::min({nb, 2.0 * nb_1_[ch][b], 16.0 * nb_2_[ch][b]}));
        nb_2_[ch][b] = nb_1_[ch][b];
        nb_1_[ch][b] = nb;
        // A threshold at or above the energy gives a logarithm of at least 0: the term is 0.
        if (thr_[b] < eb_[b])
            pe -= t.numlines_l[b] * std::min(0.0, std::log((thr_[b] + 1.0) / (eb_[b] + 1.0)));
    }
    return pe;
}

// Four rows side by side over the union of their ranges: within it, a row's entries outside
// its own range are 0, and adding a 0 product to a sum of non-negative energies leaves it as
// it is, so every row's sums are the ones its own range gives, added in the same order.
VELTO_VECTOR_KERNEL void CPsychoModel::SpreadLong(double (&ecb)[4 * kRowGroups],
                                                  double (&ct)[4 * kRowGroups]) const {
    using Doubles4 = double __attribute__((vector_size(32)));
    for (int g = 0; g < kRowGroups; ++g) {
        Doubles4 energy = {}, weighted = {};
        for (int k = groupSpread_l_[g].first; k < groupSpread_l_[g].end; ++k) {
            Doubles4 s3;
            std::memcpy(&s3, &s3Columns_l_[k][4 * g], sizeof s3);
            energy += s3 * eb_[k];
            weighted += s3 * cb_[k];
        }
        std::memcpy(&ecb[4 * g], &energy, sizeof energy);
        std::memcpy(&ct[4 * g], &weighted, sizeof weighted);
    }
}

void CPsychoModel::LongRatios(int ch) {
    const CPsyTables& t = tables_;
    for (int sb = 0; sb < kLongBands; ++sb) {
        const double en = BandSum(eb_, t.bu_l[sb], t.bo_l[sb], t.w1_l[sb], t.w2_l[sb]);
        const double thm = BandSum(thr_, t.bu_l[sb], t.bo_l[sb], t.w1_l[sb], t.w2_l[sb]);
        ratio_[ch][sb] = en != 0.0 ? thm / en : 0.0;
    }
}

void CPsychoModel::ShortRatios(int ch) {
    const CPsyTables& t = tables_;
    const int n = t.npart_s;
    double eb[kMaxPartitions], thr[kMaxPartitions];
    for (int w = 0; w < kShortWindows; ++w)
        fftShort_[w].CompleteEnergies(energy_s_[w]);
    for (int w = 0; w < kShortWindows; ++w) {
        std::fill(eb, eb + kMaxPartitions, 0.0);
        for (int k = 0; k < kShortFftLines; ++k)
            if (t.partition_s[k] >= 0) eb[t.partition_s[k]] += energy_s_[w][k];
        for (int b = 0; b < n; ++b) {
            double ecb = 0.0;
            for (int k = spread_s_[b].first; k < spread_s_[b].end; ++k)
                ecb += t.s3_s[b][k] * eb[k];
            // The table's SNR values are negative: the threshold lies below the spread energy.
            const double nb = ecb * t.norm_s[b] * shortFactor_[b];
            thr[b] = std::max(t.qthr_s[b], nb);
        }
        for (int sb = 0; sb < kShortBands; ++sb) {
            const double en = BandSum(eb, t.bu_s[sb], t.bo_s[sb], t.w1_s[sb], t.w2_s[sb]);
            const double thm = BandSum(thr, t.bu_s[sb], t.bo_s[sb], t.w1_s[sb], t.w2_s[sb]);
            ratio_s_[ch][sb][w] = en != 0.0 ? thm / en : 0.0;
        }
    }
}

// Decides this granule's type and returns the pending one, which leaves the model now: an
// attack upgrades a pending normal to start and a pending stop to short; the first granule
// without an attack after short ones gives short once more, then stop.
int CPsychoModel::DecideBlockType(int ch, double pe) {
    int& pending = blocktype_old_[ch];
    int blocktype;
    if (pe >= kAttackEntropy) {
        blocktype = kShort;
        if (pending == kNormal)
            pending = kStart;
        else if (pending == kStop)
            pending = kShort;
        ShortRatios(ch);
    } else {
        if (pending == kStart) platform::FatalError("Error in block selecting\n");
        blocktype = pending == kShort ? kStop : kNormal;
        LongRatios(ch);
    }
    const int leaving = pending;
    pending = blocktype;
    return leaving;
}

void CPsychoModel::Analyse(int ch, const std::int16_t* samples, std::int16_t (&history)[kPsyHistory],
                           double (&ratio_l)[kLongBands], double (&ratio_s)[kShortBands][kShortWindows],
                           double& pe, GranuleInfo& gi) {
    if (ch == 0) RotateGenerations();
    std::copy(history + kGranule, history + kPsyHistory, history);
    std::copy(samples, samples + kGranule, history + kKeep);
    LongSpectrum(history);
    ShortSpectra(history);
    ComputeUnpredictability(ch);
    const double entropy = Thresholds(ch);
    const int type = DecideBlockType(ch, entropy);
    gi.block_type = std::uint32_t(type);
    gi.window_switching_flag = type != kNormal ? 1u : 0u;
    gi.mixed_block_flag = 0;
    std::copy(&ratio_[ch][0], &ratio_[ch][0] + kLongBands, ratio_l);
    std::copy(&ratio_s_[ch][0][0], &ratio_s_[ch][0][0] + kShortBands * kShortWindows, &ratio_s[0][0]);
    pe = entropy;
}

}  // namespace layer3
