// Test support: reads the quantized values and scalefactors back out of a Layer III stream
// (MPEG-1, no CRC), following main_data_begin, the side information and the Huffman tables,
// so that tests can compare them with what was formatted. A reference decoder tells whether a
// stream is valid; this tells whether it carries the intended values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "layer3/side_info.h"
#include "layer3/tables/huffman_tables.h"
#include "layer3/tables/scalefactor_tables.h"
#include "tests/support/mp3_decoder.h"

namespace bitstreamtest {

struct ReadFrame {
    layer3::SideInfo side;
    int values[2][2][576] = {};
    layer3::FrameScaleFactors sf;
};

class BitReader {
  public:
    BitReader(const std::vector<std::uint8_t>& bytes, std::size_t bitPos) : bytes_(&bytes), pos_(bitPos) {}
    unsigned Get(int n) {
        unsigned v = 0;
        for (int i = 0; i < n; ++i, ++pos_) {
            const std::size_t byte = pos_ / 8;
            const unsigned bit = byte < bytes_->size() ? ((*bytes_)[byte] >> (7 - pos_ % 8)) & 1u : 0u;
            v = (v << 1) | bit;
        }
        return v;
    }
    std::size_t Pos() const { return pos_; }

  private:
    const std::vector<std::uint8_t>* bytes_;
    std::size_t pos_;
};

// Reads one codeword of table t; returns its index, or -1 when no codeword matches.
inline int ReadCode(BitReader& r, const layer3::tables::HuffmanTable& t) {
    std::uint32_t code = 0;
    for (int length = 1; length <= 19; ++length) {
        code = (code << 1) | r.Get(1);
        for (unsigned i = 0; i < t.entries; ++i)
            if (t.lengths[i] == length && t.codes[i] == code)
                return static_cast<int>(i);
    }
    return -1;
}

inline int ReadValue(BitReader& r, const layer3::tables::HuffmanTable& t, unsigned v) {
    int magnitude = static_cast<int>(v);
    if (t.linbits && v == 15)
        magnitude += static_cast<int>(r.Get(static_cast<int>(t.linbits)));
    if (magnitude && r.Get(1))
        magnitude = -magnitude;
    return magnitude;
}

// Reads every frame; error says what went wrong when the result is short.
inline std::vector<ReadFrame> ReadStream(const std::vector<std::uint8_t>& bytes, std::string& error) {
    using namespace layer3;
    std::vector<ReadFrame> frames;
    // The main data of all frames, back to back, and where each frame's room starts in it.
    std::vector<std::uint8_t> mainData;
    std::vector<std::size_t> roomStart;
    std::size_t pos = 0;
    const auto headers = testmp3::ParseHeaders(bytes);
    for (const auto& h : headers) {
        const int channels = h.mode == 3 ? 1 : 2;
        const std::size_t sideBytes = 4 + (channels == 1 ? 17 : 32);
        BitReader r(bytes, 8 * (pos + 4));
        ReadFrame f;
        f.side.main_data_begin = static_cast<int>(r.Get(9));
        f.side.private_bits = static_cast<int>(r.Get(channels == 1 ? 5 : 3));
        for (int ch = 0; ch < channels; ++ch)
            for (int b = 0; b < 4; ++b)
                f.side.scfsi[ch][b] = static_cast<int>(r.Get(1));
        for (int gr = 0; gr < 2; ++gr) {
            for (int ch = 0; ch < channels; ++ch) {
                GranuleInfo& gi = f.side.gr[gr][ch];
                gi.part2_3_length = r.Get(12);
                gi.big_values = r.Get(9);
                gi.global_gain = r.Get(8);
                gi.scalefac_compress = r.Get(4);
                gi.window_switching_flag = r.Get(1);
                if (gi.window_switching_flag) {
                    gi.block_type = r.Get(2);
                    gi.mixed_block_flag = r.Get(1);
                    gi.table_select[0] = r.Get(5);
                    gi.table_select[1] = r.Get(5);
                    for (int w = 0; w < 3; ++w)
                        gi.subblock_gain[w] = static_cast<int>(r.Get(3));
                } else {
                    for (int k = 0; k < 3; ++k)
                        gi.table_select[k] = r.Get(5);
                    gi.region0_count = r.Get(4);
                    gi.region1_count = r.Get(3);
                }
                gi.preflag = r.Get(1);
                gi.scalefac_scale = r.Get(1);
                gi.count1table_select = r.Get(1);
            }
        }
        roomStart.push_back(mainData.size());
        mainData.insert(mainData.end(), bytes.begin() + static_cast<long>(pos + sideBytes),
                        bytes.begin() + static_cast<long>(pos) + h.lengthBytes);
        pos += static_cast<std::size_t>(h.lengthBytes);
        frames.push_back(f);
    }
    const auto& bands = tables::kScalefactorBands[headers.empty() ? 0 : headers[0].samplingIndex];
    for (std::size_t n = 0; n < frames.size(); ++n) {
        ReadFrame& f = frames[n];
        const int channels = headers[n].mode == 3 ? 1 : 2;
        if (roomStart[n] < static_cast<std::size_t>(f.side.main_data_begin)) {
            error = "main_data_begin reaches before the stream in frame " + std::to_string(n);
            frames.resize(n);
            return frames;
        }
        BitReader r(mainData, 8 * (roomStart[n] - static_cast<std::size_t>(f.side.main_data_begin)));
        for (int gr = 0; gr < 2; ++gr) {
            for (int ch = 0; ch < channels; ++ch) {
                const GranuleInfo& gi = f.side.gr[gr][ch];
                const std::size_t end = r.Pos() + gi.part2_3_length;
                const int slen1 = tables::kSlen1[gi.scalefac_compress],
                          slen2 = tables::kSlen2[gi.scalefac_compress];
                const bool isShort = gi.window_switching_flag && gi.block_type == 2;
                if (isShort) {
                    for (int sfb = 0; sfb < 12; ++sfb)
                        for (int w = 0; w < 3; ++w)
                            f.sf.sf[gr][ch].s[sfb][w] = static_cast<int>(r.Get(sfb < 6 ? slen1 : slen2));
                } else {
                    const int first[4] = {0, 6, 11, 16}, last[4] = {5, 10, 15, 20};
                    for (int g = 0; g < 4; ++g)
                        for (int sfb = first[g]; sfb <= last[g]; ++sfb)
                            f.sf.sf[gr][ch].l[sfb] = (gr == 1 && f.side.scfsi[ch][g])
                                                         ? f.sf.sf[0][ch].l[sfb]
                                                         : static_cast<int>(r.Get(g < 2 ? slen1 : slen2));
                }
                // Big values in stream order, then placed as the encoder lays them out.
                int stream[576] = {};
                const int bigEnd = 2 * static_cast<int>(gi.big_values);
                int region1 = 36, region2 = 576;
                if (!gi.window_switching_flag) {
                    region1 = bands.l[gi.region0_count + 1];
                    region2 = bands.l[gi.region0_count + gi.region1_count + 2];
                }
                for (int i = 0; i < bigEnd; i += 2) {
                    const unsigned t = gi.table_select[i < region1 ? 0 : (i < region2 ? 1 : 2)];
                    if (t == 0)
                        continue;
                    const auto& table = tables::kHuffmanTables[t];
                    const int index = ReadCode(r, table);
                    if (index < 0) {
                        error = "no codeword in frame " + std::to_string(n);
                        return {};
                    }
                    stream[i] = ReadValue(r, table, static_cast<unsigned>(index) / table.ylen);
                    stream[i + 1] = ReadValue(r, table, static_cast<unsigned>(index) % table.ylen);
                }
                const auto& quad = tables::kHuffmanTables[32 + gi.count1table_select];
                int line = bigEnd;
                while (r.Pos() < end && line + 4 <= 576) {
                    const int p = ReadCode(r, quad);
                    if (p < 0) {
                        error = "no count1 codeword in frame " + std::to_string(n);
                        return {};
                    }
                    if (r.Pos() > end)
                        break;  // a partial codeword of stuffing, which decoders drop
                    for (int k = 0; k < 4; ++k) {
                        const int bit = (p >> (3 - k)) & 1;
                        stream[line + k] = bit && r.Get(1) ? -1 : bit;
                    }
                    line += 4;
                }
                if (r.Pos() > end && line <= bigEnd) {
                    error = "big values run past part2_3_length in frame " + std::to_string(n);
                    return {};
                }
                r = BitReader(mainData, end);  // past the stuffing
                int* out = f.values[gr][ch];
                if (isShort) {
                    int i = 0;
                    for (int sfb = 0; sfb < 13; ++sfb)
                        for (int w = 0; w < 3; ++w)
                            for (int k = bands.s[sfb]; k < bands.s[sfb + 1]; ++k)
                                out[3 * k + w] = stream[i++];
                } else {
                    std::copy(stream, stream + 576, out);
                }
            }
        }
    }
    return frames;
}

}  // namespace bitstreamtest
