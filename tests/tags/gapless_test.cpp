// MP3s with the Info header frame, tag and ReplayGain, as the built-in encoder writes them:
// decoded by libmpg123 to exactly the input's samples, aligned with it, with a header whose
// counts, seek table and checksums match the file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "job/encoding_settings.h"
#include "layer3/layer3_encoder.h"
#include "platform/scripted_message_box.h"
#include "tags/id3_tag.h"
#include "tags/info_frame.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/wav_writer.h"

namespace {

struct Choice {
    int infoHeader = 1, tags = 1, replayGain = 1;
};

std::vector<std::uint8_t> Encode(const std::vector<std::int16_t>& pcm, int channels, int rate,
                                 int bitrateIndex, int mono, Choice choice,
                                 const tags::TagFields* trackTags = nullptr) {
    testwav::TempDir dir;
    const std::string wav = testwav::WritePcm16(dir.File("in.wav"), pcm, channels, rate);
    EncodingSettings settings;
    settings.SetBitrateIndex(bitrateIndex);
    settings.Mono = mono;
    settings.InfoHeader = choice.infoHeader;
    settings.Tags = choice.tags;
    settings.ReplayGain = choice.replayGain;
    auto encoder = std::make_unique<layer3::CLayer3Encoder>();
    if (trackTags) encoder->SetTrackTags(*trackTags);
    EXPECT_EQ(encoder->Open(settings, wav, dir.File("out.mp3")), 1);
    while (encoder->EncodeStep() >= 0) {
    }
    encoder->Close();
    EXPECT_FALSE(encoder->OutputFailed());
    return testwav::ReadBytes(dir.File("out.mp3"));
}

std::uint32_t Be32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Checks the Info frame at the start of bytes (after any ID3 tag) against the frames after it
// and returns its length.
std::size_t CheckInfoFrame(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    const std::size_t start = tags::Id3TagSize(bytes.data(), bytes.size());
    const std::uint8_t* frame = bytes.data() + start;
    const int tagAt = tags::InfoTagOffset(frame, bytes.size() - start);
    EXPECT_GT(tagAt, 0) << name;
    if (tagAt <= 0) return 0;
    const std::size_t length = static_cast<std::size_t>(tags::AudioFrameLength(frame));
    const tags::AudioFrames audio = tags::ScanAudioFrames(frame + length, bytes.size() - start - length);
    const std::uint8_t* tag = frame + tagAt;
    EXPECT_EQ(Be32(tag + 4), 15u) << name;
    EXPECT_EQ(Be32(tag + 8), audio.offsets.size()) << name;
    EXPECT_EQ(Be32(tag + 12), length + audio.bytes) << name;
    EXPECT_EQ(start + length + audio.bytes, bytes.size()) << name << ": nothing follows the last frame";
    for (int i = 1; i < 100; ++i)
        EXPECT_LE(tag[16 + i - 1], tag[16 + i]) << name << ": seek entry " << i;
    if (!audio.offsets.empty()) {
        // Half the play time is half the frames in.
        const std::size_t half = audio.offsets[audio.offsets.size() / 2] + length;
        EXPECT_NEAR(tag[16 + 50], half * 256.0 / (length + audio.bytes), 1.0) << name;
    }
    const std::uint8_t* ext = tag + 120;
    EXPECT_EQ(Be32(ext + 28), length + audio.bytes) << name;
    EXPECT_EQ((ext[32] << 8 | ext[33]), audio.crc) << name << ": audio checksum";
    const std::size_t covered = static_cast<std::size_t>(ext + 34 - frame);
    EXPECT_EQ((ext[34] << 8 | ext[35]), tags::Crc16(frame, covered)) << name << ": header checksum";
    return length;
}

std::vector<std::int16_t> Channel(const std::vector<std::int16_t>& pcm, int channels, int c) {
    std::vector<std::int16_t> out;
    for (std::size_t i = static_cast<std::size_t>(c); i < pcm.size(); i += static_cast<std::size_t>(channels))
        out.push_back(pcm[i]);
    return out;
}

// The lag in -8..8 at which the decoded channel best matches the input.
int Lag(const std::vector<std::int16_t>& in, const std::vector<std::int16_t>& out) {
    int best = 99;
    double bestScore = -1e300;
    for (int lag = -8; lag <= 8; ++lag) {
        double score = 0;
        for (std::size_t i = 16; i + 16 < in.size() && i + 16 < out.size(); ++i)
            score += static_cast<double>(in[i]) * out[static_cast<std::size_t>(static_cast<long>(i) + lag)];
        if (score > bestScore) bestScore = score, best = lag;
    }
    return best;
}

}  // namespace

TEST(Gapless, DecodesToExactlyTheInputAlignedWithIt) {
    platform::ScriptedMessageBox boxes;
    struct Case {
        int samples, rate, channels, bitrateIndex, mono;
    };
    const Case cases[] = {
        {0, 44100, 2, 9, 0},      {1, 44100, 2, 9, 0},      {1151, 44100, 2, 9, 0},   {1152, 44100, 2, 9, 0},
        {1153, 44100, 2, 9, 0},   {30000, 32000, 2, 1, 0},  {30000, 32000, 1, 14, 0}, {30000, 48000, 1, 1, 0},
        {30000, 48000, 2, 11, 1}, {44100, 44100, 2, 14, 0}, {25000, 44100, 1, 5, 0},
    };
    for (const Case& c : cases) {
        const std::string name = std::to_string(c.samples) + " samples " + std::to_string(c.rate) + " Hz " +
                                 std::to_string(c.channels) + " ch index " + std::to_string(c.bitrateIndex) +
                                 (c.mono ? " down-mixed" : "");
        const auto pcm = testwav::Noise(c.samples, c.channels, 7, 6000);
        const auto bytes = Encode(pcm, c.channels, c.rate, c.bitrateIndex, c.mono, {});
        CheckInfoFrame(bytes, name);
        const testmp3::Decoded d = testmp3::DecodeBytes(bytes);
        EXPECT_TRUE(d.Clean()) << name << ": " << d.messages;
        EXPECT_EQ(d.SamplesPerChannel(), static_cast<std::size_t>(c.samples)) << name;
        if (c.samples < 10000) continue;
        // Noise lines up with itself at one lag only; the down-mix is the channels' mean.
        std::vector<std::int16_t> in = Channel(pcm, c.channels, 0);
        if (c.mono)
            for (std::size_t i = 0; i < in.size(); ++i)
                in[i] = static_cast<std::int16_t>((pcm[2 * i] + pcm[2 * i + 1]) >> 1);
        EXPECT_EQ(Lag(in, Channel(d.samples, d.channels, 0)), 0) << name;
    }
}

TEST(Gapless, TheFramesAfterTheInfoFrameAreTheBareFrames) {
    platform::ScriptedMessageBox boxes;
    const auto pcm = testwav::Noise(20000, 2, 3, 5000);
    const auto bare = Encode(pcm, 2, 44100, 9, 0, {0, 0, 0});
    for (const Choice choice : {Choice{}, Choice{1, 0, 0}, Choice{0, 1, 1}}) {
        const auto full = Encode(pcm, 2, 44100, 9, 0, choice);
        const std::size_t tag = tags::Id3TagSize(full.data(), full.size());
        EXPECT_EQ(tag > 0, choice.tags == 1);
        const std::size_t info = choice.infoHeader ? CheckInfoFrame(full, "full") : 0;
        ASSERT_GE(full.size(), tag + info);
        EXPECT_TRUE(std::equal(full.begin() + static_cast<std::ptrdiff_t>(tag + info), full.end(),
                               bare.begin(), bare.end()));
    }
}

TEST(Gapless, AFrameTooSmallForTheHeaderGivesWayToALargerBitRate) {
    platform::ScriptedMessageBox boxes;
    // 32 kbps at 48 kHz: 96-byte frames, too small for the header's 192 bytes.
    const tags::InfoStream low{48000, 32, 2, false};
    EXPECT_GE(tags::InfoFrameLength(low), 192);
    const tags::InfoStream usual{44100, 128, 2, false};
    EXPECT_EQ(tags::InfoFrameLength(usual), 417);
}

TEST(Gapless, AStoppedEncodeHasAHeaderTrueForWhatWasWritten) {
    platform::ScriptedMessageBox boxes;
    testwav::TempDir dir;
    const auto pcm = testwav::Noise(44100 * 5, 2, 11, 6000);
    const std::string wav = testwav::WritePcm16(dir.File("in.wav"), pcm, 2, 44100);
    EncodingSettings settings;
    settings.InfoHeader = settings.Tags = settings.ReplayGain = 1;
    auto encoder = std::make_unique<layer3::CLayer3Encoder>();
    ASSERT_EQ(encoder->Open(settings, wav, dir.File("out.mp3")), 1);
    for (int i = 0; i < 10; ++i)
        ASSERT_GE(encoder->EncodeStep(), 0);
    encoder->Close();
    const auto bytes = testwav::ReadBytes(dir.File("out.mp3"));
    CheckInfoFrame(bytes, "stopped");
    // Ten frames decode to all but the encoder's lag of the samples they were given.
    const testmp3::Decoded d = testmp3::DecodeBytes(bytes);
    EXPECT_TRUE(d.Clean()) << d.messages;
    EXPECT_EQ(d.SamplesPerChannel(), 10u * 1152 - layer3::kCodecDelay);
    EXPECT_EQ(Lag(Channel(pcm, 2, 0), Channel(d.samples, 2, 0)), 0);
}

TEST(Gapless, TheChecksumIsTheBitwiseCrc16OverAnyRunOfBytes) {
    // CRC-16/ARC's check value.
    const std::string check = "123456789";
    EXPECT_EQ(tags::Crc16(reinterpret_cast<const std::uint8_t*>(check.data()), check.size()), 0xBB3D);
    // Every length and alignment, carried on from a previous run as the audio checksum is.
    std::vector<std::uint8_t> data(300);
    std::uint32_t seed = 12345;
    for (auto& byte : data) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<std::uint8_t>(seed >> 24);
    }
    const auto bitwise = [](const std::uint8_t* p, std::size_t n, std::uint16_t crc) {
        for (std::size_t i = 0; i < n; ++i) {
            crc ^= p[i];
            for (int bit = 0; bit < 8; ++bit)
                crc = static_cast<std::uint16_t>(crc & 1 ? (crc >> 1) ^ 0xA001 : crc >> 1);
        }
        return crc;
    };
    for (std::size_t at = 0; at < 4; ++at)
        for (std::size_t n = 0; n + at <= 40; ++n) {
            const std::uint16_t start = bitwise(data.data() + 100, 7, 0);
            EXPECT_EQ(tags::Crc16(data.data() + at, n, start), bitwise(data.data() + at, n, start))
                << at << " " << n;
        }
    EXPECT_EQ(tags::Crc16(data.data(), data.size()), bitwise(data.data(), data.size(), 0));
}
