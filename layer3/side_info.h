// The side information record every stage of a frame reads and fills, under the bitstream
// element names of MPEG-1 Layer III, and the other per-frame arrays the stages exchange.
#pragma once

#include <cstdint>

namespace layer3 {

inline constexpr int kMaxGranules = 2;
inline constexpr int kMaxChannels = 2;
inline constexpr int kGranuleLines = 576;
inline constexpr int kLongBands = 21;   // scalefactor bands of a long block that carry a ratio
inline constexpr int kShortBands = 12;  // scalefactor bands of a short window that carry a ratio
inline constexpr int kShortWindows = 3;

struct GranuleInfo {
    std::uint32_t part2_3_length = 0;  // scalefactor + Huffman bits, stuffing included
    std::uint32_t big_values = 0;
    std::uint32_t count1 = 0;
    std::uint32_t global_gain = 0;
    std::uint32_t scalefac_compress = 0;
    std::uint32_t window_switching_flag = 0;
    std::uint32_t block_type = 0;  // 0 normal, 1 start, 2 short, 3 stop
    std::uint32_t mixed_block_flag = 0;
    std::uint32_t table_select[3] = {0, 0, 0};
    std::int32_t subblock_gain[3] = {0, 0, 0};
    std::uint32_t region0_count = 0;
    std::uint32_t region1_count = 0;
    std::uint32_t preflag = 0;
    std::uint32_t scalefac_scale = 0;
    std::uint32_t count1table_select = 0;
    std::uint32_t part2_length = 0;  // scalefactor bits of the granule
    std::uint32_t sfb_lmax = 0;      // 21 for long, start and stop blocks; 0 for short
    std::uint32_t sfb_smax = 0;      // 12 for short blocks; 0 otherwise
    std::uint32_t address1 = 0;      // region boundaries in spectral lines
    std::uint32_t address2 = 0;
    std::uint32_t address3 = 0;
    double quantizerStepSize = 0.0;                 // quantiser step exponent
    const unsigned* sfb_partition_table = nullptr;  // lower sampling rates only; unused
    std::uint32_t slen[4] = {0, 0, 0, 0};           // lower sampling rates only; unused
};

struct SideInfo {
    int main_data_begin = 0;  // main-data bytes of this frame that precede its header
    int private_bits = 0;
    int reservoirDrain = 0;  // stuffing bits written as ancillary data after the granules
    int scfsi[kMaxChannels][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
    GranuleInfo gr[kMaxGranules][kMaxChannels];
};

// Scalefactors of one granule and channel: 22 long-block bands, 13 short-block bands of three
// windows.
struct ScaleFactors {
    int l[22] = {};
    int s[13][3] = {};
};

struct FrameScaleFactors {
    ScaleFactors sf[kMaxGranules][kMaxChannels];
};

// Masking ratios (threshold / energy) per granule and channel.
struct MaskingRatios {
    double l[kMaxGranules][kMaxChannels][kLongBands] = {};
    double s[kMaxGranules][kMaxChannels][kShortBands][kShortWindows] = {};
};

using Spectrum = double[kMaxGranules][kMaxChannels][kGranuleLines];
using QuantizedValues = int[kMaxGranules][kMaxChannels][kGranuleLines];

}  // namespace layer3
