// The bit reservoir's limits, what it lends a granule, and the stuffing rules at frame end.
#include <gtest/gtest.h>

#include "job/encoding_settings.h"
#include "layer3/reservoir.h"

namespace {

using layer3::CBitReservoir;
using layer3::SideInfo;

EncodingSettings Mpeg1(int stereo) {
    EncodingSettings s;
    s.version = 1;
    s.stereo = stereo;
    s.granulesPerFrame = 2;
    return s;
}

// Runs one frame in which every granule and channel uses `used` bits.
void RunFrame(CBitReservoir& r, SideInfo& side, int frameBits, int meanBits, int stereo, unsigned used) {
    const EncodingSettings s = Mpeg1(stereo);
    side.reservoirDrain = 0;
    r.FrameBegin(meanBits, frameBits, s);
    for (int gr = 0; gr < 2; ++gr)
        for (int ch = 0; ch < stereo; ++ch) {
            side.gr[gr][ch].part2_3_length = used;
            r.Adjust(side.gr[gr][ch], meanBits, stereo);
        }
    r.FrameEnd(side, meanBits, s, stereo);
}

TEST(BitstreamReservoir, LimitFollowsTheFrameLength) {
    CBitReservoir r;
    const EncodingSettings s = Mpeg1(2);
    r.FrameBegin(0, 8360, s);  // 320 kbps at 44100 Hz, padded
    EXPECT_EQ(r.Max(), 0);
    // Without a reservoir a granule gets its share, whatever its entropy.
    EXPECT_EQ(r.MaxBits(5000.0, 4036, 2), 2018);
    EXPECT_EQ(r.MaxBits(0.0, 9000, 1), 4095);
    r.FrameBegin(0, 3344, s);  // 128 kbps at 44100 Hz
    EXPECT_EQ(r.Max(), 4088);
    r.FrameBegin(0, 7000, s);
    EXPECT_EQ(r.Max(), 680);
}

TEST(BitstreamReservoir, GranulesUnderTheirShareFillTheReservoirInWholeBytes) {
    CBitReservoir r;
    r.Reset();
    SideInfo side;
    // 128 kbps stereo at 44100 Hz: mean bits (3344 - 288) / 2 = 1528, 764 per channel.
    RunFrame(r, side, 3344, 1528, 2, 700);
    EXPECT_EQ(r.Size(), 4 * 64);
    EXPECT_EQ(side.gr[0][0].part2_3_length, 700u);
    RunFrame(r, side, 3344, 1528, 2, 601);  // 163 bits left each: 652, not a whole byte
    EXPECT_EQ(r.Size() % 8, 0);
    EXPECT_EQ(r.Size(), 256 + 648);
    EXPECT_EQ(side.gr[0][0].part2_3_length, 601u + 4);  // the 4 odd bits stuffed in (0, 0)
    // Repeated, the reservoir stops at its limit and the excess is stuffing in (0, 0).
    for (int f = 0; f < 10; ++f)
        RunFrame(r, side, 3344, 1528, 2, 0);
    EXPECT_EQ(r.Size(), 4088);
    EXPECT_EQ(side.gr[0][0].part2_3_length, 4u * 764u);
    EXPECT_EQ(side.gr[0][1].part2_3_length, 0u);
}

TEST(BitstreamReservoir, OddMeanBitsInStereoAddOneBit) {
    CBitReservoir r;
    SideInfo side;
    RunFrame(r, side, 3344, 1529, 2, 764);  // each channel's share is 764; one bit left over
    EXPECT_EQ(r.Size(), 0);
    EXPECT_EQ(side.gr[0][0].part2_3_length, 764u + 1);
}

TEST(BitstreamReservoir, StuffingBeyondWhatGranulesHoldBecomesDrain) {
    CBitReservoir r;
    SideInfo side;
    // Mono at 320 kbps, 44100 Hz: mean bits (8360 - 168) / 2 = 4096, one more than a granule holds.
    RunFrame(r, side, 8360, 4096, 1, 4095);
    EXPECT_EQ(r.Size(), 0);
    EXPECT_EQ(side.gr[0][0].part2_3_length, 4095u);
    EXPECT_EQ(side.gr[1][0].part2_3_length, 4095u);
    EXPECT_EQ(side.reservoirDrain, 2);
    // When (0, 0) cannot take it all, the granules are filled in order.
    RunFrame(r, side, 8360, 4096, 1, 3000);
    EXPECT_EQ(side.gr[0][0].part2_3_length, 4095u);
    EXPECT_EQ(side.gr[1][0].part2_3_length, 4095u);
    EXPECT_EQ(side.reservoirDrain, 2);
}

TEST(BitstreamReservoir, DemandingGranulesBorrowAndAFullReservoirIsSpent) {
    CBitReservoir r;
    SideInfo side;
    RunFrame(r, side, 3344, 1528, 2, 264);  // 2000 bits saved
    ASSERT_EQ(r.Size(), 2000);
    r.FrameBegin(1528, 3344, Mpeg1(2));
    EXPECT_EQ(r.MaxBits(10.0, 1528, 2), 764);                    // low entropy: its share only
    EXPECT_EQ(r.MaxBits(1000.0, 1528, 2), 764 + 2000 * 6 / 10);  // wants more than 60 %
    EXPECT_EQ(r.MaxBits(300.0, 1528, 2), 764 + 166);             // wants 930 - 764 bits
    for (int f = 0; f < 4; ++f)
        RunFrame(r, side, 3344, 1528, 2, 0);
    ASSERT_EQ(r.Size(), 4088);
    r.FrameBegin(1528, 3344, Mpeg1(2));
    // Above 80 % of the limit the excess is handed out even without demand.
    EXPECT_EQ(r.MaxBits(0.0, 1528, 2), 764 + (4088 - 4088 * 8 / 10));
    EXPECT_EQ(r.MaxBits(1e300, 1528, 2), 764 + 4088 * 6 / 10);
}

}  // namespace
