#include "layer3/quantizer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

#include "job/encoding_settings.h"
#include "layer3/frame_formatter.h"
#include "layer3/huffman_count.h"
#include "layer3/vector_kernels.h"
#include "platform/fatal_error.h"

namespace layer3 {

namespace {

constexpr int kScfsiGroupStart[5] = {0, 6, 11, 16, 21};
constexpr int kInnerHistory = 512;
constexpr double kMaxStepSize = 255 - 210;

double RoundHalfAway(double v) {
    return v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5);
}

bool IsLong(const GranuleInfo& gi) {
    return !IsShortBlock(gi);
}

int ScfsiGroupOf(int sb) {
    for (int g = 0; g < 4; ++g)
        if (sb < kScfsiGroupStart[g + 1]) return g;
    return 3;
}

bool AnyScfsi(const SideInfo& side, int ch) {
    return side.scfsi[ch][0] || side.scfsi[ch][1] || side.scfsi[ch][2] || side.scfsi[ch][3];
}

// log2 truncated toward zero, 0 for a zero argument. A normal value 1.m times 2^e that is not a
// power of two lies strictly between e and e + 1 in log2, so the truncation is e, or e + 1 for
// e < 0. Within 2^-40 of a power of two the logarithm as computed could round onto the whole
// number, so there, and for powers of two and values that are not normal, it is computed.
int TruncatedLog2(double v) {
    if (!(v > 0)) return 0;
    constexpr std::uint64_t kMantissa = (std::uint64_t{1} << 52) - 1, kNear = std::uint64_t{1} << 12;
    const auto bits = std::bit_cast<std::uint64_t>(v);
    const auto biased = static_cast<int>(bits >> 52);
    const std::uint64_t mantissa = bits & kMantissa;
    if (biased == 0 || biased == 2047 || mantissa < kNear || mantissa > kMantissa - kNear)
        return static_cast<int>(std::log2(v));
    const int e = biased - 1023;
    return e >= 0 ? e : e + 1;
}

}  // namespace

namespace {

// 8 ln(flatness) of the lines from the sum of their logarithms s1 and of their squares s2;
// the flatness is the geometric mean of the squares over their arithmetic mean.
double FlatnessMeasure(double s1, double s2) {
    return 8 * std::log(std::exp(s1 / 576.0) / (s2 / 576.0));
}

double FlatnessEstimate(double measure) {
    return std::max(RoundHalfAway(measure), -100.0) - 70;
}

// The sum over the nonzero lines of ln(v * v), as one logarithm of a product: the squared
// mantissas multiply and the exponents add, which spares a logarithm per line. Sixteen products
// run side by side, each brought back to [0.5, 1) after every run of 64 lines (four squared
// mantissas a lane, each at least 0.25). False where a square would leave the normal range, or
// a line is negative; the caller then takes the logarithms one by one.
VELTO_VECTOR_KERNEL bool SumOfLogSquares(const double (&v)[kGranuleLines], double& sum) {
    using Doubles4 = double __attribute__((vector_size(32)));
    using Bits4 = unsigned long long __attribute__((vector_size(32)));
    using Counts4 = long long __attribute__((vector_size(32)));
    constexpr std::uint64_t kMantissa = (std::uint64_t{1} << 52) - 1,
                            kHalfExponent = std::uint64_t{1022} << 52;
    constexpr int kVectors = 4, kLanes = 4 * kVectors, kRun = 64;
    static_assert(kGranuleLines % kRun == 0 && kRun % kLanes == 0);
    // A positive value is its mantissa in [0.5, 1) times 2 to its exponent.
    Doubles4 product[kVectors];
    Counts4 exponents[kVectors] = {};
    for (Doubles4& p : product)
        p = Doubles4{} + 1.0;
    Counts4 outOfRange = {};
    for (int start = 0; start < kGranuleLines; start += kRun) {
        for (int i = start; i < start + kRun; i += kLanes)
            for (int u = 0; u < kVectors; ++u) {
                Doubles4 x;
                std::memcpy(&x, &v[i + 4 * u], sizeof x);
                const Counts4 zero = x == 0.0;
                outOfRange |= ~zero & ~((x >= 1e-150) & (x <= 1e150));
                Bits4 bits;
                std::memcpy(&bits, &x, sizeof bits);
                const Bits4 mantissaBits = (bits & kMantissa) | kHalfExponent, exponentBits = bits >> 52;
                Doubles4 m;
                Counts4 e;
                std::memcpy(&m, &mantissaBits, sizeof m);
                std::memcpy(&e, &exponentBits, sizeof e);
                e -= 1022;
                exponents[u] += zero ? Counts4{} : 2 * e;
                product[u] *= zero ? Doubles4{} + 1.0 : m * m;
            }
        for (int u = 0; u < kVectors; ++u) {
            Bits4 bits;
            std::memcpy(&bits, &product[u], sizeof bits);
            const Bits4 mantissaBits = (bits & kMantissa) | kHalfExponent, exponentBits = bits >> 52;
            Counts4 e;
            std::memcpy(&e, &exponentBits, sizeof e);
            exponents[u] += e - 1022;
            std::memcpy(&product[u], &mantissaBits, sizeof mantissaBits);
        }
    }
    for (int l = 0; l < 4; ++l)
        if (outOfRange[l]) return false;
    double total = 1.0;  // at least 2^-16
    std::int64_t exponent = 0;
    for (int l = 0; l < kLanes; ++l) {
        total *= product[l / 4][l % 4];
        exponent += exponents[l / 4][l % 4];
    }
    sum = std::log(total) + static_cast<double>(exponent) * 0.69314718055994530942;
    return true;
}

// The sum of the squares in four lanes: it differs from the line-by-line sum in its last bits.
VELTO_VECTOR_KERNEL double SumOfSquares(const double (&v)[kGranuleLines]) {
    double lanes[4] = {};
    for (int i = 0; i < kGranuleLines; i += 4)
        for (int l = 0; l < 4; ++l)
            lanes[l] += v[i + l] * v[i + l];
    return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

}  // namespace

// The first step estimate from the spectral flatness. The fast sums of logarithms and of
// squares differ from the line-by-line ones in their last bits only (far below 1e-9), so a
// measure more than 1e-6 away from the rounding edge rounds to the same whole step; nearer the
// edge, and wherever the fast sum does not apply, both sums are taken line by line as always.
// A square that is not 0 leaves either sum above 0.
double CQuantizer::FirstStepEstimate(const double (&v)[kGranuleLines]) {
    const double fastS2 = SumOfSquares(v);
    if (!(fastS2 > 0)) return -70;
    double s1 = 0;
    if (SumOfLogSquares(v, s1) && s1 / 576.0 > -600) {
        const double measure = FlatnessMeasure(s1, fastS2);
        const double fraction = measure - std::floor(measure);
        if (std::isfinite(measure) && std::fabs(fraction - 0.5) > 1e-6) return FlatnessEstimate(measure);
    }
    double s2 = 0;
    for (double x : v)
        if (x != 0.0) s2 += x * x;
    s1 = 0;
    for (double x : v)
        if (x != 0.0) s1 += std::log(x * x);
    return FlatnessEstimate(FlatnessMeasure(s1, s2));
}

double CQuantizer::FirstStepOf(const double (&xr)[kGranuleLines]) {
    double magnitudes[kGranuleLines];
    for (int i = 0; i < kGranuleLines; ++i)
        magnitudes[i] = std::fabs(xr[i]);
    return FirstStepEstimate(magnitudes);
}

CQuantizer::CQuantizer() = default;
CQuantizer::~CQuantizer() = default;

void CQuantizer::Init(EncodingSettings& settings, CBitReservoir& reservoir) {
    settings_ = &settings;
    reservoir_ = &reservoir;
    stereo_ = settings.stereo;
    settings.quantizeCalls = 0;
    ClearWorkingState();
    if (pow43_) return;
    pow43_ = std::make_unique<double[]>(1024);
    for (int i = 0; i < 1024; ++i)
        pow43_[i] = std::pow(static_cast<double>(i), 4.0 / 3.0);
    bound_ = std::make_unique<double[]>(kBoundSize + 1);
    for (int i = 0; i < kBoundSize; ++i)
        bound_[i] = static_cast<float>(std::pow(i + 0.5946, 1.333333333));
    bound_[kBoundSize] = std::numeric_limits<double>::infinity();
    cachedThresholds_ = std::make_unique<StepThresholds[]>(kCachedSteps);
    thresholdsCached_ = std::make_unique<bool[]>(kCachedSteps);
    firstIndex_ = std::make_unique<int[]>(kFirstIndexSize);
    int i = 0;
    for (int j = 0; j < kFirstIndexSize; ++j) {
        while (i<kBoundSize&& static_cast<float>(j)> bound_[i])
            ++i;
        firstIndex_[j] = i;
    }
}

void CQuantizer::ClearWorkingState() {
    std::fill(std::begin(xr_work_), std::end(xr_work_), 0.0);
    std::fill(std::begin(suffixMax_), std::end(suffixMax_), 0.0);
    reusable_ = false;
    reusableStepSize_ = 0;
    amplifiedBands_ = 0;
    l3_xmin_ = {};
    xfsf_ = {};
    kept_ = {};
}

double CQuantizer::LargePow43(int value) const {
    // Values of 1024 and more are common in loud passages at high bit rates: computed
    // directly, without a word to the terminal.
    return std::pow(static_cast<double>(value), 4.0 / 3.0);
}

void CQuantizer::IterationLoop(const double (&pe)[kMaxGranules][kMaxChannels], const Spectrum& xr,
                               const MaskingRatios& ratios, SideInfo& side, QuantizedValues& l3_enc,
                               int meanBits, FrameScaleFactors& scalefac, const FirstSteps* firstSteps,
                               const FramePreparation* prepared, const FirstTrials* firstTrials) {
    EncodingSettings& s = *settings_;
    bands_ = &tables::kScalefactorBands[s.samplingFrequencyIndex];
    stereo_ = s.stereo;
    FramePreparation local;
    if (prepared == nullptr) {
        PrepareFrame(xr, ratios, side, local);
        prepared = &local;
    }
    side.reservoirDrain = 0;
    reservoir_->FrameBegin(meanBits, s.bitsPerFrame, s);
    for (int ch = 0; ch < kMaxChannels; ++ch)
        std::fill(std::begin(side.scfsi[ch]), std::end(side.scfsi[ch]), 0);
    for (int gr = 0; gr < s.granulesPerFrame; ++gr)
        for (int ch = 0; ch < stereo_; ++ch)
            QuantizeGranule(gr, ch, xr, *prepared, side, l3_enc, meanBits, pe, scalefac, firstSteps,
                            firstTrials ? &(*firstTrials)[gr][ch] : nullptr);
    reservoir_->FrameEnd(side, meanBits, s, stereo_);
}

void CQuantizer::QuantizeGranule(int gr, int ch, const Spectrum& xr, const FramePreparation& prepared,
                                 SideInfo& side, QuantizedValues& l3_enc, int meanBits,
                                 const double (&pe)[kMaxGranules][kMaxChannels], FrameScaleFactors& scalefac,
                                 const FirstSteps* firstSteps, const FirstTrial* firstTrial) {
    GranuleInfo& gi = side.gr[gr][ch];
    const double* x = xr[gr][ch];
    reusable_ = false;
    // The loops work on magnitudes; the formatter takes the signs from xr.
    for (int i = 0; i < kGranuleLines; ++i)
        xr_work_[i] = std::fabs(x[i]);
    if (IsLong(gi)) {
        gi.sfb_lmax = kLongBands, gi.sfb_smax = kShortBands;
    } else if (gi.mixed_block_flag) {
        gi.sfb_lmax = 8, gi.sfb_smax = 3;
    } else {
        gi.sfb_lmax = 0, gi.sfb_smax = 0;
    }
    l3_xmin_ = prepared.allowed[gr][ch];
    if (gr == 1) std::copy(std::begin(prepared.scfsi[ch]), std::end(prepared.scfsi[ch]), side.scfsi[ch]);
    const int maxBits = reservoir_->MaxBits(pe[gr][ch], meanBits, stereo_);

    ScaleFactors& sf = scalefac.sf[gr][ch];
    sf = ScaleFactors{};
    gi.part2_3_length = gi.big_values = gi.count1 = gi.scalefac_compress = 0;
    std::fill(std::begin(gi.table_select), std::end(gi.table_select), 0u);
    std::fill(std::begin(gi.subblock_gain), std::end(gi.subblock_gain), 0);
    gi.region0_count = gi.region1_count = gi.part2_length = gi.preflag = gi.count1table_select = 0;
    std::fill(std::begin(gi.slen), std::end(gi.slen), 0u);
    gi.quantizerStepSize = 0.0;
    gi.scalefac_scale = 1;
    std::fill(std::begin(l3_enc[gr][ch]), std::end(l3_enc[gr][ch]), 0);

    const bool nonZero =
        std::any_of(std::begin(xr_work_), std::end(xr_work_), [](double v) { return v != 0.0; });
    if (nonZero) {
        const double estimate = firstSteps ? (*firstSteps)[gr][ch] : FirstStepEstimate(xr_work_);
        // The flatness of a nearly silent granule with a few tiny lines can ask for a step
        // beyond what global_gain carries (255 = 210 + 45); such a granule quantises to
        // zeros at 45 all the same.
        gi.quantizerStepSize = std::clamp(estimate, -120.0, kMaxStepSize);
        if (gr == 1 && AnyScfsi(side, ch)) ApplyGranule0Scalefactors(ch, side, gi, sf, scalefac.sf[0][ch]);
        firstTrial_ = firstTrial != nullptr && firstTrial->valid ? firstTrial : nullptr;
        gi.part2_3_length = static_cast<unsigned>(OuterLoop(gr, ch, side, l3_enc[gr][ch], sf, maxBits));
        firstTrial_ = nullptr;
    }
    reservoir_->Adjust(gi, meanBits, stereo_);
    const double gain = RoundHalfAway(gi.quantizerStepSize + 210.0);
    if (gain < 0 || gain > 255) platform::FatalError("gain>256, program error.");
    gi.global_gain = static_cast<unsigned>(gain);
}

namespace {

// The bands a granule's scalefactors cover: long bands below sfbLmax, short bands from sfbSmax.
void ScalefactorBandsOf(const GranuleInfo& gi, int& sfbLmax, int& sfbSmax) {
    if (IsLong(gi)) {
        sfbLmax = kLongBands, sfbSmax = kShortBands;
    } else if (gi.mixed_block_flag) {
        sfbLmax = 8, sfbSmax = 3;
    } else {
        sfbLmax = 0, sfbSmax = 0;
    }
}

// Granule 1 shares a group of scalefactors with granule 0 where the two granules' band
// energies and allowed distortions (as whole powers of two) differ little.
void ShareScalefactors(const int (&en)[2][kLongBands], const int (&xm)[2][kLongBands], int (&scfsi)[4]) {
    int total = 0;
    for (int sb = 0; sb < kLongBands; ++sb)
        total += std::abs(en[0][sb] - en[1][sb]);
    if (total >= 100) return;
    for (int g = 0; g < 4; ++g) {
        int sumEn = 0, sumXm = 0;
        for (int sb = kScfsiGroupStart[g]; sb < kScfsiGroupStart[g + 1]; ++sb) {
            sumEn += std::abs(en[0][sb] - en[1][sb]);
            sumXm += std::abs(xm[0][sb] - xm[1][sb]);
        }
        scfsi[g] = sumEn <= 9 && sumXm <= 9 ? 1 : 0;
    }
}

}  // namespace

void CQuantizer::PrepareFrame(const Spectrum& xr, const MaskingRatios& ratios, const SideInfo& blocks,
                              FramePreparation& out) const {
    const EncodingSettings& s = *settings_;
    const tables::ScalefactorBandBoundaries& bands = tables::kScalefactorBands[s.samplingFrequencyIndex];
    const int granules = s.granulesPerFrame, channels = s.stereo;
    std::memset(out.scfsi, 0, sizeof out.scfsi);
    for (int ch = 0; ch < channels; ++ch) {
        int en[2][kLongBands] = {}, xm[2][kLongBands] = {};
        bool silent = false, anyShort = false;
        for (int gr = 0; gr < granules; ++gr) {
            const GranuleInfo& gi = blocks.gr[gr][ch];
            const double* x = xr[gr][ch];
            Allowed& allowed = out.allowed[gr][ch];
            int sfbLmax = 0, sfbSmax = 0;
            ScalefactorBandsOf(gi, sfbLmax, sfbSmax);
            for (int sb = 0; sb < sfbLmax; ++sb) {
                const int start = bands.l[sb], end = bands.l[sb + 1];
                double energy = 0;
                for (int i = start; i < end; ++i)
                    energy += x[i] * x[i];
                allowed.l[sb] = ratios.l[gr][ch][sb] * energy / (end - start);
                en[gr][sb] = TruncatedLog2(energy);
                xm[gr][sb] = TruncatedLog2(allowed.l[sb]);
            }
            for (int sb = sfbSmax; sb < kShortBands; ++sb) {
                const int start = bands.s[sb], end = bands.s[sb + 1];
                for (int w = 0; w < kShortWindows; ++w) {
                    double energy = 0;
                    for (int k = start; k < end; ++k)
                        energy += x[3 * k + w] * x[3 * k + w];
                    allowed.s[sb][w] = ratios.s[gr][ch][sb][w] * energy / (end - start);
                }
            }
            anyShort = anyShort || !IsLong(gi);
            silent = silent || std::all_of(x, x + kGranuleLines, [](double v) { return v == 0.0; });
        }
        if (granules == 2 && !silent && !anyShort) ShareScalefactors(en, xm, out.scfsi[ch]);
    }
}

// A granule 1 whose scalefactor groups are shared with granule 0 is decoded with granule 0's
// scalefactors and pre-emphasis, so its values must be quantised as amplified by them from
// the first pass on; otherwise those bands would decode too quiet.
void CQuantizer::ApplyGranule0Scalefactors(int ch, const SideInfo& side, GranuleInfo& gi, ScaleFactors& sf,
                                           const ScaleFactors& sf0) {
    const GranuleInfo& gi0 = side.gr[0][ch];
    const double ifqstep = std::pow(2.0, (1 + gi0.scalefac_scale) / 2.0);
    gi.preflag = gi0.preflag;
    for (int sb = 0; sb < kLongBands; ++sb) {
        int amplification = gi.preflag ? tables::kPretab[sb] : 0;
        if (side.scfsi[ch][ScfsiGroupOf(sb)]) {
            sf.l[sb] = sf0.l[sb];
            amplification += sf.l[sb];
        }
        if (amplification == 0) continue;
        const double factor = std::pow(ifqstep, amplification);
        AmplifyLongBand(sb, factor);
        l3_xmin_.l[sb] *= factor * factor;
    }
}

void CQuantizer::AmplifyLongBand(int sb, double factor) {
    for (int i = bands_->l[sb]; i < bands_->l[sb + 1]; ++i)
        xr_work_[i] *= factor;
    amplifiedBands_ |= 1u << sb;
}

int CQuantizer::OuterLoop(int gr, int ch, SideInfo& side, int (&ix)[kGranuleLines], ScaleFactors& sf,
                          int maxBits) {
    GranuleInfo& gi = side.gr[gr][ch];
    const int mode = settings_->EncodingMode;
    double bestAudible = 1e9, bestTotal = 1e9;
    int bestOver = 100;
    bool keptAny = false;
    Snapshot last;
    int bits = 0;
    int pass = 0;
    for (;; ++pass) {
        gi.part2_length = static_cast<unsigned>(ScalefactorBits(gi, side.scfsi[ch], gr));
        bits = InnerLoop(gi, ix, maxBits - static_cast<int>(gi.part2_length));
        MeasureDistortion(gi, ix);
        last = {sf, gi.scalefac_compress, gi.preflag};
        PreEmphasis(gr, ch, side, gi, side.gr[0][ch]);
        double audible = 0, total = 0;
        const int over = Amplify(gr, ch, side, gi, sf, audible, total);
        if (observer_)
            observer_({gr, ch, pass, over, audible, total, gi.quantizerStepSize, bits, maxBits, last.sf,
                       last.scalefac_compress, last.preflag});
        bool keep = false;
        switch (mode) {
            case 1:
                keep = audible < bestAudible;
                break;
            case 2:
                keep = over <= bestOver;
                break;
            case 3:
                keep = total < bestTotal;
                break;
            default:
                break;
        }
        if (mode != 0 && (keep || !keptAny)) {
            keptAny = true;
            bestAudible = audible, bestOver = over, bestTotal = total;
            kept_.snapshot = last;
            kept_.stepSize = gi.quantizerStepSize;
            std::memcpy(kept_.ix, ix, sizeof kept_.ix);
            kept_.bits = bits;
        }
        if (AllScalefactorsAmplified(gi, sf)) break;
        if (!ChooseScalefacCompress(gi, sf)) break;
        // Scalefactors that would leave the granule no bits at all (short blocks at the
        // lowest rates) end the search as scalefactors that fit no compression do.
        if (ScalefactorBits(gi, side.scfsi[ch], gr) > maxBits) break;
        if (over == 0) break;
        if (pass == kMaxOuterPasses - 1) break;
    }
    if (mode == 0) {
        sf = last.sf;
        gi.scalefac_compress = last.scalefac_compress;
        gi.preflag = last.preflag;
    } else {
        sf = kept_.snapshot.sf;
        gi.scalefac_compress = kept_.snapshot.scalefac_compress;
        gi.preflag = kept_.snapshot.preflag;
        gi.quantizerStepSize = kept_.stepSize;
        std::memcpy(ix, kept_.ix, sizeof kept_.ix);
        bits = kept_.bits;
        // The region division and tables must describe the restored values; their bit
        // totals are those the kept pass counted.
        ChooseTablesAndCountBits(ix, gi, *bands_);
    }
    gi.part2_length = static_cast<unsigned>(ScalefactorBits(gi, side.scfsi[ch], gr));
    return bits + static_cast<int>(gi.part2_length);
}

int CQuantizer::CountBits(GranuleInfo& gi, const int (&ix)[kGranuleLines], int zeroFrom) {
    return ChooseTablesAndCountBits(ix, gi, *bands_, zeroFrom);
}

int CQuantizer::InnerLoop(GranuleInfo& gi, int (&ix)[kGranuleLines], int maxBits) {
    if (maxBits < 0) platform::FatalError("Ehhh !?!, negative compression !?!");
    FindSuffixMaxima();
    const double start = SearchStart();
    if (start > gi.quantizerStepSize) gi.quantizerStepSize = start;
    gi.quantizerStepSize -= 1;
    int inc = 1;
    // The search is a function of (step, increment): a pair seen twice would repeat forever,
    // so the search then ends on the smallest step that fitted.
    double history[kInnerHistory][2];
    int visits = 0;
    double smallestFit = 1e300;
    int bits = 0;
    for (;;) {
        ++settings_->quantizeCalls;
        gi.quantizerStepSize += inc;
        bool repeated = visits >= kInnerHistory;
        for (int v = 0; v < visits && !repeated; ++v)
            repeated = history[v][0] == gi.quantizerStepSize && history[v][1] == inc;
        if (repeated && smallestFit < 1e300) {
            gi.quantizerStepSize = smallestFit;
            return CountBits(gi, ix, Quantize(gi, ix));
        }
        if (visits < kInnerHistory) {
            history[visits][0] = gi.quantizerStepSize;
            history[visits][1] = inc;
            ++visits;
        }
        const int taken = TakeFirstTrial(gi, ix);
        bits = taken >= 0 ? taken : CountBits(gi, ix, Quantize(gi, ix));
        const int excess = bits - maxBits;
        if (excess <= 0) smallestFit = std::min(smallestFit, gi.quantizerStepSize);
        if (excess <= 0 && inc != 1) {
            const int half = std::abs(inc) / 2;
            inc = half ? -half : -1;
            continue;
        }
        inc = excess > 3000 ? 40 : excess > 2000 ? 20 : excess > 500 ? 7 : 1;
        if (excess <= 0) break;
    }
    return bits;
}

// The smallest step at which the largest value stays codable (at most 8206), from the suffix
// maxima. Rounded up: truncating a positive value (a loud band amplified by its scalefactors)
// would give a step too fine for the Huffman tables; for negative values both agree.
double CQuantizer::SearchStart() const {
    return std::ceil(4 * std::log2(suffixMax_[0] * 6.055453420241201e-6));
}

int CQuantizer::TakeFirstTrial(GranuleInfo& gi, int (&ix)[kGranuleLines]) {
    if (firstTrial_ == nullptr) return -1;
    const FirstTrial& trial = *firstTrial_;
    firstTrial_ = nullptr;
    if (trial.stepSize != gi.quantizerStepSize) return -1;
    std::memcpy(ix, trial.ix, sizeof ix);
    const GranuleInfo& counted = trial.counted;
    gi.big_values = counted.big_values, gi.count1 = counted.count1;
    gi.count1table_select = counted.count1table_select;
    gi.region0_count = counted.region0_count, gi.region1_count = counted.region1_count;
    gi.address1 = counted.address1, gi.address2 = counted.address2, gi.address3 = counted.address3;
    std::copy(std::begin(counted.table_select), std::end(counted.table_select), gi.table_select);
    // What Quantize leaves for the next pass.
    reusable_ = IsLong(gi);
    reusableStepSize_ = gi.quantizerStepSize;
    amplifiedBands_ = 0;
    return trial.bits;
}

void CQuantizer::PrepareFirstTrials(const Spectrum& xr, const SideInfo& blocks, const FirstSteps& firstSteps,
                                    const FramePreparation& prepared, FirstTrials& out) {
    const EncodingSettings& s = *settings_;
    bands_ = &tables::kScalefactorBands[s.samplingFrequencyIndex];
    for (int gr = 0; gr < s.granulesPerFrame; ++gr)
        for (int ch = 0; ch < s.stereo; ++ch) {
            FirstTrial& trial = out[gr][ch];
            trial.valid = false;
            const int(&scfsi)[4] = prepared.scfsi[ch];
            if (gr == 1 && (scfsi[0] || scfsi[1] || scfsi[2] || scfsi[3])) continue;
            const double* x = xr[gr][ch];
            for (int i = 0; i < kGranuleLines; ++i)
                xr_work_[i] = std::fabs(x[i]);
            if (std::all_of(std::begin(xr_work_), std::end(xr_work_), [](double v) { return v == 0.0; }))
                continue;
            GranuleInfo gi;
            gi.block_type = blocks.gr[gr][ch].block_type;
            gi.window_switching_flag = blocks.gr[gr][ch].window_switching_flag;
            gi.mixed_block_flag = blocks.gr[gr][ch].mixed_block_flag;
            // As the first pass's search starts: from the clamped estimate, or the step the
            // largest value needs, one step back and one forward.
            FindSuffixMaxima();
            const double start = SearchStart();
            gi.quantizerStepSize = std::clamp(firstSteps[gr][ch], -120.0, kMaxStepSize);
            if (start > gi.quantizerStepSize) gi.quantizerStepSize = start;
            gi.quantizerStepSize -= 1;
            gi.quantizerStepSize += 1;
            reusable_ = false;
            amplifiedBands_ = 0;
            trial.bits = CountBits(gi, trial.ix, Quantize(gi, trial.ix));
            trial.stepSize = gi.quantizerStepSize;
            trial.counted = gi;
            trial.valid = true;
        }
}

// Block by block: the maxima of the blocks need no running chain from line to line. The
// magnitudes are never negative or NaN, so the order of the comparisons cannot matter.
VELTO_VECTOR_KERNEL void CQuantizer::FindSuffixMaxima() {
    using Doubles4 = double __attribute__((vector_size(32)));
    static_assert(kTailBlock == 16);
    double blockMax[kTailBlocks];
    for (int b = 0; b < kTailBlocks; ++b) {
        Doubles4 x0, x1, x2, x3;
        const double* block = xr_work_ + kTailBlock * b;
        std::memcpy(&x0, block, sizeof x0);
        std::memcpy(&x1, block + 4, sizeof x1);
        std::memcpy(&x2, block + 8, sizeof x2);
        std::memcpy(&x3, block + 12, sizeof x3);
        const Doubles4 a = x0 > x1 ? x0 : x1, c = x2 > x3 ? x2 : x3, m = a > c ? a : c;
        blockMax[b] = std::max(std::max(m[0], m[1]), std::max(m[2], m[3]));
    }
    double m = 0;
    for (int b = kTailBlocks - 1; b >= 0; --b) {
        m = std::max(m, blockMax[b]);
        suffixMax_[b] = m;
    }
}

// A magnitude quantises to 0 exactly when magnitude / step is at most the first bound, and
// the rounded quotient never decreases as the magnitude grows; so the blocks from the first
// whose suffix maximum passes that test on are all 0, and a binary search finds it. The
// lines of the block before are then tested from the top down.
int CQuantizer::ZeroTailStart(const StepThresholds& step) const {
    // Below the first threshold is exactly where the quotient is at most the first bound.
    const double zeroBelow = step.above[0];
    int lo = 0, hi = kTailBlocks;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (suffixMax_[mid] < zeroBelow)
            hi = mid;
        else
            lo = mid + 1;
    }
    int line = kTailBlock * lo;
    while (line > 0 && xr_work_[line - 1] < zeroBelow)
        --line;
    return line;
}

int CQuantizer::Quantize(const GranuleInfo& gi, int (&ix)[kGranuleLines]) {
    // An outer pass starts its search at the step the last pass ended on, where ix still holds
    // the values of every band the pass left unamplified: only the amplified bands change.
    const bool reuse = reusable_ && IsLong(gi) && gi.quantizerStepSize == reusableStepSize_;
    reusable_ = IsLong(gi);
    reusableStepSize_ = gi.quantizerStepSize;
    const std::uint32_t amplified = amplifiedBands_;
    amplifiedBands_ = 0;
    const StepThresholds& thresholds = CachedThresholds(gi.quantizerStepSize);
    if (reuse) {
        for (int sb = 0; sb < kLongBands; ++sb)
            if (amplified & (1u << sb)) {
                const int start = bands_->l[sb];
                QuantizeLines(&xr_work_[start], 1, bands_->l[sb + 1] - start, thresholds, &ix[start]);
            }
        // Lines past the zero tail that no band amplified were 0 at this step before.
        return ZeroTailStart(thresholds);
    }
    int longLines = 0, shortFrom = 0;
    if (IsLong(gi)) {
        longLines = ZeroTailStart(thresholds), shortFrom = 192;
    } else if (gi.mixed_block_flag) {
        longLines = 36, shortFrom = 12;
    }
    QuantizeLines(xr_work_, 1, longLines, thresholds, ix);
    for (int i = longLines; i < kGranuleLines; ++i)
        ix[i] = 0;
    for (int w = 0; w < kShortWindows && shortFrom < 192; ++w) {
        QuantizeLines(&xr_work_[3 * shortFrom + w], 3, 192 - shortFrom,
                      CachedThresholds(gi.quantizerStepSize + 8.0 * gi.subblock_gain[w]),
                      &ix[3 * shortFrom + w]);
    }
    return shortFrom < 192 ? kGranuleLines : longLines;
}

namespace {
using Doubles4 = double __attribute__((vector_size(32)));
using Masks4 = long long __attribute__((vector_size(32)));

// The smallest magnitude whose quotient by step, rounded as the division rounds it, exceeds
// bound. The rounded quotient never falls as the magnitude grows, so the magnitudes it puts
// above the bound are those from one value on: found from the product, a few values apart.
double SmallestAbove(double bound, double step) {
    double t = bound * step;
    while (t > 0 && t / step > bound)
        t = std::nextafter(t, 0.0);
    while (!(t / step > bound))
        t = std::nextafter(t, std::numeric_limits<double>::infinity());
    return t;
}
}  // namespace

const CQuantizer::StepThresholds& CQuantizer::CachedThresholds(double stepSize) {
    const double slot = stepSize - kCachedStepLow;
    if (slot != std::floor(slot) || !(slot >= 0 && slot < kCachedSteps)) {
        uncachedThresholds_ = ThresholdsFor(std::pow(2.0, stepSize / 4.0));
        return uncachedThresholds_;
    }
    const auto i = static_cast<std::size_t>(slot);
    if (!thresholdsCached_[i]) {
        cachedThresholds_[i] = ThresholdsFor(std::pow(2.0, stepSize / 4.0));
        thresholdsCached_[i] = true;
    }
    return cachedThresholds_[i];
}

CQuantizer::StepThresholds CQuantizer::ThresholdsFor(double step) const {
    StepThresholds t{step, {}};
    for (int i = 0; i <= kSmallValues; ++i)
        t.above[i] = SmallestAbove(bound_[i], step);
    return t;
}

// The bounds lie more than 1 apart, so no two share a whole-number interval: the value the
// look-up gives is the number of bounds below the quotient. Four lines at a time count the
// thresholds they reach instead; a group with a line past the last threshold takes the look-up.
VELTO_VECTOR_KERNEL void CQuantizer::QuantizeLines(const double* magnitudes, int stride, int count,
                                                   const StepThresholds& t, int* ix) const {
    const double* const bound = bound_.get();
    const int* const firstIndex = firstIndex_.get();
    const double step = t.step;
    const auto lookUp = [bound, firstIndex, step](double magnitude) {
        const double c = magnitude / step;
        if (c < kFirstIndexSize) {
            const int first = firstIndex[static_cast<int>(c)];
            return first + (c > bound[first] ? 1 : 0);
        }
        const double c34 = std::sqrt(c * std::sqrt(c));
        return c34 >= 0.0946 ? static_cast<int>(std::floor(c34 + 0.4054)) : 0;
    };
    Doubles4 above[kSmallValues + 1];
    for (int i = 0; i <= kSmallValues; ++i)
        above[i] = Doubles4{} + t.above[i];
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        Doubles4 x;
        if (stride == 1)
            std::memcpy(&x, &magnitudes[k], sizeof x);
        else
            x = Doubles4{magnitudes[k * stride], magnitudes[(k + 1) * stride], magnitudes[(k + 2) * stride],
                         magnitudes[(k + 3) * stride]};
        const Masks4 small = x < above[kSmallValues];
        if (small[0] & small[1] & small[2] & small[3]) {
            Masks4 n = {};
            for (int i = 0; i < kSmallValues; ++i)
                n -= x >= above[i];
            for (int j = 0; j < 4; ++j)
                ix[(k + j) * stride] = static_cast<int>(n[j]);
        } else {
            for (int j = 0; j < 4; ++j)
                ix[(k + j) * stride] = lookUp(x[j]);
        }
    }
    for (; k < count; ++k)
        ix[k * stride] = lookUp(magnitudes[k * stride]);
}

VELTO_VECTOR_KERNEL void CQuantizer::MeasureDistortion(const GranuleInfo& gi,
                                                       const int (&ix)[kGranuleLines]) {
    const double step = CachedThresholds(gi.quantizerStepSize).step;
    for (int sb = 0; sb < static_cast<int>(gi.sfb_lmax); ++sb) {
        const int start = bands_->l[sb], end = bands_->l[sb + 1];
        double sum = 0;
        for (int i = start; i < end; ++i) {
            const double d = xr_work_[i] - Pow43(ix[i]) * step;
            sum += d * d;
        }
        xfsf_.l[sb] = sum / (end - start);
    }
    for (int sb = static_cast<int>(gi.sfb_smax); sb < kShortBands; ++sb) {
        const int start = bands_->s[sb], end = bands_->s[sb + 1];
        for (int w = 0; w < kShortWindows; ++w) {
            double sum = 0;
            for (int k = start; k < end; ++k) {
                const double d = xr_work_[3 * k + w] - Pow43(ix[3 * k + w]) * step;
                sum += d * d;
            }
            xfsf_.s[sb][w] = sum / (end - start);
        }
    }
}

void CQuantizer::PreEmphasis(int gr, int ch, const SideInfo& side, GranuleInfo& gi, const GranuleInfo& gi0) {
    if (gr == 1 && AnyScfsi(side, ch)) {
        gi.preflag = gi0.preflag;  // applied to the values before the first pass
        return;
    }
    if (!IsLong(gi) || gi.preflag) return;
    int distorted = 0;
    for (int sb = 17; sb < kLongBands; ++sb)
        distorted += xfsf_.l[sb] > l3_xmin_.l[sb];
    if (distorted < 3) return;
    gi.preflag = 1;
    const double ifqstep = std::pow(2.0, (1 + gi.scalefac_scale) / 2.0);
    for (int sb = 0; sb < static_cast<int>(gi.sfb_lmax); ++sb) {
        if (tables::kPretab[sb] == 0) continue;
        const double factor = std::pow(ifqstep, tables::kPretab[sb]);
        l3_xmin_.l[sb] *= factor * factor;
        AmplifyLongBand(sb, factor);
    }
}

int CQuantizer::Amplify(int gr, int ch, const SideInfo& side, GranuleInfo& gi, ScaleFactors& sf,
                        double& audible, double& total) {
    const bool shared = gr == 1 && AnyScfsi(side, ch);
    const unsigned scale = shared ? side.gr[0][ch].scalefac_scale : gi.scalefac_scale;
    const double ifqstep = scale ? 2.0 : 1.41421356237;
    const double ifqstep2 = ifqstep * ifqstep;
    int over = 0;
    for (int sb = 0; sb < static_cast<int>(gi.sfb_lmax); ++sb) {
        // Bands shared with granule 0 keep granule 0's scalefactors, set before the first pass.
        if (shared && side.scfsi[ch][ScfsiGroupOf(sb)]) continue;
        if (xfsf_.l[sb] <= l3_xmin_.l[sb]) continue;
        ++over;
        if (l3_xmin_.l[sb] != 0) audible += xfsf_.l[sb] / l3_xmin_.l[sb];
        total += xfsf_.l[sb];
        l3_xmin_.l[sb] *= ifqstep2;
        ++sf.l[sb];
        AmplifyLongBand(sb, ifqstep);
    }
    for (int sb = static_cast<int>(gi.sfb_smax); sb < kShortBands; ++sb) {
        const int start = bands_->s[sb], end = bands_->s[sb + 1];
        for (int w = 0; w < kShortWindows; ++w) {
            if (xfsf_.s[sb][w] <= l3_xmin_.s[sb][w]) continue;
            ++over;
            if (l3_xmin_.s[sb][w] != 0) audible += xfsf_.s[sb][w] / l3_xmin_.s[sb][w];
            total += xfsf_.s[sb][w];
            l3_xmin_.s[sb][w] *= ifqstep2;
            ++sf.s[sb][w];
            for (int k = start; k < end; ++k)
                xr_work_[3 * k + w] *= ifqstep;
        }
    }
    return over;
}

bool CQuantizer::AllScalefactorsAmplified(const GranuleInfo& gi, const ScaleFactors& sf) const {
    for (int sb = 0; sb < static_cast<int>(gi.sfb_lmax); ++sb)
        if (sf.l[sb] == 0) return false;
    for (int sb = static_cast<int>(gi.sfb_smax); sb < kShortBands; ++sb)
        for (int w = 0; w < kShortWindows; ++w)
            if (sf.s[sb][w] == 0) return false;
    return true;
}

bool CQuantizer::ChooseScalefacCompress(GranuleInfo& gi, const ScaleFactors& sf) const {
    int max1 = 0, max2 = 0;
    if (IsLong(gi)) {
        for (int sb = 0; sb < 11; ++sb)
            max1 = std::max(max1, sf.l[sb]);
        for (int sb = 11; sb < kLongBands; ++sb)
            max2 = std::max(max2, sf.l[sb]);
    } else {
        // Short: bands 0..5 and 6..11; mixed: long bands 0..7 with short bands 3..5 first.
        const int firstShort = gi.mixed_block_flag ? 3 : 0;
        if (gi.mixed_block_flag)
            for (int sb = 0; sb < 8; ++sb)
                max1 = std::max(max1, sf.l[sb]);
        for (int sb = firstShort; sb < 6; ++sb)
            for (int w = 0; w < kShortWindows; ++w)
                max1 = std::max(max1, sf.s[sb][w]);
        for (int sb = 6; sb < kShortBands; ++sb)
            for (int w = 0; w < kShortWindows; ++w)
                max2 = std::max(max2, sf.s[sb][w]);
    }
    for (int k = 0; k < 16; ++k)
        if (max1 < (1 << tables::kSlen1[k]) && max2 < (1 << tables::kSlen2[k])) {
            gi.scalefac_compress = static_cast<unsigned>(k);
            return true;
        }
    return false;
}

}  // namespace layer3
