// The bit writer's byte order, blocks and last byte; failed writes; and the formatter's
// open, flush and side-information checks.
#include <gtest/gtest.h>

#include "layer3/bit_writer.h"
#include "layer3/frame_formatter.h"
#include "layer3/side_info_layout.h"
#include "platform/file.h"
#include "tests/layer3/bitstream_frames.h"
#include "tests/support/wav_writer.h"

namespace {

using namespace layer3;

TEST(BitstreamWriter, BitsGoMostSignificantFirstAndCloseWritesAPartlyFilledByte) {
    testwav::TempDir dir;
    platform::OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("bits")));
    BitWriter w;
    ASSERT_TRUE(w.Open(file));
    w.PutBits(0x5, 3);          // 101
    w.PutBits(0x1F, 2);         // 11 (only the low bits count)
    w.PutBits(0xABCDEF12, 32);  // across five bytes
    w.PutBits(1, 33);           // ignored
    EXPECT_EQ(w.TotalBits(), 37);
    EXPECT_TRUE(w.Close());
    ASSERT_TRUE(file.Close());
    const std::vector<std::uint8_t> expected = {0xBD, 0x5E, 0x6F, 0x78, 0x90};
    EXPECT_EQ(testwav::ReadBytes(dir.File("bits")), expected);
}

TEST(BitstreamWriter, LongStreamsPassThroughWholeAndAlignedOnesEndWithTheirLastByte) {
    testwav::TempDir dir;
    platform::OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("long")));
    BitWriter w;
    ASSERT_TRUE(w.Open(file));
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 3 * 4096 + 17; ++i) {
        const auto b = static_cast<std::uint8_t>(i * 7 + (i >> 8));
        expected.push_back(b);
        w.PutBits(b >> 3, 5);
        w.PutBits(b & 7, 3);
    }
    EXPECT_TRUE(w.Close());
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(testwav::ReadBytes(dir.File("long")), expected);
}

TEST(BitstreamWriter, AFailedWriteIsReported) {
    platform::OutputFile full;
    ASSERT_TRUE(full.Create("/dev/full"));
    BitWriter w;
    ASSERT_TRUE(w.Open(full));
    for (int i = 0; i < 40000; ++i)
        w.PutBits(0xFFFFFFFF, 32);
    EXPECT_TRUE(w.Failed());
    EXPECT_FALSE(w.Close());
    EXPECT_FALSE(full.Close());

    platform::OutputFile closed;
    EXPECT_FALSE(w.Open(closed));
}

TEST(BitstreamFormatter, ZeroFramesGiveAnEmptyFile) {
    testwav::TempDir dir;
    platform::OutputFile file;
    ASSERT_TRUE(file.Create(dir.File("empty.mp3")));
    EncodingSettings s;
    s.stereo = 2;
    s.granulesPerFrame = 2;
    CFrameFormatter f;
    EXPECT_FALSE(f.IsOpen());
    f.Open(file, s);
    EXPECT_TRUE(f.IsOpen());
    f.Flush();
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Writer().Close());
    ASSERT_TRUE(file.Close());
    EXPECT_TRUE(testwav::ReadBytes(dir.File("empty.mp3")).empty());
}

TEST(BitstreamFormatter, FramesFilledToTheirEndLeaveMainDataBeginZero) {
    // At 320 kbps in stereo the reservoir has no room, so every frame's main data fills the
    // frame exactly and no frame reaches back.
    bitstreamtest::StreamBuilder b(48000, 320, 2);
    for (int f = 0; f < 5; ++f) {
        b.Values(0, 1)[10] = 3;
        b.Frame();
    }
    EXPECT_EQ(b.mainDataBegin, std::vector<int>(5, 0));
    EXPECT_EQ(b.formatter.QueuedFrames(), 0);
    const auto bytes = b.Finish();
    EXPECT_EQ(bytes.size(), 5u * 960);
}

TEST(BitstreamFormatter, MisuseEndsTheProcessWithItsMessage) {
    CFrameFormatter f;
    EXPECT_EXIT(f.Flush(), testing::ExitedWithCode(255), "Not properly initialised !!");
    platform::OutputFile notOpen;
    EncodingSettings s;
    EXPECT_EXIT(f.Open(notOpen, s), testing::ExitedWithCode(255), "File non aperto\\.");

    SideInfo side;
    side.gr[1][0].block_type = 2;  // short windows without window switching
    BitFieldList frame, channel[2], granule[2][2];
    EXPECT_EXIT(AppendSideInfo(side, 2, 1, frame, channel, granule), testing::ExitedWithCode(255),
                "ERROR; invalid blocktype");
    side.gr[1][0].block_type = 0;
    AppendSideInfo(side, 2, 1, frame, channel, granule);
    int bits = frame.Bits() + channel[0].Bits() + granule[0][0].Bits() + granule[1][0].Bits();
    EXPECT_EQ(bits, 136);
    AppendSideInfo(side, 2, 2, frame, channel, granule);
    bits = frame.Bits() + channel[0].Bits() + channel[1].Bits();
    for (auto& g : granule)
        bits += g[0].Bits() + g[1].Bits();
    EXPECT_EQ(bits, 256);
}

TEST(BitstreamFormatter, MainDataThatCannotFitIsAnInternalError) {
    // A granule claiming more bits than the frame and the reservoir hold would run into a
    // frame not yet formatted.
    bitstreamtest::StreamBuilder b(48000, 32, 1);
    for (int i = 0; i < 400; ++i)
        b.Values(0, 0)[i] = 9;
    EXPECT_EXIT(b.Frame(), testing::ExitedWithCode(255), "main data overflow");
}

}  // namespace
