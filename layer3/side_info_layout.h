// The bits of a frame's header and side information, in the order MPEG-1 Layer III transmits
// them, gathered into bit-field lists for the formatter's queue.
#pragma once

#include "layer3/bit_field_list.h"
#include "layer3/side_info.h"

struct EncodingSettings;

namespace layer3 {

// Header and side information bits of one frame (32 header bits included), as the session
// needs them for its bit budget: 168 / 288 for MPEG-1 one / two channels, 104 / 168 otherwise,
// 16 more with a CRC.
int HeaderAndSideInfoBits(const EncodingSettings& settings, int stereo);

// The 32 header bits from the settings' frame parameters, then the 16-bit CRC word when
// errorProtection is set.
void AppendHeader(const EncodingSettings& settings, BitFieldList& header);

// The side information lists of the record: main_data_begin and private_bits; scfsi per
// channel; the granule fields per granule and channel. Fails fatally on a granule without
// window switching whose block_type is not 0.
void AppendSideInfo(const SideInfo& side, int granules, int stereo, BitFieldList& frame,
                    BitFieldList (&channel)[kMaxChannels],
                    BitFieldList (&granule)[kMaxGranules][kMaxChannels]);

}  // namespace layer3
