#include "layer3/huffman_count.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "layer3/tables/huffman_tables.h"
#include "layer3/vector_kernels.h"
#include "platform/fatal_error.h"

namespace layer3 {

namespace {

using tables::kHuffmanTables;

// The largest region0_count and region1_count by the first long band at or above the end of
// the big values.
constexpr int kSubdivideRegion0[23] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6};
constexpr int kSubdivideRegion1[23] = {0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6, 6, 6, 7, 7, 7};

int LargestMagnitude(const int* ix, int begin, int end) {
    int m = 0;
    for (int i = begin; i < end; ++i)
        m = std::max(m, std::abs(ix[i]));
    return m;
}

int Count1Index(const int* q) {
    return 8 * std::abs(q[0]) + 4 * std::abs(q[1]) + 2 * std::abs(q[2]) + std::abs(q[3]);
}

// The first table in [from, to] whose escape range reaches e, or -1.
int FirstTableWithLinmax(int from, int to, int e) {
    for (int t = from; t <= to; ++t)
        if (kHuffmanTables[t].linmax >= static_cast<unsigned>(e)) return t;
    return -1;
}

// The first table whose pairs reach m without escapes, or -1.
int FirstTableWithXlenAbove(int m) {
    for (int t = 0; t < 32; ++t)
        if (kHuffmanTables[t].xlen > static_cast<unsigned>(m)) return t;
    return -1;
}

// Replaces choice by candidate when the candidate codes the region in no more bits.
void PreferIfNotDearer(int& choice, int& choiceBits, int candidate, const int* ix, int begin, int end) {
    const int bits = CountBitWithTable(ix, begin, end, candidate);
    if (bits <= choiceBits) {
        choice = candidate;
        choiceBits = bits;
    }
}

int ChooseTableWithoutEscapes(const int* ix, int begin, int end, int m) {
    int choice = FirstTableWithXlenAbove(m);
    if (choice < 0) platform::FatalError("Can't choose a table ....");
    int bits = CountBitWithTable(ix, begin, end, choice);
    switch (choice) {
        case 2:
            PreferIfNotDearer(choice, bits, 3, ix, begin, end);
            break;
        case 5:
            PreferIfNotDearer(choice, bits, 6, ix, begin, end);
            break;
        case 7:
            PreferIfNotDearer(choice, bits, 8, ix, begin, end);
            PreferIfNotDearer(choice, bits, 9, ix, begin, end);
            break;
        case 10:
            PreferIfNotDearer(choice, bits, 11, ix, begin, end);
            PreferIfNotDearer(choice, bits, 12, ix, begin, end);
            break;
        case 13:
            PreferIfNotDearer(choice, bits, 15, ix, begin, end);
            break;
        default:
            break;
    }
    return choice;
}

int ChooseTableWithEscapes(const int* ix, int begin, int end, int m) {
    const int e = m - 15;
    const int first = FirstTableWithLinmax(15, 23, e);
    const int second = FirstTableWithLinmax(24, 31, e);
    if (first < 0 || second < 0) platform::FatalError("Hmmmppfff...");
    // The second family wins only when strictly cheaper.
    return CountBitWithTable(ix, begin, end, second) < CountBitWithTable(ix, begin, end, first) ? second
                                                                                                : first;
}

// The windows' lines interleave (line 3k + w), so the bands that start below line 12 of a
// window hold the granule's lines below 3 * (the first band start of 12 or more), and the
// others the lines from there to the last band's end.
void SelectShortBlockTables(const GranuleValues& ix, GranuleInfo& gi,
                            const ScalefactorBandBoundaries& bands) {
    int split = 13;
    while (split > 0 && bands.s[split - 1] >= 12)
        --split;
    const int middle = 3 * bands.s[split], end = 3 * bands.s[13];
    if (bands.s[0] < 0 || end > kGranuleLines) platform::FatalError("Invalid line selected...");
    const int maximum[2] = {LargestMagnitude(ix, 3 * bands.s[0], middle), LargestMagnitude(ix, middle, end)};
    gi.table_select[0] = static_cast<unsigned>(ChooseTableShort(maximum[0]));
    gi.table_select[1] = static_cast<unsigned>(ChooseTableShort(maximum[1]));
}

// Defined with the pair costs below.
int CountShortBlockBits(const GranuleValues& ix, const GranuleInfo& gi,
                        const ScalefactorBandBoundaries& bands);

// Whether all 16 values from v on lie in -1..1: v + 1 as unsigned is then at most 2.
bool AllWithinOne16(const int* v) {
    unsigned outside = 0;
    for (int k = 0; k < 16; ++k)
        outside |= static_cast<unsigned>(v[k] + 1) > 2u ? 1u : 0u;
    return outside == 0;
}

}  // namespace

void CalcRunLength(const GranuleValues& ix, GranuleInfo& gi, int zeroFrom) {
    if (IsShortBlock(gi)) {
        gi.count1 = 0;
        gi.big_values = kGranuleLines / 2;
        return;
    }
    // The pairs wholly at or above zeroFrom are zero pairs without looking.
    int i = std::clamp(zeroFrom + (zeroFrom & 1), 0, kGranuleLines);
    int zeroPairs = (kGranuleLines - i) / 2, quadruples = 0;
    for (; i > 1 && ix[i - 1] == 0 && ix[i - 2] == 0; i -= 2)
        ++zeroPairs;
    // Four quadruples at a time while all 16 values lie in -1..1, then one at a time.
    for (; i > 15 && AllWithinOne16(&ix[i - 16]); i -= 16)
        quadruples += 4;
    for (; i > 3 && std::abs(ix[i - 1]) <= 1 && std::abs(ix[i - 2]) <= 1 && std::abs(ix[i - 3]) <= 1 &&
           std::abs(ix[i - 4]) <= 1;
         i -= 4)
        ++quadruples;
    gi.count1 = static_cast<unsigned>(quadruples);
    gi.big_values = static_cast<unsigned>(i / 2);
    if (2 * zeroPairs + 4 * quadruples + 2 * static_cast<int>(gi.big_values) != kGranuleLines)
        platform::FatalError("bladibla!=576");
}

int Count1BitCount(const GranuleValues& ix, GranuleInfo& gi) {
    // A quadruple's cost in table A and in table B, its sign bits included (one bit for each
    // nonzero value, and so for each bit of its index), side by side in one word: 144
    // quadruples of at most 10 bits never carry into the upper half.
    struct Count1Costs {
        std::uint32_t ab[16];
        Count1Costs() {
            const auto& ta = kHuffmanTables[tables::kCount1TableA];
            const auto& tb = kHuffmanTables[tables::kCount1TableB];
            for (int p = 0; p < 16; ++p) {
                const unsigned signs = (p & 1) + ((p >> 1) & 1) + ((p >> 2) & 1) + ((p >> 3) & 1);
                ab[p] = (ta.lengths[p] + signs) | (tb.lengths[p] + signs) << 16;
            }
        }
    };
    static const Count1Costs costs;
    std::uint32_t sum = 0;
    const int begin = 2 * static_cast<int>(gi.big_values);
    const int end = std::min(begin + 4 * static_cast<int>(gi.count1), kGranuleLines);
    for (int i = begin; i + 4 <= end; i += 4)
        sum += costs.ab[Count1Index(&ix[i])];
    const int sumA = static_cast<int>(sum & 0xFFFF), sumB = static_cast<int>(sum >> 16);
    if (sumA < sumB) {
        gi.count1table_select = 0;
        return sumA;
    }
    gi.count1table_select = 1;
    return sumB;
}

void Subdivide(GranuleInfo& gi, const ScalefactorBandBoundaries& bands) {
    const int n = 2 * static_cast<int>(gi.big_values);
    if (n == 0) {
        gi.region0_count = gi.region1_count = 0;
        gi.address1 = gi.address2 = gi.address3 = 0;
        return;
    }
    if (gi.window_switching_flag) {
        const bool shortBlock = gi.block_type == 2;
        gi.region0_count = shortBlock ? 8 : 7;
        gi.region1_count = shortBlock ? 36 : 13;
        gi.address1 = static_cast<unsigned>(bands.l[8]);
        gi.address2 = static_cast<unsigned>(n);
        gi.address3 = 0;
        return;
    }
    int i = 0;
    while (i < 23 && bands.l[i] < n)
        ++i;
    if (i > 22) platform::FatalError("scbf >= 23 !!");
    int r0 = kSubdivideRegion0[i];
    while (r0 > 0 && bands.l[r0 + 1] > n)
        --r0;
    int r1 = kSubdivideRegion1[i];
    while (r1 > 0 && bands.l[r0 + r1 + 2] > n)
        --r1;
    gi.region0_count = static_cast<unsigned>(r0);
    gi.region1_count = static_cast<unsigned>(r1);
    gi.address1 = static_cast<unsigned>(bands.l[r0 + 1]);
    gi.address2 = static_cast<unsigned>(bands.l[r0 + r1 + 2]);
    gi.address3 = static_cast<unsigned>(n);
}

BigValueRegions RegionsOf(const GranuleInfo& gi) {
    const int end = 2 * static_cast<int>(gi.big_values);
    const int r1 = std::min(static_cast<int>(gi.address1), end);
    const int r2 = std::clamp(static_cast<int>(gi.address2), r1, end);
    return {r1, r2, end};
}

void BigValuesTableSelect(const GranuleValues& ix, GranuleInfo& gi, const ScalefactorBandBoundaries& bands) {
    gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = 0;
    if (IsShortBlock(gi)) {
        SelectShortBlockTables(ix, gi, bands);
        return;
    }
    const BigValueRegions r = RegionsOf(gi);
    if (r.region1Start > 0) gi.table_select[0] = static_cast<unsigned>(ChooseTable(ix, 0, r.region1Start));
    if (r.region1Start < r.region2Start)
        gi.table_select[1] = static_cast<unsigned>(ChooseTable(ix, r.region1Start, r.region2Start));
    if (r.region2Start < r.end)
        gi.table_select[2] = static_cast<unsigned>(ChooseTable(ix, r.region2Start, r.end));
}

int CountBit(const GranuleValues& ix, const GranuleInfo& gi, const ScalefactorBandBoundaries& bands) {
    if (IsShortBlock(gi)) return CountShortBlockBits(ix, gi, bands);
    for (unsigned t : gi.table_select)
        if (t > 31) platform::FatalError("No valid table...");
    const BigValueRegions r = RegionsOf(gi);
    return CountBitWithTable(ix, 0, r.region1Start, static_cast<int>(gi.table_select[0])) +
           CountBitWithTable(ix, r.region1Start, r.region2Start, static_cast<int>(gi.table_select[1])) +
           CountBitWithTable(ix, r.region2Start, r.end, static_cast<int>(gi.table_select[2]));
}

int ChooseTable(const int* ix, int begin, int end) {
    const int m = LargestMagnitude(ix, begin, end);
    if (m == 0) return 0;
    return m <= 14 ? ChooseTableWithoutEscapes(ix, begin, end, m) : ChooseTableWithEscapes(ix, begin, end, m);
}

int ChooseTableShort(int maximum) {
    int table = -1;
    if (maximum == 0)
        table = 0;
    else if (maximum <= 14)
        table = FirstTableWithXlenAbove(maximum);
    else
        table = FirstTableWithLinmax(15, 31, maximum - 15);
    if (table < 0) platform::FatalError("Can't decide what table to use...");
    return table;
}

namespace {

// What a pair costs in each big-value table: its codeword, its sign bits and its escape bits,
// indexed by min(x, 15) * 16 + min(y, 15); pairs a table cannot hold cost kCannotCode, which
// no sum of real costs reaches. Built once; counting then takes one look-up per pair.
constexpr int kCannotCode = 1 << 24;

struct PairCosts {
    int cost[32][256];
    PairCosts() {
        for (int table = 0; table < 32; ++table) {
            const auto& t = kHuffmanTables[table];
            for (int x = 0; x < 16; ++x)
                for (int y = 0; y < 16; ++y) {
                    int& c = cost[table][x * 16 + y];
                    if (static_cast<unsigned>(x) >= t.xlen || static_cast<unsigned>(y) >= t.ylen ||
                        !t.lengths) {
                        c = kCannotCode;
                        continue;
                    }
                    c = t.lengths[static_cast<unsigned>(x) * t.ylen + static_cast<unsigned>(y)] + (x != 0) +
                        (y != 0);
                    if (t.linbits) c += static_cast<int>(t.linbits) * ((x >= 15) + (y >= 15));
                }
        }
    }
};

const PairCosts& Costs() {
    static const PairCosts costs;
    return costs;
}

// The candidate tables' costs of a pair side by side in one word, 16 bits each, so that one
// look-up and one addition per pair count a region for all of them; no region's sum reaches
// 2^16 (at most 288 pairs of at most 47 bits). For the tables a choice without escapes tries
// (those of the first table's size), and for the escape families: the codeword and sign bits
// of tables 15 or 16 (all of 16..23 share 16's codewords) and of 24 (all of 24..31 share
// its), and the number of escaped values, which each table's escape length multiplies.
struct PackedPairCosts {
    static constexpr int kSmallGroups = 16;
    std::uint64_t small[kSmallGroups][256] = {};  // by the first table of the choice
    std::uint64_t escape15[256] = {}, escape16[256] = {};
    bool usable = true;  // false where the tables do not share codewords as above

    explicit PackedPairCosts(const PairCosts& c) {
        for (int first = 0; first < kSmallGroups; ++first) {
            const auto group = SmallGroup(first);
            for (int i = 0; i < 256; ++i)
                for (int k = 0; k < 3 && group[k] != 0; ++k)
                    small[first][i] |= static_cast<std::uint64_t>(Field(c.cost[group[k]][i])) << (16 * k);
        }
        for (int i = 0; i < 256; ++i) {
            const int escaped = (i / 16 >= 15) + (i % 16 >= 15);
            const auto base = [&](int t) {
                return c.cost[t][i] - static_cast<int>(kHuffmanTables[t].linbits) * escaped;
            };
            for (int t = 17; t <= 23; ++t)
                usable = usable && base(t) == base(16);
            for (int t = 25; t <= 31; ++t)
                usable = usable && base(t) == base(24);
            const std::uint64_t common =
                static_cast<std::uint64_t>(Field(base(24))) << 16 | static_cast<std::uint64_t>(escaped) << 32;
            escape15[i] = Field(base(15)) | common;
            escape16[i] = Field(base(16)) | common;
        }
    }
    // The tables a choice without escapes tries after its first table; 0 ends the list.
    static std::array<int, 3> SmallGroup(int first) {
        switch (first) {
            case 2:
                return {2, 3, 0};
            case 5:
                return {5, 6, 0};
            case 7:
                return {7, 8, 9};
            case 10:
                return {10, 11, 12};
            case 13:
                return {13, 15, 0};
            default:
                return {first, 0, 0};
        }
    }
    // A pair that the table cannot hold never reaches the sums: the first table holds every
    // value of the region.
    static std::uint64_t Field(int cost) {
        return cost >= kCannotCode ? 0 : static_cast<std::uint64_t>(cost);
    }
};

const PackedPairCosts& PackedCosts() {
    static const PackedPairCosts packed(Costs());
    return packed;
}

int PairIndex(const int* pair) {
    return std::min(std::abs(pair[0]), 15) * 16 + std::min(std::abs(pair[1]), 15);
}

// Each window's pairs of lines in each band, at the table of the band's half, from the pair
// costs (codeword, signs and escapes).
int CountShortBlockBits(const GranuleValues& ix, const GranuleInfo& gi,
                        const ScalefactorBandBoundaries& bands) {
    int bits = 0;
    for (int sfb = 0; sfb < 13; ++sfb) {
        const int start = bands.s[sfb], end = bands.s[sfb + 1];
        const unsigned table = gi.table_select[start < 12 ? 0 : 1];
        if (table > 31) platform::FatalError("No valid table...");
        if (table == 0) continue;
        const int* cost = Costs().cost[table];
        // Lines 3k .. 3k + 5 hold the pair (k, k + 1) of each window w as lines w and w + 3:
        // the three windows' pairs in one pass over the band's lines.
        for (int k = start; k < end; k += 2) {
            const int* v = &ix[3 * k];
            const int first[2] = {v[0], v[3]}, second[2] = {v[1], v[4]}, third[2] = {v[2], v[5]};
            bits += cost[PairIndex(first)] + cost[PairIndex(second)] + cost[PairIndex(third)];
        }
    }
    // A table that cannot hold a pair would read outside its codes.
    if (bits >= kCannotCode) platform::FatalError("No valid table...");
    return bits;
}

// A region's pairs as indices into the cost tables, each pair worked out once for all the
// tables a choice tries.
struct RegionPairs {
    const std::uint8_t* index;  // index[p]: the cost index of pair p (lines 2p, 2p + 1)
    int begin, end;             // lines
    int largest;                // the largest magnitude in the region

    // The bits of the region coded with each of tables[0..count) (at most 3 tables, none of
    // them 0), counted in one pass; a table that cannot hold a pair would read outside its
    // codes.
    // The sum of a packed cost word over the region's pairs.
    std::uint64_t PackedSum(const std::uint64_t* packed) const {
        std::uint64_t sum = 0;
        for (int p = begin / 2; p < end / 2; ++p)
            sum += packed[index[p]];
        return sum;
    }

    void Bits(const int* tables, int count, int* bits) const {
        const int* cost[3];
        for (int k = 0; k < count; ++k) {
            if (tables[k] < 1 || tables[k] > 31) platform::FatalError("No valid table...");
            cost[k] = Costs().cost[tables[k]];
        }
        int sum[3] = {0, 0, 0};
        if (count == 3) {
            for (int p = begin / 2; p < end / 2; ++p) {
                sum[0] += cost[0][index[p]];
                sum[1] += cost[1][index[p]];
                sum[2] += cost[2][index[p]];
            }
        } else if (count == 2) {
            for (int p = begin / 2; p < end / 2; ++p) {
                sum[0] += cost[0][index[p]];
                sum[1] += cost[1][index[p]];
            }
        } else {
            for (int p = begin / 2; p < end / 2; ++p)
                sum[0] += cost[0][index[p]];
        }
        for (int k = 0; k < count; ++k) {
            if (sum[k] >= kCannotCode) platform::FatalError("No valid table...");
            bits[k] = sum[k];
        }
    }
};

struct TableChoice {
    int table;
    int bits;
};

// ChooseTable's rules on cost indices; the bits are those of the chosen table.
TableChoice ChooseRegionTable(const RegionPairs& r) {
    const int m = r.largest;
    if (m == 0) return {0, 0};
    const PackedPairCosts& packed = PackedCosts();
    if (m > 14 && packed.usable) {
        const int e = m - 15;
        const int first = FirstTableWithLinmax(15, 23, e);
        const int second = FirstTableWithLinmax(24, 31, e);
        if (first < 0 || second < 0) platform::FatalError("Hmmmppfff...");
        const std::uint64_t sum = r.PackedSum(first == 15 ? packed.escape15 : packed.escape16);
        const int escaped = static_cast<int>(sum >> 32 & 0xFFFF);
        const int firstBits =
            static_cast<int>(sum & 0xFFFF) + static_cast<int>(kHuffmanTables[first].linbits) * escaped;
        const int secondBits =
            static_cast<int>(sum >> 16 & 0xFFFF) + static_cast<int>(kHuffmanTables[second].linbits) * escaped;
        return secondBits < firstBits ? TableChoice{second, secondBits} : TableChoice{first, firstBits};
    }
    if (m <= 14 && packed.usable) {
        const int first = FirstTableWithXlenAbove(m);
        if (first < 0 || first >= PackedPairCosts::kSmallGroups)
            platform::FatalError("Can't choose a table ....");
        const auto group = PackedPairCosts::SmallGroup(first);
        const std::uint64_t sum = r.PackedSum(packed.small[first]);
        // A later table wins a tie.
        TableChoice c{first, static_cast<int>(sum & 0xFFFF)};
        for (int k = 1; k < 3 && group[k] != 0; ++k) {
            const int bits = static_cast<int>(sum >> (16 * k) & 0xFFFF);
            if (bits <= c.bits) c = {group[k], bits};
        }
        return c;
    }
    if (m > 14) {
        const int e = m - 15;
        const int first = FirstTableWithLinmax(15, 23, e);
        const int second = FirstTableWithLinmax(24, 31, e);
        if (first < 0 || second < 0) platform::FatalError("Hmmmppfff...");
        const int tables[2] = {second, first};
        int bits[2];
        r.Bits(tables, 2, bits);
        return bits[0] < bits[1] ? TableChoice{second, bits[0]} : TableChoice{first, bits[1]};
    }
    const int first = FirstTableWithXlenAbove(m);
    if (first < 0) platform::FatalError("Can't choose a table ....");
    // The first table that holds the values, then those of the same size that may code them
    // in fewer bits; a later one wins a tie.
    int tables[3] = {first, 0, 0};
    int count = 1;
    switch (first) {
        case 2:
            tables[count++] = 3;
            break;
        case 5:
            tables[count++] = 6;
            break;
        case 7:
            tables[count++] = 8;
            tables[count++] = 9;
            break;
        case 10:
            tables[count++] = 11;
            tables[count++] = 12;
            break;
        case 13:
            tables[count++] = 15;
            break;
        default:
            break;
    }
    int bits[3];
    r.Bits(tables, count, bits);
    TableChoice c{first, bits[0]};
    for (int k = 1; k < count; ++k)
        if (bits[k] <= c.bits) c = {tables[k], bits[k]};
    return c;
}

}  // namespace

int CountBitWithTable(const int* ix, int begin, int end, int table) {
    if (table == 0 || begin >= end) return 0;
    if (table < 0 || table > 31) platform::FatalError("No valid table...");
    const int* cost = Costs().cost[table];
    int bits = 0;
    for (int i = begin; i < end; i += 2)
        bits += cost[PairIndex(&ix[i])];
    // A table that cannot hold a pair would read outside its codes.
    if (bits >= kCannotCode) platform::FatalError("No valid table...");
    return bits;
}

VELTO_VECTOR_KERNEL int ChooseTablesAndCountBits(const GranuleValues& ix, GranuleInfo& gi,
                                                 const ScalefactorBandBoundaries& bands, int zeroFrom) {
    CalcRunLength(ix, gi, zeroFrom);
    const int count1Bits = Count1BitCount(ix, gi);
    Subdivide(gi, bands);
    gi.table_select[0] = gi.table_select[1] = gi.table_select[2] = 0;
    if (IsShortBlock(gi)) {
        SelectShortBlockTables(ix, gi, bands);
        return count1Bits + CountShortBlockBits(ix, gi, bands);
    }
    const BigValueRegions r = RegionsOf(gi);
    std::uint8_t index[kGranuleLines / 2];
    for (int p = 0; p < r.end / 2; ++p)
        index[p] = static_cast<std::uint8_t>(PairIndex(&ix[2 * p]));
    const int bounds[4] = {0, r.region1Start, r.region2Start, r.end};
    int bits = count1Bits;
    for (int k = 0; k < 3; ++k) {
        RegionPairs region{index, bounds[k], bounds[k + 1], 0};
        if (region.begin >= region.end) continue;
        region.largest = LargestMagnitude(ix, region.begin, region.end);
        const TableChoice c = ChooseRegionTable(region);
        gi.table_select[k] = static_cast<unsigned>(c.table);
        bits += c.bits;
    }
    return bits;
}

}  // namespace layer3
