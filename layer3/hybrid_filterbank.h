// The hybrid filterbank's second stage: the MDCT of each subband with the window of the
// granule's block type (0 normal, 1 start, 2 short, 3 stop), and for long blocks the aliasing
// reduction butterflies between neighbouring subbands.
#pragma once

#include "job/encoding_settings.h"
#include "layer3/side_info.h"

namespace layer3 {

inline constexpr int kSubbandSlots = 18;

// Subband samples per channel: slot 0 is the last granule of the previous frame, slots 1 and 2
// the granules of the current frame; then time index 0..17 and subband 0..31.
using SubbandSamples = double[kMaxChannels][3][kSubbandSlots][32];

class CHybridFilterbank {
  public:
    CHybridFilterbank();

    // Builds the window, transform and butterfly tables and takes the channel count and
    // granules per frame from the settings.
    void Init(const EncodingSettings& header);

    // Transforms every granule and channel of one frame into xr, then keeps the frame's last
    // granule in slot 0 for the next frame's overlap. Negates the odd time samples of odd
    // subbands of slots 1.. in place (frequency inversion).
    void Transform(SubbandSamples& sb_sample, Spectrum& xr, const SideInfo& side_info);

  private:
    // The long-window transforms of subbands b .. b + 3, side by side; type[l] is the window
    // of subband b + l. previous and current point at subband b of the two granules' slots.
    void TransformLong4(const double* previous, const double* current, const int (&type)[4],
                        double* out) const;
    void SetUpLongTransform();
    void TransformShort(const double (&in)[36], double* out) const;
    void ReduceAliasing(double* xr) const;

    int channels_ = 1;
    int granules_ = 2;
    double win_[4][36] = {};
    // The 36 windowed inputs fold into the 18 of a DCT-IV, which runs as a 9-point complex DFT
    // (two rounds of 3-point DFTs) between a twiddle before and one after: for input n of the
    // DFT, the two folded values it takes and their factors (real p * a + q * b, imaginary
    // p * c + q * d; the 1/9 of the transform included); the DFT's inner twiddles; for output
    // k, the factors of lines 2k (re * e + im * f) and 17 - 2k (re * g + im * h).
    struct PreTwiddle {
        int p, q;
        double a, b, c, d;
    };
    PreTwiddle pre_[9] = {};
    double innerCos_[5] = {}, innerSin_[5] = {};  // e^{-2 pi i e / 9}, e = 1, 2, 4
    double postE_[9] = {}, postF_[9] = {}, postG_[9] = {}, postH_[9] = {};
    double cos_s_[6][12] = {};
    double cs_[8] = {}, ca_[8] = {};
};

}  // namespace layer3
