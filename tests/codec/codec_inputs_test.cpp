// The system's MP3 codec with inputs beyond the plain WAV: it is handed the converted samples
// (16 bits, two channels at most, an encoder rate), so it encodes them as any WAV.
#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <vector>

#include "codec/codec_encoder.h"
#include "job/encoding_settings.h"
#include "platform/acm_mp3_driver.h"
#include "platform/scripted_message_box.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/wav_writer.h"

TEST(CodecInputs, A5Point1FlacAt88kHzIsEncodedAsStereoAt44kHz) {
    platform::AcmDriverRegistration driver = platform::RegisterMp3CodecDriver();
    if (!driver.Registered()) GTEST_SKIP() << "libmp3lame.so.0 is not installed";
    testwav::TempDir dir;
    platform::ScriptedMessageBox boxes;
    SF_INFO info{};
    info.samplerate = 88200;
    info.channels = 6;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    const std::string flac = dir.File("surround.flac");
    SNDFILE* f = sf_open(flac.c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    std::vector<float> samples;
    for (int i = 0; i < 88200; ++i)
        for (int c = 0; c < 6; ++c)
            samples.push_back(0.3f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / 88200)));
    sf_writef_float(f, samples.data(), 88200);
    sf_close(f);

    EncodingSettings settings;
    settings.Bitrate = 128;
    CCodecEncoder encoder;
    ASSERT_EQ(encoder.Open(settings, flac, dir.File("surround.mp3")), 1);
    EXPECT_EQ(settings.samplingFrequencyHz, 44100);
    EXPECT_EQ(settings.stereo, 2);
    while (encoder.EncodeStep() >= 0) {
    }
    encoder.Close();
    EXPECT_FALSE(encoder.OutputFailed());
    EXPECT_TRUE(boxes.Texts().empty());
    const testmp3::Decoded d = testmp3::DecodeFile(dir.File("surround.mp3"));
    EXPECT_TRUE(d.Clean()) << d.messages;
    EXPECT_EQ(d.rate, 44100);
    EXPECT_EQ(d.channels, 2);
    EXPECT_GE(d.SamplesPerChannel(), 44100u);
    EXPECT_LT(d.SamplesPerChannel(), 44100u + 3 * 1152);
}
