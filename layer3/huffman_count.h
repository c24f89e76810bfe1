// Huffman table selection and bit counting for one granule and channel: splits the 576
// quantized values into the big-values, count1 and zero regions, divides the big values into
// up to three regions with a table each, and counts the bits coding would take. The choices
// go into the granule's side information, which the formatter then writes by. Look-ups and
// integer arithmetic only: the rate-control loop calls these for every trial quantisation.
//
// Values of a short-block granule are interleaved by window: window w, line k is at 3k + w.
#pragma once

#include "layer3/side_info.h"
#include "layer3/tables/scalefactor_tables.h"

namespace layer3 {

using GranuleValues = int[kGranuleLines];
using tables::ScalefactorBandBoundaries;

// True for a granule of three short windows (never mixed in this encoder).
inline bool IsShortBlock(const GranuleInfo& gi) {
    return gi.window_switching_flag && gi.block_type == 2;
}

// Sets big_values and count1. A caller that knows the lines from zeroFrom on to be zero
// saves looking at them.
void CalcRunLength(const GranuleValues& ix, GranuleInfo& gi, int zeroFrom = kGranuleLines);
// Bits of the count1 region; picks count1table_select (a tie goes to table B).
int Count1BitCount(const GranuleValues& ix, GranuleInfo& gi);
// Sets region0_count, region1_count and address1..3.
void Subdivide(GranuleInfo& gi, const ScalefactorBandBoundaries& bands);
// Sets table_select[0..2].
void BigValuesTableSelect(const GranuleValues& ix, GranuleInfo& gi, const ScalefactorBandBoundaries& bands);
// Bits of the big-values region with the chosen tables.
int CountBit(const GranuleValues& ix, const GranuleInfo& gi, const ScalefactorBandBoundaries& bands);

// CalcRunLength, Count1BitCount, Subdivide, BigValuesTableSelect and CountBit in one pass, as
// the rate-control loop needs them for every trial: the same side information and the same
// total of count1 and big-value bits. Each pair's table index is worked out once, and the
// chosen tables' bits are kept from the choice instead of being counted again.
int ChooseTablesAndCountBits(const GranuleValues& ix, GranuleInfo& gi, const ScalefactorBandBoundaries& bands,
                             int zeroFrom = kGranuleLines);

// The cheapest table for the values in [begin, end) of a long block.
int ChooseTable(const int* ix, int begin, int end);
// The table for a short-block region whose largest magnitude is maximum.
int ChooseTableShort(int maximum);
// Bits of the pairs in [begin, end) coded with table.
int CountBitWithTable(const int* ix, int begin, int end, int table);

// The big-values region boundaries as the coder uses them: address1 and address2 capped at
// 2 * big_values, so that neither counting nor coding reaches past the big values.
struct BigValueRegions {
    int region1Start;
    int region2Start;
    int end;
};
BigValueRegions RegionsOf(const GranuleInfo& gi);

}  // namespace layer3
