// Streams built through the formatter must decode in a real decoder without one error or
// warning: silence, a single spectral line, every table with escapes up to 8206, both count1
// tables, short blocks, main data borrowed from earlier frames, and stuffing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "layer3/tables/huffman_tables.h"
#include "tests/layer3/bitstream_frames.h"
#include "tests/layer3/bitstream_reader.h"

namespace {

using namespace bitstreamtest;

#ifdef VELTO_HAVE_MPG123

void ExpectCleanDecode(const std::vector<std::uint8_t>& bytes, int frames, int channels) {
    const testmp3::Decoded d = testmp3::DecodeBytes(bytes);
    EXPECT_TRUE(d.Clean()) << "errors " << d.errors << ", decoder said: " << d.messages;
    EXPECT_EQ(d.channels, channels);
    EXPECT_EQ(d.frames, frames);
    EXPECT_EQ(d.SamplesPerChannel(), static_cast<std::size_t>(frames) * 1152);
}

// The stream's own main_data_begin values: each frame's main data starts right where the
// previous frame's ended, and no pointer reaches back more than 511 bytes.
void ExpectMainDataChained(const StreamBuilder& b, const std::vector<std::uint8_t>& bytes) {
    const std::vector<int> begins = ReadMainDataBegins(bytes);
    ASSERT_EQ(begins.size(), b.frameBits.size());
    EXPECT_EQ(begins, b.mainDataBegin);
    const int sideBits = HeaderAndSideInfoBits(b.s, b.s.stereo);
    long long regionStart = 0;  // start of this frame's main-data room, in main-data bits
    long long previousEnd = 0;  // where the previous frame's main data ended
    for (std::size_t n = 0; n < begins.size(); ++n) {
        EXPECT_LE(begins[n], 511);
        EXPECT_EQ(regionStart - 8LL * begins[n], previousEnd) << "frame " << n;
        previousEnd = regionStart - 8LL * begins[n] + b.mainDataBits[n];
        regionStart += b.frameBits[n] - sideBits;
        // The reservoir's own count is what the formatter leaves for the next frame.
        if (n + 1 < begins.size()) {
            EXPECT_EQ(begins[n + 1] * 8, b.reservoirAfter[n]) << "frame " << n;
        }
    }
}

// Reads the values back out of the stream and compares them with what each frame was made of.
void ExpectValuesCarried(const StreamBuilder& b, const std::vector<std::uint8_t>& bytes) {
    std::string error;
    const std::vector<ReadFrame> frames = ReadStream(bytes, error);
    ASSERT_EQ(frames.size(), b.records.size()) << error;
    for (std::size_t n = 0; n < frames.size(); ++n) {
        for (int gr = 0; gr < 2; ++gr) {
            for (int ch = 0; ch < b.s.stereo; ++ch) {
                const GranuleInfo& want = b.records[n].side.gr[gr][ch];
                const GranuleInfo& got = frames[n].side.gr[gr][ch];
                ASSERT_EQ(got.part2_3_length, want.part2_3_length) << n;
                ASSERT_EQ(got.big_values, want.big_values) << n;
                ASSERT_EQ(got.block_type, want.block_type) << n;
                for (int i = 0; i < 576; ++i)
                    ASSERT_EQ(frames[n].values[gr][ch][i], b.records[n].ix[gr][ch][i])
                        << "frame " << n << " granule " << gr << " channel " << ch << " line " << i;
                const bool isShort = IsShortBlock(want);
                for (int sfb = 0; sfb < (isShort ? 12 : 21); ++sfb) {
                    for (int w = 0; w < (isShort ? 3 : 1); ++w) {
                        const int group = sfb < 6 ? 0 : sfb < 11 ? 1 : sfb < 16 ? 2 : 3;
                        // Granule 1 of a long block takes the groups whose scfsi is set from granule 0.
                        const bool reused = !isShort && gr == 1 && b.records[n].side.scfsi[ch][group];
                        const ScaleFactors& sent = b.records[n].sf.sf[reused ? 0 : gr][ch];
                        if (isShort) {
                            ASSERT_EQ(frames[n].sf.sf[gr][ch].s[sfb][w], sent.s[sfb][w]);
                        } else {
                            ASSERT_EQ(frames[n].sf.sf[gr][ch].l[sfb], sent.l[sfb]);
                        }
                    }
                }
            }
        }
    }
}

TEST(BitstreamDecode, SilenceFramesDecodeToSilenceAndEndWithTheLastFrame) {
    StreamBuilder b(44100, 128, 2);
    for (int f = 0; f < 30; ++f)
        b.Frame();
    const auto bytes = b.Finish();
    ExpectCleanDecode(bytes, 30, 2);
    ExpectMainDataChained(b, bytes);
    const auto headers = testmp3::ParseHeaders(bytes);
    ASSERT_EQ(headers.size(), 30u);
    std::size_t total = 0;
    for (const auto& h : headers)
        total += static_cast<std::size_t>(h.lengthBytes);
    // 417 and 418 byte frames at 44100 Hz and 128 kbps, and nothing after them.
    EXPECT_EQ(headers[0].padding, 1);
    EXPECT_EQ(bytes.size(), total);
    const testmp3::Decoded d = testmp3::DecodeBytes(bytes);
    EXPECT_TRUE(std::all_of(d.samples.begin(), d.samples.end(), [](std::int16_t v) { return v == 0; }));
    // Silence leaves the whole frame to the reservoir, which fills to its 4088-bit limit and
    // stuffs the rest into the granules.
    EXPECT_EQ(b.reservoirAfter.back(), 4088);
}

// Power of x at frequency f (Goertzel).
double PowerAt(const std::vector<std::int16_t>& x, int channels, double f, double rate) {
    const double w = 2 * M_PI * f / rate;
    double s1 = 0, s2 = 0;
    for (std::size_t i = 0; i < x.size(); i += static_cast<std::size_t>(channels)) {
        const double s0 = x[i] + 2 * std::cos(w) * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
}

TEST(BitstreamDecode, OneSpectralLineComesOutAsAToneInItsSubband) {
    StreamBuilder b(48000, 128, 1);
    const int line = 18 * 7 + 9;  // the middle of subband 7
    for (int f = 0; f < 12; ++f) {
        for (int gr = 0; gr < 2; ++gr) {
            b.Values(gr, 0)[line] = 40;
            b.side.gr[gr][0].global_gain = 170;
        }
        b.Frame();
    }
    const auto bytes = b.Finish();
    ExpectCleanDecode(bytes, 12, 1);
    const testmp3::Decoded d = testmp3::DecodeBytes(bytes);
    // Long-block line k sits at (k + 0.5) * rate / 1152; subbands are rate / 64 wide.
    const double expected = (line + 0.5) * 48000.0 / 1152.0;
    double best = 0, bestF = 0;
    for (double f = 100; f < 24000; f += 25) {
        const double p = PowerAt(d.samples, 1, f, 48000);
        if (p > best) {
            best = p;
            bestF = f;
        }
    }
    EXPECT_NEAR(bestF, expected, 100.0);
    EXPECT_EQ(static_cast<int>(bestF / 750.0), 7);
    EXPECT_GT(*std::max_element(d.samples.begin(), d.samples.end()), 1000);
}

// Fills a long granule's lines [0, bigLines) with magnitudes up to maximum (about a third of
// them zero) and the next count1Lines with -1..1.
void FillGranule(std::mt19937& rng, int (&ix)[576], int bigLines, int maximum, int count1Lines) {
    std::fill(std::begin(ix), std::end(ix), 0);
    std::uniform_int_distribution<int> mag(0, maximum), sign(0, 1), small(-1, 1), zero(0, 2);
    for (int i = 0; i < bigLines && i < 576; ++i)
        ix[i] = zero(rng) == 0 ? 0 : (sign(rng) ? -1 : 1) * mag(rng);
    if (bigLines > 0 && maximum > 0)
        ix[std::min(bigLines, 576) - 1] = maximum;  // the region's largest value is present
    for (int i = bigLines; i < bigLines + count1Lines && i < 576; ++i)
        ix[i] = small(rng);
}

// Random scalefactors that fit the widths of a random scalefac_compress.
void RandomScalefactors(std::mt19937& rng, GranuleInfo& gi, ScaleFactors& sf) {
    gi.scalefac_compress = std::uniform_int_distribution<unsigned>(0, 15)(rng);
    const int slen1 = tables::kSlen1[gi.scalefac_compress], slen2 = tables::kSlen2[gi.scalefac_compress];
    for (int sfb = 0; sfb < 21; ++sfb)
        sf.l[sfb] = std::uniform_int_distribution<int>(0, (1 << (sfb < 11 ? slen1 : slen2)) - 1)(rng);
    for (int sfb = 0; sfb < 12; ++sfb)
        for (int w = 0; w < 3; ++w)
            sf.s[sfb][w] = std::uniform_int_distribution<int>(0, (1 << (sfb < 6 ? slen1 : slen2)) - 1)(rng);
}

// Builds random frames of every block kind and magnitude class, each granule cut down until
// the frame fits its share plus the reservoir.
void RandomStream(StreamBuilder& b, int frames, unsigned seed) {
    std::mt19937 rng(seed);
    const int maxima[] = {1, 2, 3, 4, 6, 7, 12, 15, 16, 20, 40, 300, 1000, 8206};
    for (int f = 0; f < frames; ++f) {
        const int budget = b.NextFrameBudget() - 64;
        const int share = budget / (2 * b.s.stereo);
        for (int ch = 0; ch < b.s.stereo; ++ch) {
            Block kinds[2];
            for (int gr = 0; gr < 2; ++gr)
                kinds[gr] = static_cast<Block>(std::uniform_int_distribution<int>(0, 3)(rng));
            for (int band = 0; band < 4; ++band)
                b.side.scfsi[ch][band] =
                    (kinds[0] != kShort && kinds[1] != kShort) ? static_cast<int>(rng() & 1) : 0;
            for (int gr = 0; gr < 2; ++gr) {
                GranuleInfo& gi = b.side.gr[gr][ch];
                gi = GranuleInfo{};
                SetBlock(gi, kinds[gr]);
                gi.global_gain = 120;
                RandomScalefactors(rng, gi, b.sf.sf[gr][ch]);
                const int maximum = maxima[rng() % std::size(maxima)];
                int big = std::uniform_int_distribution<int>(2, 300)(rng);
                int count1 = std::uniform_int_distribution<int>(0, 200)(rng);
                for (;;) {
                    if (kinds[gr] == kShort) {
                        // Short windows interleave, so every line counts as a big value.
                        FillGranule(rng, b.Values(gr, ch), big, std::min(maximum, 15 + 1000), 0);
                        std::shuffle(b.Values(gr, ch), b.Values(gr, ch) + 576, rng);
                    } else {
                        FillGranule(rng, b.Values(gr, ch), big, maximum, count1);
                    }
                    if (b.Prepare(gr, ch) + static_cast<int>(gi.part2_length) <= share || big <= 2) break;
                    big /= 2;
                    count1 /= 2;
                }
            }
        }
        b.Frame();
    }
}

TEST(BitstreamDecode, RandomGranulesOfEveryKindDecodeCleanly) {
    for (int channels : {1, 2}) {
        SCOPED_TRACE(channels);
        StreamBuilder b(44100, 320, channels);
        RandomStream(b, 40, 7u + static_cast<unsigned>(channels));
        const auto bytes = b.Finish();
        ExpectCleanDecode(bytes, 40, channels);
        ExpectMainDataChained(b, bytes);
        ExpectValuesCarried(b, bytes);
    }
}

TEST(BitstreamDecode, EveryTableDecodesWithItsWholeRange) {
    // Each pair table in turn codes all regions of a granule, with values up to the most it
    // can carry: 15 plus its largest escape for the tables with linbits.
    StreamBuilder b(48000, 320, 1);
    std::mt19937 rng(3);
    std::vector<int> count1Used(2, 0);
    int frames = 0;
    for (int t = 1; t < 32; ++t) {
        if (t == 4 || t == 14) continue;
        const auto& table = tables::kHuffmanTables[t];
        const int maximum =
            table.linbits ? 15 + static_cast<int>(table.linmax) : static_cast<int>(table.xlen) - 1;
        b.forcedTable = t;
        for (int gr = 0; gr < 2; ++gr) {
            b.side.gr[gr][0] = GranuleInfo{};
            b.side.gr[gr][0].global_gain = maximum > 1000 ? 60 : 120;
            const int big = maximum > 100 ? 60 : 200;
            FillGranule(rng, b.Values(gr, 0), big, maximum, 80);
            // Sparse quadruples favour count1 table A, dense ones table B.
            if (gr == 1)
                for (int i = big; i < big + 76; ++i)
                    b.Values(gr, 0)[i] = (i % 8 == 0) ? 1 : 0;
            b.Prepare(gr, 0);
            ++count1Used[b.side.gr[gr][0].count1table_select];
        }
        b.Frame();
        ++frames;
    }
    const auto bytes = b.Finish();
    ExpectCleanDecode(bytes, frames, 1);
    ExpectMainDataChained(b, bytes);
    ExpectValuesCarried(b, bytes);
    EXPECT_GT(count1Used[0], 0);
    EXPECT_GT(count1Used[1], 0);
}

TEST(BitstreamDecode, TheNextFileStartsAfresh) {
    // One formatter and reservoir serve file after file: the second file must not inherit
    // the first one's queued frames, reservoir or pointer.
    StreamBuilder b(44100, 96, 2);
    RandomStream(b, 12, 21u);
    const auto first = b.Restart();
    RandomStream(b, 9, 22u);
    const auto second = b.Finish();
    ExpectCleanDecode(first, 12, 2);
    ExpectCleanDecode(second, 9, 2);
    EXPECT_EQ(b.mainDataBegin.front(), 0);
    ExpectMainDataChained(b, second);
    ExpectValuesCarried(b, second);
}

TEST(BitstreamDecode, LowRateFramesBorrowMainDataFromEarlierFrames) {
    // 32 kbps leaves little room per frame: quiet frames fill the reservoir, then dense ones
    // take their main data from it, starting up to 511 bytes before their own header.
    StreamBuilder b(32000, 32, 2);
    std::mt19937 rng(5);
    int borrowed = 0;
    for (int f = 0; f < 40; ++f) {
        const bool dense = f % 8 >= 5;
        const int share = (b.NextFrameBudget() - 64) / 4;
        for (int gr = 0; gr < 2; ++gr)
            for (int ch = 0; ch < 2; ++ch) {
                b.side.gr[gr][ch] = GranuleInfo{};
                b.side.gr[gr][ch].global_gain = 150;
                int big = dense ? 120 : 4;
                do {
                    FillGranule(rng, b.Values(gr, ch), big, 7, 40);
                    big -= 8;
                } while (b.Prepare(gr, ch) > share && big > 8);
            }
        b.Frame();
        borrowed = std::max(borrowed, b.mainDataBegin.back());
    }
    const auto bytes = b.Finish();
    ExpectCleanDecode(bytes, 40, 2);
    ExpectMainDataChained(b, bytes);
    ExpectValuesCarried(b, bytes);
    EXPECT_GT(borrowed, 100);
    EXPECT_EQ(b.mainDataBegin.front(), 0);
}

TEST(BitstreamDecode, StuffingAndReservoirDrainDecode) {
    // At 320 kbps in mono the reservoir has no room (frame length above 7680 bits): all
    // unused bits become 1-bit stuffing in the granules, and what exceeds 4095 bits per
    // granule becomes zero ancillary bits.
    StreamBuilder b(44100, 320, 1);
    int drained = 0;
    for (int f = 0; f < 10; ++f) {
        b.Values(0, 0)[3] = f % 2 ? 5 : 0;
        b.Frame();
        EXPECT_EQ(b.reservoir.Max(), 0);
        drained += b.side.reservoirDrain;
        EXPECT_EQ(b.side.gr[0][0].part2_3_length, 4095u);
    }
    EXPECT_GT(drained, 0);
    const auto bytes = b.Finish();
    ExpectCleanDecode(bytes, 10, 1);
    ExpectMainDataChained(b, bytes);
    ExpectValuesCarried(b, bytes);
}

#endif  // VELTO_HAVE_MPG123

}  // namespace
