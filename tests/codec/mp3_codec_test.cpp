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
        if (!driver_.Registered()) GTEST_SKIP() << "libmp3lame.so.0 is not installed";
    }

    // Encodes the signal to an MP3 file and returns its bytes; every step's result is checked.
    std::vector<std::uint8_t> Encode(const std::vector<std::int16_t>& pcm, int channels, int rate, int kbps,
                                     bool mono = false) {
        const std::string wav = testwav::WritePcm16(dir_.File("in.wav"), pcm, channels, rate);
        const std::string mp3 = dir_.File("out.mp3");
        EncodingSettings settings;
        settings.Bitrate = kbps;
        settings.Mono = mono;
        settings.InfoHeader = settings.ReplayGain = infoHeader_;
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
    int infoHeader_ = 0;
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
        const double out =
            Rms(decoded.samples.data() + 2 * kFrame * c.channels, samples - 4 * kFrame, c.channels);
        EXPECT_NEAR(out / in, 1.0, 0.1);
    }
}

TEST_F(Mp3Codec, StereoInputWithMonoSetIsMixedToOneChannel) {
    // Left carries the tone, right is silent: one channel at half the level comes out.
    const int samples = 12 * kFrame;
    auto pcm = testwav::Sine(samples, 2, 44100, 440.0);
    for (int i = 0; i < samples; ++i)
        pcm[2 * i + 1] = 0;
    const auto decoded = testmp3::DecodeBytes(Encode(pcm, 2, 44100, 96, true));
    EXPECT_TRUE(decoded.Clean()) << decoded.messages;
    EXPECT_EQ(decoded.channels, 1);
    const double in = Rms(pcm.data(), samples, 2);
    const double out = Rms(decoded.samples.data() + 2 * kFrame, samples - 4 * kFrame, 1);
    EXPECT_NEAR(out / in, 0.5, 0.06);
}

TEST_F(Mp3Codec, TwoEncodersSideBySideKeepTheirOwnStreams) {
    // A loud tone and a quiet one, stepped in turn: each file decodes to its own level.
    const int samples = 10 * kFrame;
    const double amplitude[2] = {12000.0, 1500.0};
    EncodingSettings settings[2];
    CCodecEncoder encoders[2];
    std::string mp3[2];
    for (int i = 0; i < 2; ++i) {
        const auto pcm = testwav::Sine(samples, 2, 44100, 700.0, amplitude[i]);
        const auto wav = testwav::WritePcm16(dir_.File("in" + std::to_string(i) + ".wav"), pcm, 2, 44100);
        mp3[i] = dir_.File("out" + std::to_string(i) + ".mp3");
        ASSERT_EQ(encoders[i].Open(settings[i], wav, mp3[i]), 1);
    }
    bool running[2] = {true, true};
    while (running[0] || running[1])
        for (int i = 0; i < 2; ++i)
            if (running[i]) running[i] = encoders[i].EncodeStep() >= 0;
    for (int i = 0; i < 2; ++i) {
        encoders[i].Close();
        const auto decoded = testmp3::DecodeFile(mp3[i]);
        EXPECT_TRUE(decoded.Clean());
        const double rms = Rms(decoded.samples.data() + 4 * kFrame, samples - 6 * kFrame, 1);
        EXPECT_NEAR(rms / (amplitude[i] / std::sqrt(2.0)), 1.0, 0.1) << i;
    }
}

TEST_F(Mp3Codec, EnumeratesEveryLayer3FormatAsPublished) {
    struct Seen {
        std::vector<std::vector<BYTE>> formats;
    } seen;
    std::vector<BYTE> buffer(64, 0);
    buffer[0] = 0x55;
    ACMFORMATDETAILS details{};
    details.cbStruct = kAcmFormatDetailsPublishedSize;
    details.dwFormatTag = WAVE_FORMAT_MPEGLAYER3;
    details.pwfx = reinterpret_cast<WAVEFORMATEX*>(buffer.data());
    details.cbwfx = static_cast<DWORD>(buffer.size());
    auto collect = [](HACMDRIVERID, ACMFORMATDETAILS* d, DWORD_PTR instance, DWORD) -> BOOL {
        auto* s = reinterpret_cast<Seen*>(instance);
        const auto* bytes = reinterpret_cast<const BYTE*>(d->pwfx);
        s->formats.emplace_back(bytes, bytes + 18 + d->pwfx->cbSize);
        return 1;
    };
    ASSERT_EQ(acmFormatEnum(nullptr, &details, collect, reinterpret_cast<DWORD_PTR>(&seen),
                            ACM_FORMATENUMF_WFORMATTAG),
              MMSYSERR_NOERROR);
    ASSERT_EQ(seen.formats.size(), 3u * 2u * 14u);
    // 44100 Hz, stereo, 128 kbps, little-endian: tag, channels, rate, bytes per second, block
    // align 1, 0 bits, 12 extra bytes; then wID 1, ISO padding, a 417-byte frame, 1 frame.
    const std::vector<BYTE> expected = {0x55, 0x00, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x80, 0x3E,
                                        0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x01, 0x00,
                                        0x00, 0x00, 0x00, 0x00, 0xA1, 0x01, 0x01, 0x00};
    bool found = false;
    for (const auto& f : seen.formats) {
        ASSERT_EQ(f.size(), 30u);
        if (std::equal(expected.begin(), expected.end(), f.begin())) found = true;
    }
    EXPECT_TRUE(found);
}

TEST_F(Mp3Codec, CanEncodeWhatTheDriverEnumeratesOnly) {
    CCodecEncoder encoder;
    EXPECT_TRUE(CCodecEncoder::IsCodecInstalled(codec::kCodecDriverName));
    EXPECT_FALSE(CCodecEncoder::IsCodecInstalled("MPEG Layer-3 Codec"));   // the blank belongs
    EXPECT_FALSE(CCodecEncoder::IsCodecInstalled("mpeg layer-3 codec "));  // case counts
    EXPECT_TRUE(encoder.CanEncode(44100, 128, false));
    EXPECT_TRUE(encoder.CanEncode(48000, 64, true));
    EXPECT_TRUE(encoder.CanEncode(32000, 320, false));
    EXPECT_FALSE(encoder.CanEncode(22050, 128, false));
    EXPECT_FALSE(encoder.CanEncode(44100, 100, false));
    EXPECT_FALSE(encoder.CanEncode(44100, 384, true));
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST(Mp3CodecAbsent, NoDriverAndNoCrashWhenTheLibraryIsMissing) {
    ScriptedMessageBox boxes;
    AcmDriverRegistration driver = RegisterMp3CodecDriver("libvelto-no-such-codec.so.0");
    EXPECT_FALSE(driver.Registered());
    EXPECT_FALSE(CCodecEncoder::IsCodecInstalled(codec::kCodecDriverName));
    CCodecEncoder encoder;
    EXPECT_FALSE(encoder.CanEncode(44100, 128, false));

    testwav::TempDir dir;
    const auto wav = testwav::WritePcm16(dir.File("a.wav"), testwav::Sine(3000, 2, 44100, 440.0), 2, 44100);
    EncodingSettings settings;
    EXPECT_EQ(encoder.Open(settings, wav, dir.File("a.mp3")), 0);
    EXPECT_EQ(encoder.EncodeStep(), -1);
    encoder.Close();
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Invalid conversion parameters!"});
}

TEST(CodecDetection, FlagFollowsWhetherTheCodecLoads) {
    const bool installed = RegisterMp3CodecDriver().Registered();
    EXPECT_FALSE(codec::DetectCodec("/nonexistent/libmp3lame.so.0"));
    EXPECT_FALSE(codec::CodecFound());
    EXPECT_EQ(codec::DetectCodec(), installed);
    EXPECT_EQ(codec::CodecFound(), installed);
    EXPECT_EQ(CCodecEncoder::IsCodecInstalled(codec::kCodecDriverName), installed);
    // Leave the process without the codec: the tests with drivers of their own must find theirs first.
    EXPECT_FALSE(codec::DetectCodec("/nonexistent/libmp3lame.so.0"));
    EXPECT_FALSE(CCodecEncoder::IsCodecInstalled(codec::kCodecDriverName));
}

TEST_F(Mp3Codec, EveryEnumeratedFormatOpensAStream) {
    // From PCM of the same channel count, and stereo PCM into every one-channel format; never
    // a one-channel source into a stereo format.
    for (int rate : {32000, 44100, 48000})
        for (int channels : {1, 2})
            for (int kbps : {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}) {
                AcmFormat f = MakeMpegLayer3Format(rate, channels, kbps, 0);
                auto* destination = reinterpret_cast<WAVEFORMATEX*>(f.bytes.data());
                for (int from : {1, 2}) {
                    WAVEFORMATEX pcm{WAVE_FORMAT_PCM,
                                     WORD(from),
                                     DWORD(rate),
                                     DWORD(rate * from * 2),
                                     static_cast<WORD>(from * 2),
                                     16,
                                     0};
                    const MMRESULT expected = from >= channels ? MMSYSERR_NOERROR : ACMERR_NOTPOSSIBLE;
                    EXPECT_EQ(acmStreamOpen(nullptr, nullptr, &pcm, destination, nullptr, 0, 0,
                                            ACM_STREAMOPENF_QUERY),
                              expected)
                        << rate << " Hz, " << from << " into " << channels << " channels, " << kbps
                        << " kbps";
                }
            }
}

// With the Info frame, the codec's delay as the driver reports it trims the stream to exactly
// the input, aligned with it.
TEST_F(Mp3Codec, TheInfoFrameTrimsTheStreamToTheInput) {
    infoHeader_ = 1;
    for (int rate : {32000, 44100, 48000})
        for (int samples : {0, 1, 1151, 1152, 1153, 20000})
            for (int channels : {1, 2}) {
                const bool mono = channels == 2 && samples == 20000;
                const auto pcm = testwav::Noise(samples, channels, 5, 6000);
                const auto decoded = testmp3::DecodeBytes(Encode(pcm, channels, rate, 128, mono));
                const std::string name = std::to_string(rate) + " Hz, " + std::to_string(samples) +
                                         " samples, " + std::to_string(channels) +
                                         (mono ? " channels down-mixed" : " channels");
                EXPECT_EQ(decoded.SamplesPerChannel(), static_cast<std::size_t>(samples)) << name;
                if (samples < 20000) continue;
                // Noise matches itself at one lag only: the first samples line up.
                double best = -1e300;
                int bestLag = 99;
                for (int lag = -4; lag <= 4; ++lag) {
                    double score = 0;
                    for (int i = 8; i < samples - 8; ++i) {
                        const int in = mono ? (pcm[2 * i] + pcm[2 * i + 1]) / 2
                                            : pcm[static_cast<std::size_t>(i * channels)];
                        score += double(in) *
                                 decoded.samples[static_cast<std::size_t>((i + lag) * decoded.channels)];
                    }
                    if (score > best) best = score, bestLag = lag;
                }
                EXPECT_EQ(bestLag, 0) << name;
            }
}
