// The bit reservoir: lets a granule spend more than the frame's average by drawing on bits
// that earlier frames left unused, within what the 9-bit main_data_begin pointer can reach
// back. The counters belong to the object, which the encoder session owns; they carry over
// from frame to frame within a file.
#pragma once

#include "layer3/side_info.h"

struct EncodingSettings;

namespace layer3 {

class CBitReservoir {
  public:
    // Empties the reservoir; called at each file's open.
    void Reset();
    // Sets this frame's limit from the frame length in bits: what 7680 bits leave over the
    // frame, capped to what main_data_begin can address (4088 bits for MPEG-1, 2040 otherwise).
    void FrameBegin(int meanBits, int frameLengthBits, const EncodingSettings& settings);
    // The most bits one granule and channel may use, from its perceptual entropy. meanBits is
    // per granule for all channels together.
    int MaxBits(double perceptualEntropy, int meanBits, int stereo) const;
    // Books the bits a quantised granule and channel used against its share.
    void Adjust(const GranuleInfo& gi, int meanBits, int stereo);
    // Ends the frame: what exceeds the limit, and the bits short of a whole byte, become
    // stuffing added to the granules' part2_3_length, and what no granule can take (each holds
    // at most 4095 bits) becomes side.reservoirDrain.
    void FrameEnd(SideInfo& side, int meanBits, const EncodingSettings& settings, int stereo);

    int Size() const { return reservoirSize_; }  // fill in bits
    int Max() const { return reservoirMax_; }    // this frame's limit in bits

  private:
    void DistributeStuffing(SideInfo& side, int stuffing, int granules, int stereo);

    int reservoirSize_ = 0;
    int reservoirMax_ = 0;
};

}  // namespace layer3
