// The counting sequence the rate-control loop runs for every trial quantisation, and the
// Huffman coding of one granule.
#include <benchmark/benchmark.h>

#include <random>

#include "layer3/bit_field_list.h"
#include "layer3/huffman_coder.h"
#include "layer3/huffman_count.h"

namespace {

using namespace layer3;

// A music-like granule: large values at low frequencies falling off towards the top.
void MusicLikeGranule(int (&ix)[576]) {
    std::mt19937 rng(42);
    for (int i = 0; i < 576; ++i) {
        const int scale = i < 400 ? 40 - i / 10 : 0;
        ix[i] = scale > 0 ? std::uniform_int_distribution<int>(-scale, scale)(rng) : 0;
    }
    for (int i = 400; i < 480; ++i)
        ix[i] = static_cast<int>(rng() % 3) - 1;
}

void BM_CountGranule(benchmark::State& state) {
    int ix[576];
    MusicLikeGranule(ix);
    const auto& bands = tables::kScalefactorBands[0];
    for (auto _ : state) {
        GranuleInfo gi;
        CalcRunLength(ix, gi);
        int bits = Count1BitCount(ix, gi);
        Subdivide(gi, bands);
        BigValuesTableSelect(ix, gi, bands);
        bits += CountBit(ix, gi, bands);
        benchmark::DoNotOptimize(bits);
    }
}
BENCHMARK(BM_CountGranule);

void BM_EncodeGranule(benchmark::State& state) {
    int ix[576];
    MusicLikeGranule(ix);
    const auto& bands = tables::kScalefactorBands[0];
    GranuleInfo gi;
    CalcRunLength(ix, gi);
    int bits = Count1BitCount(ix, gi);
    Subdivide(gi, bands);
    BigValuesTableSelect(ix, gi, bands);
    bits += CountBit(ix, gi, bands);
    gi.part2_3_length = static_cast<unsigned>(bits);
    BitFieldList out(576);
    for (auto _ : state)
        benchmark::DoNotOptimize(EncodeGranuleHuffman(ix, gi, bands, out));
}
BENCHMARK(BM_EncodeGranule);

}  // namespace
