#include "layer3/side_info_layout.h"

#include "job/encoding_settings.h"
#include "platform/fatal_error.h"

namespace layer3 {

int HeaderAndSideInfoBits(const EncodingSettings& settings, int stereo) {
    int bits = 32;
    if (settings.version == 1)
        bits += stereo == 1 ? 136 : 256;
    else
        bits += stereo == 1 ? 72 : 136;
    return settings.errorProtection ? bits + 16 : bits;
}

void AppendHeader(const EncodingSettings& settings, BitFieldList& header) {
    header.Clear();
    header.Add(0xFFF, 12);
    header.Add(static_cast<std::uint32_t>(settings.version), 1);
    header.Add(1, 2);  // Layer III
    header.Add(settings.errorProtection ? 0u : 1u, 1);
    header.Add(static_cast<std::uint32_t>(settings.bitrateIndex), 4);
    header.Add(static_cast<std::uint32_t>(settings.samplingFrequencyIndex), 2);
    header.Add(static_cast<std::uint32_t>(settings.padding), 1);
    header.Add(static_cast<std::uint32_t>(settings.privateBit), 1);
    header.Add(static_cast<std::uint32_t>(settings.mode), 2);
    header.Add(static_cast<std::uint32_t>(settings.modeExtension), 2);
    header.Add(static_cast<std::uint32_t>(settings.Copyright), 1);
    header.Add(static_cast<std::uint32_t>(settings.Original), 1);
    header.Add(static_cast<std::uint32_t>(settings.Deemphasis), 2);
    if (settings.errorProtection)
        header.Add(0, 16);  // the CRC word; never reached, as errorProtection is never set
}

namespace {

void AppendGranule(const GranuleInfo& gi, BitFieldList& list) {
    list.Clear();
    list.Add(gi.part2_3_length, 12);
    list.Add(gi.big_values, 9);
    list.Add(gi.global_gain, 8);
    list.Add(gi.scalefac_compress, 4);
    list.Add(gi.window_switching_flag, 1);
    if (gi.window_switching_flag) {
        list.Add(gi.block_type, 2);
        list.Add(gi.mixed_block_flag, 1);
        for (int r = 0; r < 2; ++r)
            list.Add(gi.table_select[r], 5);
        for (int w = 0; w < 3; ++w)
            list.Add(static_cast<std::uint32_t>(gi.subblock_gain[w]), 3);
    } else {
        if (gi.block_type != 0) platform::FatalError("ERROR; invalid blocktype");
        for (int r = 0; r < 3; ++r)
            list.Add(gi.table_select[r], 5);
        list.Add(gi.region0_count, 4);
        list.Add(gi.region1_count, 3);
    }
    list.Add(gi.preflag, 1);
    list.Add(gi.scalefac_scale, 1);
    list.Add(gi.count1table_select, 1);
}

}  // namespace

void AppendSideInfo(const SideInfo& side, int granules, int stereo, BitFieldList& frame,
                    BitFieldList (&channel)[kMaxChannels],
                    BitFieldList (&granule)[kMaxGranules][kMaxChannels]) {
    frame.Clear();
    frame.Add(static_cast<std::uint32_t>(side.main_data_begin), 9);
    frame.Add(static_cast<std::uint32_t>(side.private_bits), stereo == 1 ? 5 : 3);
    for (int ch = 0; ch < stereo; ++ch) {
        channel[ch].Clear();
        for (int band = 0; band < 4; ++band)
            channel[ch].Add(static_cast<std::uint32_t>(side.scfsi[ch][band]), 1);
    }
    for (int gr = 0; gr < granules; ++gr)
        for (int ch = 0; ch < stereo; ++ch)
            AppendGranule(side.gr[gr][ch], granule[gr][ch]);
}

}  // namespace layer3
