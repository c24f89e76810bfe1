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
    void TransformLong(const double (&in)[36], int type, double* out) const;
    void TransformShort(const double (&in)[36], double* out) const;
    void ReduceAliasing(double* xr) const;

    int channels_ = 1;
    int granules_ = 2;
    double win_[4][36] = {};
    double cos_l_[18][36] = {};
    // Input k and 17 - k meet opposite coefficients, k and 53 - k equal ones (18 <= k < 36):
    // the 36 windowed inputs fold into 18, which meet columns 0..8 and 18..26, output fastest;
    // two columns of zeros pad each row to five groups of four.
    static constexpr int kFoldedRow = 20;
    double cos_folded_[18][kFoldedRow] = {};
    double cos_s_[6][12] = {};
    double cs_[8] = {}, ca_[8] = {};
};

}  // namespace layer3
