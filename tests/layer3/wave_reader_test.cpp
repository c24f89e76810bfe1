#include "layer3/wave_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "job/encoding_settings.h"
#include "platform/scripted_message_box.h"
#include "tests/support/wav_writer.h"

using layer3::CWaveReader;
using wavfile::Chunk;
using wavfile::FormatBody;

namespace {

std::vector<std::uint8_t> Body(std::initializer_list<std::int16_t> samples) {
    return wavfile::Samples16(samples);
}

struct Fixture : testing::Test {
    testwav::TempDir dir;
    platform::ScriptedMessageBox boxes;

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        return testwav::WriteBytes(dir.File(name), bytes);
    }
    // Opens the file and returns the single message shown, or "" when none was.
    std::string OpenMessage(const std::string& path, int expectResult = 0) {
        boxes.Clear();
        CWaveReader r;
        EXPECT_EQ(r.Open(path), expectResult) << path;
        EXPECT_EQ(r.IsOpen(), expectResult == 1);
        auto texts = boxes.Texts();
        EXPECT_LE(texts.size(), 1u);
        return texts.empty() ? "" : texts[0];
    }
};

using WaveReaderHeader = Fixture;
using WaveReaderSamples = Fixture;

}  // namespace

TEST_F(WaveReaderHeader, EachDefectGetsItsMessageInCheckOrder) {
    auto fmt = FormatBody(1, 2, 44100, 16);
    auto data = Body({1, 2});
    const std::string p = dir.File("x.wav");
    auto msg = [&](std::vector<Chunk> chunks) { return OpenMessage(Write("x.wav", wavfile::Riff(chunks))); };

    auto notRiff = wavfile::Riff({{"fmt ", fmt}, {"data", data}});
    notRiff[0] = 'X';
    EXPECT_EQ(OpenMessage(Write("x.wav", notRiff)), p + " is not a RIFF file.\n");
    auto notWave = wavfile::Riff({{"fmt ", fmt}, {"data", data}});
    notWave[8] = 'A';
    EXPECT_EQ(OpenMessage(Write("x.wav", notWave)), p + " is not a WAVE file.\n");
    EXPECT_EQ(msg({{"LIST", {1, 2}}, {"fmt ", fmt}, {"data", data}}), p + ": chunk not found.\n");
    EXPECT_EQ(msg({{"fmt ", FormatBody(3, 2, 44100, 32)}, {"data", data}}), p + ": wrong WAVE format.\n");
    EXPECT_EQ(msg({{"fmt ", FormatBody(0xFFFE, 2, 44100, 16)}, {"data", data}}),
              p + ": wrong WAVE format.\n");
    // The rate is checked before the channel count.
    EXPECT_EQ(msg({{"fmt ", FormatBody(1, 3, 22050, 16)}, {"data", data}}),
              p + ": wrong sampling rate.\nValid values are: 32000,44100 and 48000.");
    for (int channels : {0, 3, 65535})
        EXPECT_EQ(msg({{"fmt ", FormatBody(1, channels, 48000, 16)}, {"data", data}}),
                  p + ": wrong channels number.\n");
    for (int bits : {8, 24, 32})
        EXPECT_EQ(msg({{"fmt ", FormatBody(1, 1, 32000, bits)}, {"data", data}}),
                  p + " is not a 16 bit wave file.\n");
    EXPECT_EQ(msg({{"fmt ", fmt}, {"LIST", {1, 2, 3, 4}}}), p + ": DATA chunk not found.\n");
}

TEST_F(WaveReaderHeader, ChunksBetweenFormatAndDataAreSkipped) {
    auto data = Body({10, 20, 30, 40});
    std::vector<Chunk> chunks = {{"fmt ", FormatBody(1, 2, 44100, 16, true)},  // 18-byte format chunk
                                 {"LIST", {'I', 'N', 'F', 'O', 'x'}},          // odd length, padded
                                 {"fact", {0, 0, 0, 0}},
                                 {"cue ", {}},
                                 {"data", data},
                                 {"id3 ", {'I', 'D', '3'}}};
    std::string path = Write("ok.wav", wavfile::Riff(chunks));
    CWaveReader r;
    ASSERT_EQ(r.Open(path), 1);
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.sampleRate, 44100);
    EXPECT_EQ(r.bitsPerSample, 16);
    EXPECT_EQ(r.sampleCount, 2);
    std::int16_t buf[8];
    EXPECT_EQ(r.ReadSamples(buf, 8), 4);
    EXPECT_EQ(buf[3], 40);
    EXPECT_EQ(buf[4], 0);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(WaveReaderHeader, CountsAndDuration) {
    std::string path = testwav::WritePcm16(dir.File("s.wav"), testwav::Silence(44100, 2), 2, 44100);
    CWaveReader r;
    ASSERT_EQ(r.Open(path), 1);
    EXPECT_EQ(r.sampleCount, 44100);
    EXPECT_EQ(r.durationSeconds, 1);
    // One reader is reused for file after file.
    r.Close();
    path = testwav::WritePcm16(dir.File("m.wav"), testwav::Silence(96000 + 5, 1), 1, 32000);
    ASSERT_EQ(r.Open(path), 1);
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.sampleCount, 96005);
    EXPECT_EQ(r.durationSeconds, 3);
}

TEST_F(WaveReaderHeader, FilesThatCannotBeOpenedFailSilently) {
    EXPECT_EQ(OpenMessage(dir.File("missing.wav")), "");
    EXPECT_EQ(OpenMessage(dir.Path()), "");
    std::string locked = testwav::WritePcm16(dir.File("locked.wav"), testwav::Silence(10, 1), 1, 44100);
    chmod(locked.c_str(), 0);
    if (geteuid() != 0) {
        EXPECT_EQ(OpenMessage(locked), "");
    }
    CWaveReader never;
    never.Close();
    never.Close();
    std::int16_t b[2];
    EXPECT_EQ(never.ReadSamples(b, 2), -1);
}

TEST_F(WaveReaderHeader, TruncatedAtEveryHeaderByteNeverCrashes) {
    auto full = wavfile::Riff(
        {{"fmt ", FormatBody(1, 2, 44100, 16)}, {"LIST", {1, 2, 3}}, {"data", Body({1, 2, 3, 4})}});
    const std::size_t dataTagEnd = full.size() - 8 - 4;
    for (std::size_t n = 0; n < full.size(); ++n) {
        std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
        if (n < dataTagEnd) {
            EXPECT_FALSE(OpenMessage(Write("cut.wav", cut)).empty()) << "cut at " << n;
            continue;
        }
        // Past the data tag the file opens and simply holds fewer samples.
        CWaveReader r;
        ASSERT_EQ(r.Open(Write("cut.wav", cut)), 1) << "cut at " << n;
        std::int16_t buf[8];
        EXPECT_EQ(r.ReadSamples(buf, 8), n <= dataTagEnd + 4 ? 0 : static_cast<int>(n - dataTagEnd - 4) / 2);
    }
    EXPECT_EQ(OpenMessage(Write("empty.wav", {})), dir.File("empty.wav") + " is not a RIFF file.\n");
}

TEST_F(WaveReaderHeader, HugeAndZeroChunkLengths) {
    auto fmt = FormatBody(1, 1, 48000, 16);
    auto riff = wavfile::Riff({{"fmt ", fmt}, {"JUNK", {}}, {"data", Body({5, 6})}});
    std::string path = Write("zero.wav", riff);
    CWaveReader r;
    EXPECT_EQ(r.Open(path), 1);
    r.Close();
    // A chunk announcing 0xFFFFFFFF bytes runs past the end: no data chunk.
    std::vector<std::uint8_t> bytes = wavfile::Riff({{"fmt ", fmt}});
    wavfile::PutTag(bytes, "JUNK");
    wavfile::PutU32(bytes, 0xFFFFFFFFu);
    bytes.insert(bytes.end(), 64, 7);
    EXPECT_EQ(OpenMessage(Write("huge.wav", bytes)), dir.File("huge.wav") + ": DATA chunk not found.\n");
}

TEST_F(WaveReaderSamples, ReadingStopsAtTheEndOfTheDataChunk) {
    // A LIST chunk after the samples must not come out as audio.
    std::string path = Write("tagged.wav", wavfile::Riff({{"fmt ", FormatBody(1, 1, 44100, 16)},
                                                          {"data", Body({100, -100, 7})},
                                                          {"LIST", std::vector<std::uint8_t>(200, 0x55)}}));
    CWaveReader r;
    ASSERT_EQ(r.Open(path), 1);
    std::int16_t buf[16];
    EXPECT_EQ(r.ReadSamples(buf, 16), 3);
    EXPECT_EQ(buf[2], 7);
    EXPECT_EQ(buf[3], 0);
    EXPECT_EQ(r.ReadSamples(buf, 16), 0);
}

TEST_F(WaveReaderSamples, UnknownOrOverlongDataLengthReadsToTheEndOfTheFile) {
    for (std::uint32_t announced : {0xFFFFFFFFu, 1000u}) {
        std::vector<std::uint8_t> bytes = wavfile::Riff({{"fmt ", FormatBody(1, 2, 44100, 16)}});
        wavfile::PutTag(bytes, "data");
        wavfile::PutU32(bytes, announced);
        auto s = Body({1, 2, 3, 4, 5});  // ends in the middle of a stereo pair
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(9);  // and half a sample
        CWaveReader r;
        ASSERT_EQ(r.Open(Write("stream.wav", bytes)), 1);
        EXPECT_EQ(r.sampleCount, 2) << "the length of what is there, not of what the header claims";
        std::int16_t buf[8];
        EXPECT_EQ(r.ReadSamples(buf, 8), 5);
        EXPECT_EQ(buf[4], 5);
        EXPECT_EQ(buf[5], 0);
        EXPECT_EQ(r.ReadSamples(buf, 8), 0);
    }
}

TEST_F(WaveReaderSamples, FramesAreShapedByModeAndDownmix) {
    std::vector<std::int16_t> stereo;
    for (int i = 0; i < 1152 + 10; ++i) {
        stereo.push_back(static_cast<std::int16_t>(i));
        stereo.push_back(static_cast<std::int16_t>(-i));
    }
    stereo[0] = -3;
    stereo[1] = 0;
    std::string path = testwav::WritePcm16(dir.File("st.wav"), stereo, 2, 44100);
    EncodingSettings s;
    s.samplesPerFrame = 1152;
    layer3::FrameBuffer frame;

    CWaveReader r;
    ASSERT_EQ(r.Open(path), 1);
    s.mode = 0;
    EXPECT_EQ(r.ReadFrame(frame, s), 2304);
    EXPECT_EQ(frame[0][5], 5);
    EXPECT_EQ(frame[1][5], -5);
    // The final partial frame is zero-filled, and the call after it returns 0.
    EXPECT_EQ(r.ReadFrame(frame, s), 20);
    EXPECT_EQ(frame[0][9], 1161);
    EXPECT_EQ(frame[0][10], 0);
    EXPECT_EQ(frame[1][1151], 0);
    EXPECT_EQ(r.ReadFrame(frame, s), 0);

    ASSERT_EQ(r.Open(path), 1);
    s.mode = 3;
    s.downmix = 1;
    EXPECT_EQ(r.ReadFrame(frame, s), 2304);
    EXPECT_EQ(frame[0][0], -2);  // (-3 + 0) >> 1 rounds towards minus infinity
    EXPECT_EQ(frame[0][7], 0);
    EXPECT_EQ(frame[1][7], 0);

    s.mode = 4;
    EXPECT_EQ(r.ReadFrame(frame, s), -1);

    std::string mono =
        testwav::WritePcm16(dir.File("mono.wav"), testwav::Sine(2000, 1, 44100, 440), 1, 44100);
    ASSERT_EQ(r.Open(mono), 1);
    s.mode = 3;
    s.downmix = 0;
    EXPECT_EQ(r.ReadFrame(frame, s), 1152);
    EXPECT_EQ(frame[1][100], 0);
    EXPECT_EQ(r.ReadFrame(frame, s), 2000 - 1152);
}
