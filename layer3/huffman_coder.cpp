#include "layer3/huffman_coder.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "layer3/tables/huffman_tables.h"
#include "platform/fatal_error.h"

namespace layer3 {

namespace {

using tables::kHuffmanTables;

// Gathers the granule's codes into fields of 32 bits: the same bits in the same order, in a
// quarter of the fields, so that writing them costs less.
class FieldPacker {
  public:
    explicit FieldPacker(BitFieldList& out) : out_(out) {}
    // Appends the low length bits of value (length 0..32).
    void Add(std::uint32_t value, int length) {
        if (length <= 0 || length > 32) return;
        const std::uint64_t mask = (std::uint64_t{1} << length) - 1;
        pending_ = (pending_ << length) | (value & mask);
        count_ += length;
        if (count_ >= 32) {
            count_ -= 32;
            out_.Add(static_cast<std::uint32_t>(pending_ >> count_), 32);
        }
    }
    // Appends what is left, fewer than 32 bits.
    void Flush() {
        if (count_ > 0) out_.Add(static_cast<std::uint32_t>(pending_), count_);
        pending_ = 0, count_ = 0;
    }

  private:
    BitFieldList& out_;
    std::uint64_t pending_ = 0;  // the low count_ bits wait
    int count_ = 0;
};

// Appends one value's escape bits (tables with linbits, magnitude 15 and up) and its sign.
void AppendExtension(int v, const tables::HuffmanTable& t, std::uint32_t& ext, int& extLength) {
    const unsigned magnitude = static_cast<unsigned>(std::abs(v));
    if (t.linbits && magnitude >= 15) {
        const unsigned escape = magnitude - 15;
        if (escape > t.linmax) platform::FatalError("linbits error");
        ext = (ext << t.linbits) | escape;
        extLength += static_cast<int>(t.linbits);
    }
    if (magnitude != 0) {
        ext = (ext << 1) | (v < 0 ? 1u : 0u);
        extLength += 1;
    }
}

// Codeword of (x, y), then the escape and sign bits of x and of y.
void EncodePair(int x, int y, unsigned table, FieldPacker& out) {
    if (table == 0) return;
    const auto& t = kHuffmanTables[table];
    const unsigned ax = static_cast<unsigned>(std::abs(x)), ay = static_cast<unsigned>(std::abs(y));
    // Below 15 no value escapes: the codeword and the sign bits of the values not 0, as one
    // field without a branch.
    if (ax < 15 && ay < 15) {
        if (ax >= t.xlen || ay >= t.ylen) platform::FatalError("linbits error");
        const unsigned index = ax * t.ylen + ay;
        const unsigned nx = ax != 0 ? 1u : 0u, ny = ay != 0 ? 1u : 0u;
        const unsigned signs = ((x < 0 ? 1u : 0u) << ny) | (y < 0 ? 1u : 0u);
        const int length = t.lengths[index];
        if (length <= 30) {
            out.Add((t.codes[index] << (nx + ny)) | signs, length + static_cast<int>(nx + ny));
            return;
        }
    }
    const unsigned cx = std::min(static_cast<unsigned>(std::abs(x)), 15u);
    const unsigned cy = std::min(static_cast<unsigned>(std::abs(y)), 15u);
    // A value the table has no codeword for cannot be coded by it.
    if (cx >= t.xlen || cy >= t.ylen) platform::FatalError("linbits error");
    const unsigned index = cx * t.ylen + cy;
    std::uint32_t ext = 0;
    int extLength = 0;
    AppendExtension(x, t, ext, extLength);
    AppendExtension(y, t, ext, extLength);
    const int length = t.lengths[index];
    if (length > 32 || extLength > 32) platform::FatalError("cbits error");
    // One field where both fit in 32 bits: the same bits in the same order, in fewer fields.
    if (length + extLength <= 32) {
        out.Add((extLength > 0 ? t.codes[index] << extLength : t.codes[index]) | ext, length + extLength);
        return;
    }
    out.Add(t.codes[index], length);
    out.Add(ext, extLength);
}

void EncodeLongBigValues(const GranuleValues& ix, const GranuleInfo& gi,
                         const ScalefactorBandBoundaries& bands, FieldPacker& out) {
    const unsigned region1Band = gi.region0_count + 1;
    const unsigned region2Band = gi.region0_count + gi.region1_count + 2;
    if (region1Band > 22 || region2Band > 22) platform::FatalError("scalefactor error");
    // Without big values the counting stage leaves every region address at 0.
    if (gi.big_values > 0 && static_cast<unsigned>(bands.l[region1Band]) != gi.address1)
        platform::FatalError("regionStart error");
    for (unsigned t : gi.table_select)
        if (t > 31) platform::FatalError("table index error");
    // The decoder ends each region at the band boundary or at the big values' end.
    const int end = 2 * static_cast<int>(gi.big_values);
    const int region1Start = std::min(bands.l[region1Band], end);
    const int region2Start = std::clamp(bands.l[region2Band], region1Start, end);
    for (int i = 0; i < end; i += 2) {
        const unsigned table = gi.table_select[i < region1Start ? 0 : (i < region2Start ? 1 : 2)];
        EncodePair(ix[i], ix[i + 1], table, out);
    }
}

void EncodeShortBigValues(const GranuleValues& ix, const GranuleInfo& gi,
                          const ScalefactorBandBoundaries& bands, FieldPacker& out) {
    for (int sfb = 0; sfb < 13; ++sfb) {
        const int start = bands.s[sfb], end = bands.s[sfb + 1];
        const unsigned table = gi.table_select[start < 12 ? 0 : 1];
        if (table > 31) platform::FatalError("tableindex error");
        for (int w = 0; w < 3; ++w)
            for (int k = start; k < end; k += 2)
                EncodePair(ix[3 * k + w], ix[3 * (k + 1) + w], table, out);
    }
}

void EncodeCount1(const GranuleValues& ix, const GranuleInfo& gi, FieldPacker& out) {
    if (gi.count1table_select > 1) platform::FatalError("gi error");
    const int begin = 2 * static_cast<int>(gi.big_values);
    const int end = begin + 4 * static_cast<int>(gi.count1);
    if (end > kGranuleLines) platform::FatalError("countEnd error");
    const auto& t = kHuffmanTables[tables::kCount1TableA + static_cast<int>(gi.count1table_select)];
    for (int i = begin; i < end; i += 4) {
        const int* q = &ix[i];
        const int p = 8 * std::abs(q[0]) + 4 * std::abs(q[1]) + 2 * std::abs(q[2]) + std::abs(q[3]);
        // Count1 values are -1..1; anything larger has no quadruple codeword.
        if (p > 15 || std::abs(q[0]) > 1 || std::abs(q[1]) > 1 || std::abs(q[2]) > 1 || std::abs(q[3]) > 1)
            platform::FatalError("countEnd error");
        std::uint32_t signs = 0;
        int signCount = 0;
        for (int k = 0; k < 4; ++k) {
            if (q[k] != 0) {
                signs = (signs << 1) | (q[k] < 0 ? 1u : 0u);
                ++signCount;
            }
        }
        // The codeword and its sign bits as one field (at most 10 bits).
        out.Add((t.codes[p] << signCount) | signs, t.lengths[p] + signCount);
    }
}

}  // namespace

int EncodeGranuleHuffman(const GranuleValues& ix, const GranuleInfo& gi,
                         const ScalefactorBandBoundaries& bands, BitFieldList& out) {
    out.Clear();
    FieldPacker packer(out);
    if (IsShortBlock(gi))
        EncodeShortBigValues(ix, gi, bands, packer);
    else
        EncodeLongBigValues(ix, gi, bands, packer);
    EncodeCount1(ix, gi, packer);
    packer.Flush();

    const int target = static_cast<int>(gi.part2_3_length) - static_cast<int>(gi.part2_length);
    const int coded = out.Bits();
    const int stuffing = target - coded;
    if (stuffing != 0) {
        if (stuffing < 0) platform::FatalError("stufbits error");
        out.AddRun(true, stuffing);
    }
    if (out.Bits() != target) platform::FatalError("bits write error");
    return coded;
}

}  // namespace layer3
