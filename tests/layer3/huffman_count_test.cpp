// Table selection and bit counting: the counts must be exactly what the coder writes, and
// the choices must follow the tie rules and region limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "layer3/bit_field_list.h"
#include "layer3/huffman_coder.h"
#include "layer3/huffman_count.h"
#include "layer3/tables/huffman_tables.h"
#include "layer3/tables/scalefactor_tables.h"

namespace {

using namespace layer3;
using tables::kHuffmanTables;
const auto& kBands44 = tables::kScalefactorBands[0];

int Count(const GranuleValues& ix, GranuleInfo& gi, const ScalefactorBandBoundaries& bands = kBands44) {
    CalcRunLength(ix, gi);
    const int count1 = Count1BitCount(ix, gi);
    Subdivide(gi, bands);
    BigValuesTableSelect(ix, gi, bands);
    return CountBit(ix, gi, bands) + count1;
}

void ExpectSameChoices(const GranuleInfo& a, const GranuleInfo& b) {
    EXPECT_EQ(a.big_values, b.big_values);
    EXPECT_EQ(a.count1, b.count1);
    EXPECT_EQ(a.count1table_select, b.count1table_select);
    EXPECT_EQ(a.region0_count, b.region0_count);
    EXPECT_EQ(a.region1_count, b.region1_count);
    EXPECT_EQ(a.address1, b.address1);
    EXPECT_EQ(a.address2, b.address2);
    EXPECT_EQ(a.address3, b.address3);
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(a.table_select[k], b.table_select[k]) << "region " << k;
}

TEST(HuffmanCount, PredictedBitsEqualWrittenBitsOverRandomGranules) {
    std::mt19937 rng(11);
    const int maxima[] = {1, 2, 3, 5, 7, 9, 14, 15, 16, 22, 80, 700, 8206};
    BitFieldList out(576);
    for (int n = 0; n < 1500; ++n) {
        const auto& bands = tables::kScalefactorBands[n % 3];
        int ix[576] = {};
        GranuleInfo gi;
        const int kind = static_cast<int>(rng() % 4);
        gi.window_switching_flag = kind != 0;
        gi.block_type = static_cast<unsigned>(kind);
        const int maximum = maxima[rng() % std::size(maxima)];
        // Short big-value regions, down to a single pair, as well as long ones.
        const int big = n % 5 == 0 ? 2 * static_cast<int>(rng() % 3 + 1) : static_cast<int>(rng() % 576);
        const int count1 = static_cast<int>(rng() % 200);
        std::uniform_int_distribution<int> mag(-maximum, maximum), small(-1, 1);
        for (int i = 0; i < big; ++i)
            ix[i] = rng() % 3 ? mag(rng) : 0;
        for (int i = big; i < std::min(big + count1, 576); ++i)
            ix[i] = small(rng);
        if (kind == 2) std::shuffle(ix, ix + 576, rng);
        GranuleInfo fast = gi;
        const int predicted = Count(ix, gi, bands);
        // The one-pass form the loops use makes the same choices at the same cost.
        GranuleInfo hinted = fast;
        ASSERT_EQ(ChooseTablesAndCountBits(ix, fast, bands), predicted) << "granule " << n;
        ExpectSameChoices(fast, gi);
        // So does it when told where the zero lines begin, odd lines included.
        int zeroFrom = 576;
        while (zeroFrom > 0 && ix[zeroFrom - 1] == 0)
            --zeroFrom;
        ASSERT_EQ(ChooseTablesAndCountBits(ix, hinted, bands, zeroFrom), predicted) << "granule " << n;
        ExpectSameChoices(hinted, gi);
        gi.part2_length = 0;
        gi.part2_3_length = static_cast<unsigned>(predicted);
        ASSERT_EQ(EncodeGranuleHuffman(ix, gi, bands, out), predicted) << "granule " << n << " kind " << kind;
        // Every region lies within the big values.
        if (!IsShortBlock(gi)) {
            const BigValueRegions r = RegionsOf(gi);
            EXPECT_LE(r.region2Start, 2 * static_cast<int>(gi.big_values));
        }
    }
}

TEST(HuffmanCount, ZeroAndCount1OnlyGranules) {
    int ix[576] = {};
    GranuleInfo gi;
    EXPECT_EQ(Count(ix, gi), 0);
    EXPECT_EQ(gi.big_values, 0u);
    EXPECT_EQ(gi.count1, 0u);
    EXPECT_EQ(gi.region0_count + gi.region1_count + gi.address1 + gi.address2 + gi.address3, 0u);

    for (int i = 0; i < 576; ++i)
        ix[i] = (i % 3) - 1;
    Count(ix, gi);
    EXPECT_EQ(gi.big_values, 0u);
    EXPECT_EQ(gi.count1, 144u);

    // Two quadruples 0000 (table A 1 bit, B 4) and three 1111 (A 6 + 4 signs, B 4 + 4):
    // both sums are 32 bits, and the tie goes to table B.
    std::fill(std::begin(ix), std::end(ix), 0);
    for (int i = 8; i < 20; ++i)
        ix[i] = 1;
    gi = GranuleInfo{};
    CalcRunLength(ix, gi);
    EXPECT_EQ(gi.count1, 5u);
    EXPECT_EQ(Count1BitCount(ix, gi), 32);
    EXPECT_EQ(gi.count1table_select, 1u);
    ix[8] = ix[9] = ix[10] = ix[11] = 0;  // now table A is cheaper
    EXPECT_LT(Count1BitCount(ix, gi), 32);
    EXPECT_EQ(gi.count1table_select, 0u);
}

TEST(HuffmanCount, TieRulesOfTableChoice) {
    const int one[] = {1, 0, 0, 1};
    EXPECT_EQ(ChooseTable(one, 0, 4), 1);
    // (2,2) costs the same in tables 2 and 3; (0,0) + (0,1) costs 4 bits in both: tie to 3.
    const int tie[] = {2, 2, 0, 0, 0, 1};
    EXPECT_EQ(CountBitWithTable(tie, 0, 6, 2), CountBitWithTable(tie, 0, 6, 3));
    EXPECT_EQ(ChooseTable(tie, 0, 6), 3);
    const int cheaperIn2[] = {2, 2, 0, 0, 0, 0};
    EXPECT_EQ(ChooseTable(cheaperIn2, 0, 6), 2);

    // Maximum 15 compares table 15 and table 24: 15 keeps a tie, 24 must be strictly cheaper.
    std::mt19937 rng(1);
    bool sawTie = false, sawCheaper24 = false;
    for (int n = 0; n < 20000 && !(sawTie && sawCheaper24); ++n) {
        int v[8];
        for (int& x : v)
            x = static_cast<int>(rng() % 16);
        v[0] = 15;
        const int b15 = CountBitWithTable(v, 0, 8, 15), b24 = CountBitWithTable(v, 0, 8, 24);
        const int choice = ChooseTable(v, 0, 8);
        EXPECT_EQ(choice, b24 < b15 ? 24 : 15);
        sawTie |= b15 == b24;
        sawCheaper24 |= b24 < b15;
    }
    EXPECT_TRUE(sawTie);
    EXPECT_TRUE(sawCheaper24);

    EXPECT_EQ(ChooseTableShort(0), 0);
    EXPECT_EQ(ChooseTableShort(1), 1);
    EXPECT_EQ(ChooseTableShort(14), 13);
    EXPECT_EQ(ChooseTableShort(16), 16);
    EXPECT_EQ(ChooseTableShort(8206), 23);
}

TEST(HuffmanCount, Magnitude20TakesFourLinbitsInTable19AndIsRejectedByTable17) {
    const int v[] = {20, 0};
    const auto& t19 = kHuffmanTables[19];
    EXPECT_EQ(CountBitWithTable(v, 0, 2, 19), t19.lengths[15 * 16 + 0] + 4 + 1);
    EXPECT_EQ(ChooseTable(v, 0, 2), 18);  // the first of 16..23 whose escapes reach 5

    int ix[576] = {};
    ix[0] = -20;
    GranuleInfo gi;
    const int predicted = Count(ix, gi);
    gi.table_select[0] = 19;
    gi.part2_3_length = static_cast<unsigned>(CountBit(ix, gi, kBands44) + Count1BitCount(ix, gi));
    BitFieldList out;
    EncodeGranuleHuffman(ix, gi, kBands44, out);
    // The codeword, then escape 5 in four bits and the sign of -20.
    ASSERT_EQ(out.Count(), 1u);
    const BitField pair = *out.begin();
    EXPECT_EQ(pair.length, t19.lengths[15 * 16] + 5);
    EXPECT_EQ(pair.value, (t19.codes[15 * 16] << 5) | (5u << 1) | 1u);
    EXPECT_GT(predicted, 0);

    gi.table_select[0] = 17;
    EXPECT_EXIT(EncodeGranuleHuffman(ix, gi, kBands44, out), testing::ExitedWithCode(255), "linbits error");
}

TEST(HuffmanCount, ReservoirStuffingFollowsTheCount1RegionAsOneBits) {
    int ix[576] = {};
    ix[0] = 4;
    ix[5] = -1;
    GranuleInfo gi;
    const int predicted = Count(ix, gi);
    gi.part2_length = 12;
    gi.part2_3_length = static_cast<unsigned>(12 + predicted + 37);
    BitFieldList out;
    EXPECT_EQ(EncodeGranuleHuffman(ix, gi, kBands44, out), predicted);
    EXPECT_EQ(out.Bits(), predicted + 37);
    int ones = 0;
    for (auto it = out.end() - 2; it != out.end(); ++it) {
        EXPECT_EQ(it->value, it->length == 32 ? 0xFFFFFFFFu : (1u << it->length) - 1);
        ones += it->length;
    }
    EXPECT_EQ(ones, 37);
    gi.part2_3_length = static_cast<unsigned>(12 + predicted - 1);
    EXPECT_EXIT(EncodeGranuleHuffman(ix, gi, kBands44, out), testing::ExitedWithCode(255), "stufbits error");
}

TEST(HuffmanCount, RegionsNeverExtendPastTheBigValues) {
    for (const auto& bands : tables::kScalefactorBands) {
        for (int n = 2; n <= 576; n += 2) {
            GranuleInfo gi;
            gi.big_values = static_cast<unsigned>(n / 2);
            Subdivide(gi, bands);
            EXPECT_EQ(gi.address3, static_cast<unsigned>(n));
            // Regions 0 and 1 span at least one band each; beyond that they stay within the
            // big values, and the boundaries the coder uses always do.
            if (n >= bands.l[1]) {
                EXPECT_LE(gi.address1, static_cast<unsigned>(n)) << n;
            }
            if (n >= bands.l[2]) {
                EXPECT_LE(gi.address2, static_cast<unsigned>(n)) << n;
            }
            EXPECT_LE(RegionsOf(gi).region2Start, n);
            EXPECT_LE(gi.region0_count, 6u);
            EXPECT_LE(gi.region1_count, 7u);
            EXPECT_EQ(gi.address1, static_cast<unsigned>(bands.l[gi.region0_count + 1]));
        }
    }
    GranuleInfo start;
    start.window_switching_flag = 1;
    start.block_type = 1;
    start.big_values = 200;
    Subdivide(start, kBands44);
    EXPECT_EQ(start.region0_count, 7u);
    EXPECT_EQ(start.region1_count, 13u);
    EXPECT_EQ(start.address1, 36u);
    EXPECT_EQ(start.address2, 400u);
}

TEST(HuffmanCount, InconsistenciesEndTheProcessWithTheirMessage) {
    const int tooLarge[] = {8207, 0};
    EXPECT_EXIT(ChooseTable(tooLarge, 0, 2), testing::ExitedWithCode(255), "Hmmmppfff\\.\\.\\.");
    EXPECT_EXIT(ChooseTableShort(8207), testing::ExitedWithCode(255), "Can't decide what table to use");
    int ix[576] = {};
    ix[0] = 3;
    GranuleInfo gi;
    Count(ix, gi);
    gi.table_select[1] = 32;
    EXPECT_EXIT(CountBit(ix, gi, kBands44), testing::ExitedWithCode(255), "No valid table\\.\\.\\.");
}

}  // namespace
