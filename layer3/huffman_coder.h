// Huffman coding of one granule and channel into bit fields: the big-values pairs with the
// tables and regions chosen by the counting stage, the count1 quadruples, and the stuffing
// 1 bits that fill part2_3_length when the reservoir added bits to the granule.
#pragma once

#include "layer3/bit_field_list.h"
#include "layer3/huffman_count.h"

namespace layer3 {

// Clears out and fills it with the granule's Huffman data and stuffing, exactly
// part2_3_length - part2_length bits. Returns the Huffman bits before the stuffing.
int EncodeGranuleHuffman(const GranuleValues& ix, const GranuleInfo& gi,
                         const ScalefactorBandBoundaries& bands, BitFieldList& out);

}  // namespace layer3
