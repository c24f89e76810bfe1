// The quantisation and rate-control loops: turn each granule's 576 spectral values into
// quantised values, a global step size and scalefactors within the bits the reservoir grants.
// Frame loop, outer noise-control loop (scalefactor amplification, pre-emphasis, keep-best by
// the encoding mode) and inner rate-control loop (step search), with a look-up quantiser.
#pragma once

#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>

#include "layer3/reservoir.h"
#include "layer3/side_info.h"
#include "layer3/tables/scalefactor_tables.h"

struct EncodingSettings;

namespace layer3 {

class CQuantizer {
  public:
    static constexpr int kBoundSize = 5700;
    static constexpr int kFirstIndexSize = 100000;
    static constexpr int kMaxOuterPasses = 21;

    CQuantizer();
    ~CQuantizer();
    CQuantizer(const CQuantizer&) = delete;
    CQuantizer& operator=(const CQuantizer&) = delete;

    // Keeps the settings record and the reservoir the loops draw on, builds the look-up
    // tables (once per object), and restarts the quantisation counter.
    void Init(EncodingSettings& settings, CBitReservoir& reservoir);
    // One frame: every granule and channel of side gets its final coding parameters, and
    // l3_enc its values (magnitudes; the formatter takes the signs from xr).
    // firstSteps, when given, holds FirstStepOf each granule and channel of xr.
    using FirstSteps = double[kMaxGranules][kMaxChannels];
    // The distortion each band may have, per granule and channel, and the scalefactor groups
    // granule 1 shares with granule 0: functions of the analysis alone.
    struct Allowed {
        double l[kLongBands];
        double s[kShortBands][kShortWindows];
    };
    struct FramePreparation {
        Allowed allowed[kMaxGranules][kMaxChannels];
        int scfsi[kMaxChannels][4];
    };
    // The first trial of a granule's search: its step, the values and bits it gave, and the
    // fields the bit count set. Valid where the first pass starts from the spectrum alone.
    struct FirstTrial {
        bool valid = false;
        double stepSize = 0;
        int bits = 0;
        GranuleInfo counted;
        int ix[kGranuleLines];
    };
    using FirstTrials = FirstTrial[kMaxGranules][kMaxChannels];
    // prepared and firstTrials, when given, hold PrepareFrame and PrepareFirstTrials of the
    // same frame.
    void IterationLoop(const double (&pe)[kMaxGranules][kMaxChannels], const Spectrum& xr,
                       const MaskingRatios& ratios, SideInfo& side, QuantizedValues& l3_enc, int meanBits,
                       FrameScaleFactors& scalefac, const FirstSteps* firstSteps = nullptr,
                       const FramePreparation* prepared = nullptr, const FirstTrials* firstTrials = nullptr);
    // Works out the first trial of every granule whose first pass does not hang on granule 0's
    // scalefactors, on this quantizer's own working state: the analysis may do it ahead of the
    // loops with a quantizer of its own. firstSteps and prepared are those of the frame.
    void PrepareFirstTrials(const Spectrum& xr, const SideInfo& blocks, const FirstSteps& firstSteps,
                            const FramePreparation& prepared, FirstTrials& out);
    // Works out the frame's preparation from its spectrum, ratios and block types: it changes
    // nothing in the loops, so the analysis may do it ahead of them.
    void PrepareFrame(const Spectrum& xr, const MaskingRatios& ratios, const SideInfo& blocks,
                      FramePreparation& out) const;
    // The step the loops' search starts from for a granule's spectrum (with at least one line
    // not 0): a function of the spectrum alone, so the analysis may work it out ahead.
    static double FirstStepOf(const double (&xr)[kGranuleLines]);

    // What one outer pass found, for tests: the scalefactors it quantised with, its step and
    // bits, and the distortion it counted.
    struct PassRecord {
        int gr, ch, pass;
        int over;
        double audible, total;
        double stepSize;
        int bits, maxBits;
        ScaleFactors sf;
        unsigned scalefac_compress, preflag;
    };
    void SetPassObserver(std::function<void(const PassRecord&)> observer) { observer_ = std::move(observer); }

    // The look-up quantiser on one value's magnitude at the given step (2^(stepSize/4)).
    int QuantizeValue(double magnitude, double step) const { return QuantizeQuotient(magnitude / step); }
    // The loops' quantiser over count magnitudes at one step, which must give QuantizeValue's
    // values; for tests.
    void QuantizeMagnitudes(const double* magnitudes, int count, double step, int* ix) const {
        QuantizeLines(magnitudes, 1, count, ThresholdsFor(step), ix);
    }

  private:
    // Forgets what the loops kept from the previous frames, so that every file starts alike.
    void ClearWorkingState();
    // The look-up quantiser on magnitude / step. The bound past the last is infinite, so an
    // index the table ends on is returned as it is.
    int QuantizeQuotient(double c) const {
        if (c < kFirstIndexSize) {
            const int first = firstIndex_[static_cast<int>(c)];
            return first + (c > bound_[first] ? 1 : 0);
        }
        const double c34 = std::sqrt(c * std::sqrt(c));
        return c34 >= 0.0946 ? static_cast<int>(std::floor(c34 + 0.4054)) : 0;
    }
    // Quantising at one step without dividing: above[i] is the smallest magnitude whose
    // quotient by step, as the division rounds it, lies above bound i. A magnitude below
    // above[kSmallValues] quantises to the number of those it reaches, as the look-up of its
    // quotient would give; larger ones take the look-up.
    static constexpr int kSmallValues = 8;
    struct StepThresholds {
        double step;
        double above[kSmallValues + 1];
    };
    StepThresholds ThresholdsFor(double step) const;
    // The thresholds of step 2^(stepSize / 4), worked out once per whole step size within
    // the range the loops use and kept for every later granule.
    const StepThresholds& CachedThresholds(double stepSize);
    static constexpr int kCachedStepLow = -256, kCachedSteps = 512;
    // ix[k * stride] = magnitudes[k * stride] quantised at the step, for k < count.
    void QuantizeLines(const double* magnitudes, int stride, int count, const StepThresholds& step,
                       int* ix) const;

    struct Distortion {
        double l[kLongBands];
        double s[kShortBands][kShortWindows];
    };
    struct Snapshot {
        ScaleFactors sf;
        unsigned scalefac_compress = 0;
        unsigned preflag = 0;
    };
    struct KeptPass {
        Snapshot snapshot;
        double stepSize = 0;
        int ix[kGranuleLines] = {};
        int bits = 0;
    };

    void QuantizeGranule(int gr, int ch, const Spectrum& xr, const FramePreparation& prepared, SideInfo& side,
                         QuantizedValues& l3_enc, int meanBits,
                         const double (&pe)[kMaxGranules][kMaxChannels], FrameScaleFactors& scalefac,
                         const FirstSteps* firstSteps, const FirstTrial* firstTrial);
    double SearchStart() const;
    // The first trial from firstTrial_ when it was made at this step, as Quantize and
    // CountBits would leave it; else -1.
    int TakeFirstTrial(GranuleInfo& gi, int (&ix)[kGranuleLines]);
    void ApplyGranule0Scalefactors(int ch, const SideInfo& side, GranuleInfo& gi, ScaleFactors& sf,
                                   const ScaleFactors& sf0);
    int OuterLoop(int gr, int ch, SideInfo& side, int (&ix)[kGranuleLines], ScaleFactors& sf, int maxBits);
    int InnerLoop(GranuleInfo& gi, int (&ix)[kGranuleLines], int maxBits);
    int CountBits(GranuleInfo& gi, const int (&ix)[kGranuleLines], int zeroFrom);
    // Returns the line from which on every value is 0.
    int Quantize(const GranuleInfo& gi, int (&ix)[kGranuleLines]);
    static double FirstStepEstimate(const double (&v)[kGranuleLines]);
    void FindSuffixMaxima();
    int ZeroTailStart(const StepThresholds& step) const;
    void MeasureDistortion(const GranuleInfo& gi, const int (&ix)[kGranuleLines]);
    void PreEmphasis(int gr, int ch, const SideInfo& side, GranuleInfo& gi, const GranuleInfo& gi0);
    int Amplify(int gr, int ch, const SideInfo& side, GranuleInfo& gi, ScaleFactors& sf, double& audible,
                double& total);
    bool AllScalefactorsAmplified(const GranuleInfo& gi, const ScaleFactors& sf) const;
    bool ChooseScalefacCompress(GranuleInfo& gi, const ScaleFactors& sf) const;
    void AmplifyLongBand(int sb, double factor);
    double Pow43(int value) const { return value < 1024 ? pow43_[value] : LargePow43(value); }
    double LargePow43(int value) const;

    EncodingSettings* settings_ = nullptr;
    CBitReservoir* reservoir_ = nullptr;
    const tables::ScalefactorBandBoundaries* bands_ = nullptr;
    int stereo_ = 1;

    // Look-up tables, built once.
    std::unique_ptr<double[]> pow43_;
    std::unique_ptr<double[]> bound_;  // single-precision values, kBoundSize + 1 of them
    std::unique_ptr<int[]> firstIndex_;
    std::unique_ptr<StepThresholds[]> cachedThresholds_;  // kCachedSteps of them, from kCachedStepLow
    std::unique_ptr<bool[]> thresholdsCached_;
    StepThresholds uncachedThresholds_{};

    // Per granule and channel working state.
    double xr_work_[kGranuleLines] = {};  // magnitudes, amplified by the scalefactors so far
    static constexpr int kTailBlock = 16, kTailBlocks = kGranuleLines / kTailBlock;
    double suffixMax_[kTailBlocks] = {};  // suffixMax_[b]: the largest of xr_work_ from block b on
    // What the last quantisation of the granule leaves to the next: ix holds its values at
    // reusableStepSize_ for every long band not in amplifiedBands_ (bit sb for band sb).
    // The first trial worked out ahead for the granule, until its search starts.
    const FirstTrial* firstTrial_ = nullptr;
    bool reusable_ = false;
    double reusableStepSize_ = 0;
    std::uint32_t amplifiedBands_ = 0;
    Allowed l3_xmin_ = {};
    Distortion xfsf_ = {};
    KeptPass kept_;
    std::function<void(const PassRecord&)> observer_;
};

}  // namespace layer3
