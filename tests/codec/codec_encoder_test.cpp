// CCodecEncoder against scripted drivers: the format choice, the order of the stream calls,
// the bytes written, and every failure message.
#include <gtest/gtest.h>

#include <cstdio>

#include <cstring>

#include "codec/codec_encoder.h"
#include "job/encoding_settings.h"
#include "platform/scripted_message_box.h"
#include "tests/codec/fake_driver.h"
#include "tests/support/wav_writer.h"

using namespace platform;
using testacm::FakeDriver;
using testacm::Script;

namespace {

constexpr int kFrame = 1152;
constexpr WORD kMark = 0x1234;  // the codec-delay field of the fake's formats

class CodecEncoderWithFake : public testing::Test {
  protected:
    CodecEncoderWithFake() : script_(std::make_shared<Script>()) {
        script_->formats.push_back(MakeMpegLayer3Format(44100, 2, 192, kMark));
        script_->formats.push_back(MakeMpegLayer3Format(44100, 2, 128, kMark));
        script_->formats.push_back(MakeMpegLayer3Format(44100, 1, 128, kMark));
    }
    void Register() { driver_ = AcmDriverRegistration(std::make_shared<FakeDriver>("Fake Codec", script_)); }

    std::string Wav(int samples, int channels, int rate = 44100) {
        pcm_ = testwav::Noise(samples, channels);
        return testwav::WritePcm16(dir_.File("in.wav"), pcm_, channels, rate);
    }
    std::string Mp3() const { return dir_.File("out.mp3"); }

    std::shared_ptr<Script> script_;
    AcmDriverRegistration driver_;
    testwav::TempDir dir_;
    ScriptedMessageBox boxes_;
    EncodingSettings settings_;
    CCodecEncoder encoder_;
    std::vector<std::int16_t> pcm_;
};

std::vector<std::uint8_t> Repeated(std::uint8_t value, std::size_t n) {
    return std::vector<std::uint8_t>(n, value);
}

}  // namespace

TEST_F(CodecEncoderWithFake, WritesTheCodecsBytesInOrderAndTheFinalOnes) {
    script_->produce = {0, 100, 200, 50};  // the first block is held back
    Register();
    const std::string wav = Wav(3 * kFrame + 500, 2);
    ASSERT_EQ(encoder_.Open(settings_, wav, Mp3()), 1);
    EXPECT_EQ(settings_.stereo, 2);
    EXPECT_EQ(settings_.mode, 0);
    EXPECT_EQ(settings_.samplingFrequencyHz, 44100);
    EXPECT_EQ(settings_.sampleCount, 3 * kFrame + 500);
    EXPECT_EQ(settings_.samplesPerFrame, kFrame);
    EXPECT_EQ(settings_.granulesPerFrame, 2);
    EXPECT_EQ(settings_.totalFrames, 3);
    EXPECT_EQ(settings_.bitsPerSlot, 8);

    EXPECT_EQ(encoder_.EncodeStep(), 0);  // no bytes: nothing written, frameCount unchanged
    EXPECT_EQ(encoder_.EncodeStep(), 1);
    EXPECT_EQ(encoder_.EncodeStep(), 2);
    EXPECT_EQ(encoder_.EncodeStep(), 3);
    EXPECT_EQ(encoder_.EncodeStep(), -1);
    EXPECT_EQ(encoder_.EncodeStep(), -1);  // the end stays the end
    encoder_.Close();
    EXPECT_EQ(boxes_.Count(), 0u);

    // PCM in as the reader delivers it, one 4608-byte block per step, then the end flag alone.
    const WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    EXPECT_EQ(std::memcmp(&script_->source, &pcm, sizeof pcm), 0);
    EXPECT_EQ(script_->convertFlags,
              (std::vector<DWORD>{ACM_STREAMCONVERTF_BLOCKALIGN, ACM_STREAMCONVERTF_BLOCKALIGN,
                                  ACM_STREAMCONVERTF_BLOCKALIGN, ACM_STREAMCONVERTF_BLOCKALIGN,
                                  ACM_STREAMCONVERTF_END}));
    EXPECT_EQ(script_->convertLengths, (std::vector<DWORD>{4608, 4608, 4608, 4608, 0}));
    EXPECT_EQ(script_->firstBlock, std::vector<std::int16_t>(pcm_.begin(), pcm_.begin() + 2 * kFrame));
    // The destination is the enumerated record exactly, its extra bytes included.
    EXPECT_EQ(script_->destination, MakeMpegLayer3Format(44100, 2, 128, kMark).bytes);
    EXPECT_EQ(script_->headerSize, kAcmStreamHeaderPublishedSize);
    EXPECT_EQ(script_->prepared, 1);
    EXPECT_EQ(script_->unprepared, 1);
    EXPECT_EQ(script_->streamsClosed, 1);

    std::vector<std::uint8_t> expected;
    for (auto [value, n] : {std::pair{2, 100}, {3, 200}, {4, 50}, {0xEE, 37}}) {
        auto part = Repeated(static_cast<std::uint8_t>(value), static_cast<std::size_t>(n));
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(testwav::ReadBytes(Mp3()), expected);
}

TEST_F(CodecEncoderWithFake, MonoInputAndMonoSettingAskForOneChannel) {
    Register();
    ASSERT_EQ(encoder_.Open(settings_, Wav(kFrame, 1), Mp3()), 1);
    EXPECT_EQ(settings_.stereo, 1);
    EXPECT_EQ(settings_.mode, 3);
    EXPECT_EQ(script_->destination, MakeMpegLayer3Format(44100, 1, 128, kMark).bytes);
    EXPECT_EQ(int{script_->source.nChannels}, 1);
    encoder_.Close();

    settings_.Mono = 1;
    ASSERT_EQ(encoder_.Open(settings_, Wav(kFrame, 2), Mp3()), 1);
    EXPECT_EQ(settings_.stereo, 1);
    EXPECT_EQ(settings_.mode, 3);
    EXPECT_EQ(int{script_->source.nChannels}, 2);  // two channels of PCM into a one-channel format
    EXPECT_EQ(script_->destination, MakeMpegLayer3Format(44100, 1, 128, kMark).bytes);
    encoder_.Close();
    EXPECT_EQ(boxes_.Count(), 0u);
}

TEST_F(CodecEncoderWithFake, TakesTheFirstEqualFormatOfAllDrivers) {
    // The first driver's only 128 kbps stereo record differs in block align: not equal. The
    // second and third both have an equal one; the second's is taken.
    auto first = std::make_shared<Script>();
    first->formats.push_back(MakeMpegLayer3Format(44100, 2, 128, 1));
    first->formats.back().bytes[12] = 0;  // nBlockAlign 0
    auto second = std::make_shared<Script>();
    second->formats.push_back(MakeMpegLayer3Format(44100, 2, 128, 2));
    AcmDriverRegistration a(std::make_shared<FakeDriver>("First", first));
    AcmDriverRegistration b(std::make_shared<FakeDriver>("Second", second));
    Register();
    ASSERT_EQ(encoder_.Open(settings_, Wav(kFrame, 2), Mp3()), 1);
    encoder_.Close();
    EXPECT_EQ(second->destination, MakeMpegLayer3Format(44100, 2, 128, 2).bytes);
    EXPECT_TRUE(script_->destination.empty());
    EXPECT_TRUE(first->destination.empty());
}

TEST_F(CodecEncoderWithFake, CanEncodeAsksForTheExactFormat) {
    Register();
    EXPECT_TRUE(encoder_.CanEncode(44100, 128, false));
    EXPECT_TRUE(encoder_.CanEncode(44100, 128, true));
    EXPECT_TRUE(encoder_.CanEncode(44100, 192, false));
    EXPECT_FALSE(encoder_.CanEncode(44100, 192, true));
    EXPECT_FALSE(encoder_.CanEncode(48000, 128, false));
    EXPECT_TRUE(CCodecEncoder::IsCodecInstalled("Fake Codec"));
    EXPECT_FALSE(CCodecEncoder::IsCodecInstalled("Fake Codec "));
    driver_.Reset();
    EXPECT_FALSE(encoder_.CanEncode(44100, 128, false));
    EXPECT_FALSE(CCodecEncoder::IsCodecInstalled("Fake Codec"));
}

// Each failure of Open shows its message once, returns 0, and Close then releases what was
// acquired without a further message.
TEST_F(CodecEncoderWithFake, EachFailedOpenShowsItsMessage) {
    struct Failure {
        const char* message;
        void (*arrange)(Script&, EncodingSettings&);
        bool streamOpened;
    };
    const Failure failures[] = {
        {"Invalid conversion parameters!", [](Script&, EncodingSettings& s) { s.Bitrate = 160; }, false},
        {"Could not perform conversion!", [](Script& d, EncodingSettings&) { d.refuseOpen = true; }, false},
        {"Could not perform conversion!", [](Script& d, EncodingSettings&) { d.failSize = true; }, true},
        {"Could not perform conversion!",
         [](Script& d, EncodingSettings& s) {
             d.convertsChannels = false;
             s.Mono = 1;
         },
         false},
        {"ACM: Could not create stream!", [](Script& d, EncodingSettings&) { d.failPrepare = true; }, true},
    };
    for (const Failure& f : failures) {
        SCOPED_TRACE(f.message);
        auto script = std::make_shared<Script>(*script_);
        AcmDriverRegistration driver(std::make_shared<FakeDriver>("Fake Codec", script));
        EncodingSettings settings;
        f.arrange(*script, settings);
        boxes_.Clear();
        testwav::TempDir dir;
        const std::string mp3 = dir.File("out.mp3");
        EXPECT_EQ(encoder_.Open(settings, Wav(2 * kFrame, 2), mp3), 0);
        EXPECT_EQ(encoder_.EncodeStep(), -1);
        encoder_.Close();
        EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{f.message});
        EXPECT_EQ(script->unprepared, 0);
        EXPECT_EQ(script->streamsClosed, f.streamOpened ? 1 : 0);
        EXPECT_FALSE(FileExists(mp3));  // made before the codec is asked, and removed again
    }
}

TEST_F(CodecEncoderWithFake, OutputThatCannotBeCreated) {
    Register();
    EXPECT_EQ(encoder_.Open(settings_, Wav(kFrame, 2), dir_.File("missing/out.mp3")), 0);
    encoder_.Close();
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{"Could not create MP3 file!\n" + dir_.File("missing/out.mp3") +
                                       " cannot be written: No such file or directory"});
}

TEST_F(CodecEncoderWithFake, InputThatDoesNotOpenFailsQuietly) {
    Register();
    EXPECT_EQ(encoder_.Open(settings_, dir_.File("none.wav"), Mp3()), 0);
    encoder_.Close();
    EXPECT_EQ(boxes_.Count(), 0u);
    EXPECT_FALSE(FileExists(Mp3()));  // the input is checked before the output is made
}

TEST_F(CodecEncoderWithFake, ConversionErrorEndsTheFile) {
    script_->failConvertCall = 1;
    Register();
    ASSERT_EQ(encoder_.Open(settings_, Wav(4 * kFrame, 2), Mp3()), 1);
    EXPECT_EQ(encoder_.EncodeStep(), 1);
    EXPECT_EQ(encoder_.EncodeStep(), -1);
    encoder_.Close();
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Error during Conversion"});
    EXPECT_FALSE(FileExists(Mp3()));  // what a failed conversion wrote is no file to keep
    EXPECT_EQ(script_->unprepared, 1);
}

TEST_F(CodecEncoderWithFake, FailedFinalConversionIsReported) {
    script_->failConvertCall = 1;  // the end flag's conversion of a one-block input
    Register();
    ASSERT_EQ(encoder_.Open(settings_, Wav(kFrame, 2), Mp3()), 1);
    EXPECT_EQ(encoder_.EncodeStep(), 1);
    EXPECT_EQ(encoder_.EncodeStep(), -1);
    encoder_.Close();
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Error during Conversion"});
}

TEST_F(CodecEncoderWithFake, ShortWriteIsReportedOnce) {
    script_->bytes = 8000;  // more than the file's buffer: the write reaches the full device
    Register();
    ASSERT_EQ(encoder_.Open(settings_, Wav(4 * kFrame, 2), "/dev/full"), 1);
    EXPECT_EQ(encoder_.EncodeStep(), -1);
    encoder_.Close();
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{"Error writing to file /dev/full: No space left on device"});
}

TEST_F(CodecEncoderWithFake, BytesLostWhenTheFileIsClosedAreReported) {
    script_->bytes = 10;  // stays in the file's buffer until it is flushed
    Register();
    ASSERT_EQ(encoder_.Open(settings_, Wav(2 * kFrame, 2), "/dev/full"), 1);
    while (encoder_.EncodeStep() >= 0) {
    }
    EXPECT_EQ(boxes_.Count(), 0u);
    EXPECT_FALSE(encoder_.OutputFailed());
    encoder_.Close();
    EXPECT_EQ(boxes_.Texts(),
              std::vector<std::string>{"Error writing to file /dev/full: No space left on device"});
    EXPECT_TRUE(encoder_.OutputFailed());  // the file counts as failed
}

TEST_F(CodecEncoderWithFake, AWavNamedLikeItsOutputIsLeftUntouched) {
    Register();
    const std::string wav = Wav(2 * kFrame, 2);
    const std::string named = dir_.File("song.mp3");
    ASSERT_EQ(std::rename(wav.c_str(), named.c_str()), 0);
    const auto before = testwav::ReadBytes(named);
    EXPECT_EQ(encoder_.Open(settings_, named, named), 0);
    encoder_.Close();
    EXPECT_EQ(testwav::ReadBytes(named), before);
    ASSERT_EQ(boxes_.Count(), 1u);
    EXPECT_NE(boxes_.Texts()[0].find("would overwrite this WAV file"), std::string::npos);
}

TEST_F(CodecEncoderWithFake, OneObjectEncodesFileAfterFile) {
    Register();
    for (int file = 0; file < 3; ++file) {
        SCOPED_TRACE(file);
        const std::string mp3 = dir_.File("out" + std::to_string(file) + ".mp3");
        ASSERT_EQ(encoder_.Open(settings_, Wav((file + 1) * kFrame, 2), mp3), 1);
        int last = 0, r;
        while ((r = encoder_.EncodeStep()) >= 0)
            last = r;
        encoder_.Close();
        EXPECT_EQ(last, file + 1);
        EXPECT_EQ(testwav::ReadBytes(mp3).size(), std::size_t(100 * (file + 1) + 37));
    }
    EXPECT_EQ(script_->streamsClosed, 3);
    EXPECT_EQ(boxes_.Count(), 0u);
}
