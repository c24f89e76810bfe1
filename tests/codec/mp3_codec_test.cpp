// The system's MP3 codec behind the compression manager: what it enumerates, and real files
// made through CCodecEncoder and checked with the reference decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "codec/codec_detection.h"
#include "codec/codec_encoder.h"
#include "job/encoding_settings.h"
#include "platform/acm_mp3_driver.h"
#include "platform/scripted_message_box.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/wav_writer.h"

using namespace platform;

namespace {

constexpr int kFrame = 1152;

class Mp3Codec : public testing::Test {
  protected:
    void SetUp() override {
        driver_ = RegisterMp3CodecDriver();
        if (!driver_.Registered())
            GTEST_SKIP() << "libmp3lame.so.0 is not installed";
    }

    // Encodes the signal to an MP3 file and returns its bytes; every step's result is checked.
    std::vector<std::uint8_t> Encode(const std::vector<std::int16_t>& pcm, int channels, int rate, int kbps,
                                     bool mono = false) {
        const std::string wav = testwav::WritePcm16(dir_.File("in.wav"), pcm, channels, rate);
        const std::string mp3 = dir_.File("out.mp3");
        EncodingSettings settings;
        settings.Bitrate = kbps;
        settings.Mono = mono;
        CCodecEncoder encoder;
        EXPECT_EQ(encoder.Open(settings, wav, mp3), 1);
        int steps = 0, last = 0, result;
        while ((result = encoder.EncodeStep()) >= 0) {
            EXPECT_GE(result, last);
            last = result;
            ++steps;
        }
        encoder.Close();
        EXPECT_EQ(steps, (static_cast<int>(pcm.size()) / channels + kFrame - 1) / kFrame);
        EXPECT_EQ(settings.frameCount, last);
        return testwav::ReadBytes(mp3);
    }

    AcmDriverRegistration driver_;
    testwav::TempDir dir_;
    ScriptedMessageBox boxes_;
};

double Rms(const std::int16_t* s, std::size_t n, std::size_t stride) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += double(s[i * stride]) * s[i * stride];
    return n ? std::sqrt(sum / double(n)) : 0.0;
}

struct Case {
    int rate;
    int channels;
    int kbps;
};

}  // namespace

TEST_F(Mp3Codec, EncodedFilesDecodeWholeAtTheirRateAndChannels) {
    for (const Case c : {Case{44100, 2, 128}, Case{48000, 1, 64}, Case{32000, 2, 320}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, " << c.channels << " ch, " << c.kbps << " kbps");
        const int samples = 20 * kFrame + 300;  // a short last block
        const auto pcm = testwav::Sine(samples, c.channels, c.rate, 1000.0);
        const auto bytes = Encode(pcm, c.channels, c.rate, c.kbps);
        ASSERT_GT(bytes.size(), 4u);
        EXPECT_EQ(bytes[0], 0xFF);  // a bare stream: the first byte is a frame's sync
        const auto headers = testmp3::ParseHeaders(bytes);
        ASSERT_FALSE(headers.empty());
        EXPECT_EQ(headers[0].bitrateIndex, c.kbps == 128 ? 9 : c.kbps == 64 ? 5 : 14);

        const auto decoded = testmp3::DecodeBytes(bytes);
        EXPECT_TRUE(decoded.Clean()) << decoded.messages;
        EXPECT_EQ(decoded.rate, c.rate);
        EXPECT_EQ(decoded.channels, c.channels);
        // Nothing of the end is lost: the codec was given whole blocks (the last one padded)
        // and gives them back within one frame, its delay.
        const std::size_t got = decoded.SamplesPerChannel();
        const std::size_t given = std::size_t((samples + kFrame - 1) / kFrame * kFrame);
        EXPECT_GE(got, std::size_t(samples));
        EXPECT_LE(got, given + kFrame);
        // The tone comes through at its level.
        const double in = Rms(pcm.data(), samples, c.channels);
        const double out = Rms(decoded.samples.data() + 2 * kFrame * c.channels, samples - 4 * kFrame, c.channels);
        EXPECT_NEAR(out / in, 1.0, 0.1);
    }
}
