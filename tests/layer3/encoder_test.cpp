// The built-in encoder end to end: its output decoded by a real decoder.
#include "layer3/layer3_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "job/encoding_settings.h"
#include "platform/scripted_message_box.h"
#include "tests/layer3/bitstream_reader.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/wav_writer.h"

namespace {

struct Encoded {
    std::vector<std::uint8_t> bytes;
    testmp3::Decoded decoded;
    int lastStep = 0;
    int steps = 0;
    EncodingSettings settings;
};

// Encodes interleaved samples with the given settings changes and decodes the result.
Encoded EncodeSamples(const std::vector<std::int16_t>& pcm, int channels, int rate, int bitrateIndex = 9,
                      int mono = 0, int mode = 1, layer3::CLayer3Encoder* reuse = nullptr) {
    testwav::TempDir dir;
    const std::string wav = testwav::WritePcm16(dir.File("in.wav"), pcm, channels, rate);
    Encoded e;
    e.settings.SetBitrateIndex(bitrateIndex);
    e.settings.Mono = mono;
    e.settings.EncodingMode = mode;
    // The encoder holds every per-frame array: far too large for a stack.
    auto own = reuse ? nullptr : std::make_unique<layer3::CLayer3Encoder>();
    layer3::CLayer3Encoder& encoder = reuse ? *reuse : *own;
    EXPECT_EQ(encoder.Open(e.settings, wav, dir.File("out.mp3")), 1);
    for (int r; (r = encoder.EncodeStep()) >= 0;) {
        e.lastStep = r;
        ++e.steps;
    }
    encoder.Close();
    EXPECT_FALSE(encoder.OutputFailed());
    e.bytes = testwav::ReadBytes(dir.File("out.mp3"));
    e.decoded = testmp3::DecodeBytes(e.bytes);
    return e;
}

std::vector<std::int16_t> Channel(const std::vector<std::int16_t>& pcm, int channels, int c) {
    std::vector<std::int16_t> out;
    for (std::size_t i = static_cast<std::size_t>(c); i < pcm.size(); i += static_cast<std::size_t>(channels))
        out.push_back(pcm[i]);
    return out;
}

// The lag at which the decoded signal best matches the input, searched over 0..maxLag.
int BestLag(const std::vector<std::int16_t>& in, const std::vector<std::int16_t>& out, int maxLag) {
    int best = 0;
    double bestScore = -1e300;
    for (int lag = 0; lag <= maxLag; ++lag) {
        double score = 0;
        // A few frames tell the lag as well as the whole signal does.
        std::size_t n = std::min(in.size(), out.size() > static_cast<std::size_t>(lag)
                                                ? out.size() - static_cast<std::size_t>(lag)
                                                : 0);
        n = std::min<std::size_t>(n, 8192);
        for (std::size_t i = 0; i < n; ++i)
            score += static_cast<double>(in[i]) * out[i + static_cast<std::size_t>(lag)];
        if (score > bestScore) bestScore = score, best = lag;
    }
    return best;
}

// Signal-to-noise ratio in dB of the decoded signal against the input at the given lag, over
// the middle of the signal (the first and last frame left out).
double Snr(const std::vector<std::int16_t>& in, const std::vector<std::int16_t>& out, int lag) {
    double signal = 0, noise = 0;
    const std::size_t from = 1152, to = in.size() > 2304 ? in.size() - 1152 : 0;
    for (std::size_t i = from; i < to && i + static_cast<std::size_t>(lag) < out.size(); ++i) {
        const double d = static_cast<double>(out[i + static_cast<std::size_t>(lag)]) - in[i];
        signal += static_cast<double>(in[i]) * in[i];
        noise += d * d;
    }
    return noise > 0 ? 10 * std::log10(signal / noise) : 200.0;
}

// A few seconds' worth of music-like material: notes with attacks over a chord.
std::vector<std::int16_t> Music(int frames, int channels, int rate) {
    std::vector<std::int16_t> out;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double note = std::fmod(t, 0.25);
        double v = 4000 * (std::sin(2 * M_PI * 220 * t) + std::sin(2 * M_PI * 277.2 * t) +
                           std::sin(2 * M_PI * 329.6 * t));
        v += 9000 * std::exp(-note * 12) * std::sin(2 * M_PI * (440 + 110 * std::floor(t / 0.25)) * t);
        for (int c = 0; c < channels; ++c)
            out.push_back(static_cast<std::int16_t>(std::lround(c ? v * 0.8 : v)));
    }
    return out;
}

}  // namespace

TEST(Layer3Encoder, FrameSizesFollowThePaddingRule) {
    // 48000 Hz at 128 kbps: 384-byte frames, never padded.
    auto e = EncodeSamples(testwav::Sine(1152 * 20, 2, 48000, 1000), 2, 48000);
    auto h = testmp3::ParseHeaders(e.bytes);
    ASSERT_EQ(h.size(), 21u);
    for (auto& f : h) {
        EXPECT_EQ(f.lengthBytes, 384);
        EXPECT_EQ(f.padding, 0);
    }
    // 44100 Hz at 128 kbps: the first frame padded, an unpadded one about once in 24.
    e = EncodeSamples(testwav::Sine(1152 * 96 - 1057, 2, 44100, 1000), 2, 44100);
    h = testmp3::ParseHeaders(e.bytes);
    ASSERT_EQ(h.size(), 96u);
    EXPECT_EQ(h[0].padding, 1);
    EXPECT_EQ(h[0].lengthBytes, 418);
    int unpadded = 0;
    long bytes = 0;
    for (auto& f : h)
        unpadded += f.padding == 0, bytes += f.lengthBytes;
    EXPECT_GE(unpadded, 3);
    EXPECT_LE(unpadded, 4);
    // On average 417.959... bytes a frame, never off by a whole byte.
    EXPECT_LT(std::fabs(bytes - 96 * (1152 / 44.1) * 16), 1.0);
}

TEST(Layer3Encoder, EmptyAndOneSampleOverAFrame) {
    auto e = EncodeSamples({}, 2, 44100);
    EXPECT_EQ(e.steps, 0);
    EXPECT_TRUE(e.bytes.empty());
    e = EncodeSamples(testwav::Sine(1153, 1, 44100, 440), 1, 44100);
    EXPECT_EQ(e.settings.totalFrames, 1);
    EXPECT_EQ(e.lastStep, 2);
    EXPECT_EQ(testmp3::ParseHeaders(e.bytes).size(), 2u);
    EXPECT_TRUE(e.decoded.Clean()) << e.decoded.messages;
}

TEST(Layer3Encoder, EveryInputSampleIsDecodedAndNothingFollowsTheLastFrame) {
    // A tone that ends at full strength: its last samples are what the filterbanks hold back.
    for (int rate : {32000, 44100, 48000})
        for (int channels : {1, 2})
            // The most the filterbanks can hold back, and one sample more than fits.
            for (int length : {1152 * 12, 1152 * 12 - layer3::kCodecDelay + 1}) {
                SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " channels, " << length);
                const auto pcm = testwav::Sine(length, channels, rate, 700, 16000);
                const auto e = EncodeSamples(pcm, channels, rate, 14);
                ASSERT_TRUE(e.decoded.Clean()) << e.decoded.messages;
                // Every input sample, then less than a frame of silence.
                const std::size_t end = static_cast<std::size_t>(length + layer3::kCodecDelay);
                const std::size_t decoded = e.decoded.SamplesPerChannel();
                EXPECT_GE(decoded, end);
                EXPECT_LT(decoded, end + 1152);
                EXPECT_EQ(e.lastStep, static_cast<int>(decoded / 1152));
                EXPECT_EQ(e.settings.totalFrames, length / 1152);
                for (int c = 0; c < channels; ++c) {
                    const auto in = Channel(pcm, channels, c), out = Channel(e.decoded.samples, channels, c);
                    double signal = 0, noise = 0;
                    for (std::size_t i = in.size() - 576; i < in.size(); ++i) {
                        const double d = static_cast<double>(out[i + layer3::kCodecDelay]) - in[i];
                        signal += static_cast<double>(in[i]) * in[i];
                        noise += d * d;
                    }
                    EXPECT_GT(10 * std::log10(signal / noise), 20) << "channel " << c;
                }
                // The file holds frames and nothing else.
                std::size_t framed = 0;
                for (const auto& h : testmp3::ParseHeaders(e.bytes))
                    framed += static_cast<std::size_t>(h.lengthBytes);
                EXPECT_EQ(framed, e.bytes.size());
            }
}

TEST(Layer3Encoder, EveryRateChannelLayoutAndBitRateDecodesCleanly) {
    for (int rate : {32000, 44100, 48000})
        for (int layout = 0; layout < 3; ++layout) {
            const int channels = layout == 0 ? 1 : 2;
            const int mono = layout == 2;
            auto pcm = Music(rate / 4, channels, rate);
            for (int index = 1; index <= 14; ++index)
                for (int mode = 0; mode < 4; ++mode) {
                    // Every bit rate in the default mode; the other modes at the lowest, middle and
                    // highest rates.
                    if (mode != 1 && index != 1 && index != 9 && index != 14) continue;
                    SCOPED_TRACE(testing::Message() << rate << " Hz, layout " << layout << ", index " << index
                                                    << ", mode " << mode);
                    auto e = EncodeSamples(pcm, channels, rate, index, mono, mode);
                    ASSERT_TRUE(e.decoded.Clean()) << e.decoded.messages;
                    EXPECT_EQ(e.decoded.rate, rate);
                    EXPECT_EQ(e.decoded.channels, layout == 1 ? 2 : 1);
                    auto h = testmp3::ParseHeaders(e.bytes);
                    ASSERT_FALSE(h.empty());
                    EXPECT_EQ(h[0].bitrateIndex, index);
                    EXPECT_EQ(h[0].mode, layout == 1 ? 0 : 3);
                    EXPECT_EQ(e.decoded.SamplesPerChannel(), h.size() * 1152);
                }
        }
}

TEST(Layer3Encoder, DecodedAudioReproducesTheInputInEveryMode) {
    const int rate = 44100;
    struct Signal {
        const char* name;
        std::vector<std::int16_t> pcm;
        double floorDb;
    };
    std::vector<Signal> signals = {
        {"sine", testwav::Sine(rate, 2, rate, 1000), 20},
        {"music", Music(rate, 2, rate), 12},
        {"noise", testwav::Noise(rate, 2, 7, 3000), 2},
        {"clicks", testwav::ClickTrain(rate, 2, 4410, 12000), 3},
    };
    for (int mode = 0; mode < 4; ++mode)
        for (auto& s : signals) {
            auto e = EncodeSamples(s.pcm, 2, rate, 9, 0, mode);
            ASSERT_TRUE(e.decoded.Clean()) << e.decoded.messages;
            auto in = Channel(s.pcm, 2, 0), out = Channel(e.decoded.samples, 2, 0);
            const int lag = BestLag(in, out, 3000);
            const double snr = Snr(in, out, lag);
            std::printf("mode %d %-6s delay %d samples, SNR %.1f dB\n", mode, s.name, lag, snr);
            EXPECT_GT(snr, s.floorDb) << s.name << " mode " << mode;
        }
}

TEST(Layer3Encoder, StereoWithMonoIsTheAverageOfTheChannels) {
    std::vector<std::int16_t> pcm;
    auto left = testwav::Sine(44100, 1, 44100, 500, 8000);
    for (auto v : left) {
        pcm.push_back(v);
        pcm.push_back(0);
    }
    auto e = EncodeSamples(pcm, 2, 44100, 9, 1);
    ASSERT_TRUE(e.decoded.Clean());
    ASSERT_EQ(e.decoded.channels, 1);
    double peak = 0;
    for (auto v : e.decoded.samples)
        peak = std::max(peak, std::abs(static_cast<double>(v)));
    EXPECT_NEAR(peak, 4000, 600);
}

TEST(Layer3Encoder, AFileGivesTheSameBytesAloneAndAfterAnotherInOneEncoder) {
    // The file before ends on clicks: short blocks pending, thresholds and the reservoir high.
    auto before = Music(44100 / 2, 2, 44100);
    const auto clicks = testwav::ClickTrain(44100 / 4, 2, 2000, 30000);
    before.insert(before.end(), clicks.begin(), clicks.end());
    const auto music = Music(44100 / 2, 2, 44100);
    const auto alone = EncodeSamples(music, 2, 44100);
    auto encoder = std::make_unique<layer3::CLayer3Encoder>();
    const auto a = EncodeSamples(before, 2, 44100, 9, 0, 1, encoder.get());
    EXPECT_TRUE(a.decoded.Clean());
    EXPECT_EQ(EncodeSamples(music, 2, 44100, 9, 0, 1, encoder.get()).bytes, alone.bytes);
    // Another rate and layout in between, then the same file again.
    const auto b = EncodeSamples(testwav::Sine(48000 / 2, 1, 48000, 300), 1, 48000, 5, 0, 1, encoder.get());
    EXPECT_TRUE(b.decoded.Clean());
    EXPECT_EQ(b.decoded.rate, 48000);
    EXPECT_EQ(EncodeSamples(music, 2, 44100, 9, 0, 1, encoder.get()).bytes, alone.bytes);
}

TEST(Layer3Encoder, LargeQuantisedValuesPrintNothing) {
    // A loud low tone at 320 kbps quantises far beyond 1024.
    testing::internal::CaptureStdout();
    const auto e = EncodeSamples(testwav::Sine(44100 / 2, 1, 44100, 80, 32000), 1, 44100, 14);
    const std::string printed = testing::internal::GetCapturedStdout();
    std::string error;
    int largest = 0;
    for (const auto& f : bitstreamtest::ReadStream(e.bytes, error))
        for (const auto& gr : f.values)
            for (int v : gr[0])
                largest = std::max(largest, std::abs(v));
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_GE(largest, 1024);
    EXPECT_EQ(printed, "");
}

TEST(Layer3Encoder, FailuresToOpenAndToWrite) {
    testwav::TempDir dir;
    platform::ScriptedMessageBox boxes;
    auto heldEncoder = std::make_unique<layer3::CLayer3Encoder>();
    layer3::CLayer3Encoder& encoder = *heldEncoder;
    EncodingSettings s;
    // Close after a failed first Open neither writes nor ends the process.
    EXPECT_EQ(encoder.Open(s, dir.File("missing.wav"), dir.File("missing.mp3")), 0);
    encoder.Close();
    EXPECT_EQ(encoder.EncodeStep(), -1);
    const std::string wav = testwav::WritePcm16(dir.File("a.wav"), testwav::Noise(1152 * 40, 2), 2, 44100);
    EXPECT_EQ(encoder.Open(s, wav, dir.File("no/such/dir/a.mp3")), 0);
    encoder.Close();
    EXPECT_EQ(boxes.Count(), 0u);
    // A full disk is a failed file with a message, never a success.
    ASSERT_EQ(encoder.Open(s, wav, "/dev/full"), 1);
    while (encoder.EncodeStep() >= 0) {
    }
    encoder.Close();
    EXPECT_TRUE(encoder.OutputFailed());
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"Error writing to file /dev/full: No space left on device"});
    // A WAV named like its output is refused before anything is written.
    const std::string named = dir.File("x.mp3");
    std::rename(wav.c_str(), named.c_str());
    const auto before = testwav::ReadBytes(named);
    EXPECT_EQ(encoder.Open(s, named, named), 0);
    encoder.Close();
    EXPECT_EQ(testwav::ReadBytes(named), before);
    EXPECT_EQ(boxes.Count(), 2u);
}

namespace {
std::uint64_t Fnv1a(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::uint8_t b : bytes)
        h = (h ^ b) * 1099511628211ull;
    return h;
}
}  // namespace

// The exact bytes of a few encodings. Speed work must leave every one of them unchanged; a
// deliberate change of the output updates them with the reason in its commit.
TEST(Layer3Encoder, GoldenChecksums) {
    struct Case {
        const char* name;
        int rate, channels, bitrateIndex, mono, mode;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {"44100 stereo 128k mode 1", 44100, 2, 9, 0, 1, 0xfa1638d9695f1b6bull},
        {"48000 mono 64k mode 3", 48000, 1, 5, 0, 3, 0x81f287ea9a4d27bbull},
        {"32000 stereo 320k mode 0", 32000, 2, 14, 0, 0, 0xe50e7150aa5e94f1ull},
        {"44100 stereo as mono 96k mode 2", 44100, 2, 7, 1, 2, 0xa9a202f2e75e4cdbull},
    };
    for (const Case& c : cases) {
        auto pcm = Music(c.rate, c.channels, c.rate);
        auto noise = testwav::Noise(c.rate / 2, c.channels, 3, 2000);
        pcm.insert(pcm.end(), noise.begin(), noise.end());
        auto clicks = testwav::ClickTrain(c.rate / 2, c.channels, c.rate / 8);
        pcm.insert(pcm.end(), clicks.begin(), clicks.end());
        auto e = EncodeSamples(pcm, c.channels, c.rate, c.bitrateIndex, c.mono, c.mode);
        EXPECT_TRUE(e.decoded.Clean()) << c.name;
        EXPECT_EQ(Fnv1a(e.bytes), c.expected) << c.name;
    }
}

namespace {

struct StoppableRun {
    std::vector<std::uint8_t> bytes;
    std::vector<int> steps;  // what each EncodeStep returned
};

// Encodes wav with one thread or two, stopping after maxSteps frames when maxSteps >= 0.
StoppableRun EncodeOnThreads(layer3::CLayer3Encoder& encoder, const testwav::TempDir& dir,
                             const std::string& wav, bool twoThreads, int maxSteps, int mono = 0) {
    EncodingSettings s;
    s.Mono = mono;
    encoder.AllowSecondThread(twoThreads);
    StoppableRun run;
    EXPECT_EQ(encoder.Open(s, wav, dir.File("out.mp3")), 1);
    for (int r; static_cast<int>(run.steps.size()) != maxSteps && (r = encoder.EncodeStep()) >= 0;)
        run.steps.push_back(r);
    encoder.Close();
    run.bytes = testwav::ReadBytes(dir.File("out.mp3"));
    return run;
}

}  // namespace

// The second thread analyses the frames ahead (first trials included) and formats those the
// loops have finished: the bytes, the frame count each step reports and the frame a stop ends
// on are those of one thread.
TEST(Layer3Encoder, TwoThreadsGiveTheBytesAndStepsOfOne) {
    testwav::TempDir dir;
    auto pcm = Music(44100, 2, 44100);
    const auto clicks = testwav::ClickTrain(44100 / 2, 2, 44100 / 8);
    pcm.insert(pcm.end(), clicks.begin(), clicks.end());
    const std::string wav = testwav::WritePcm16(dir.File("in.wav"), pcm, 2, 44100);
    auto one = std::make_unique<layer3::CLayer3Encoder>();
    auto two = std::make_unique<layer3::CLayer3Encoder>();
    for (int mono : {0, 1}) {
        const StoppableRun whole = EncodeOnThreads(*one, dir, wav, false, -1, mono);
        const StoppableRun piped = EncodeOnThreads(*two, dir, wav, true, -1, mono);
        EXPECT_EQ(piped.bytes, whole.bytes) << "mono " << mono;
        EXPECT_EQ(piped.steps, whole.steps) << "mono " << mono;
        ASSERT_GT(whole.steps.size(), 20u);
        // Stopped after 7 frames, once with the same encoder again and once on one thread.
        const StoppableRun stopped = EncodeOnThreads(*two, dir, wav, true, 7, mono);
        EXPECT_EQ(stopped.bytes, EncodeOnThreads(*one, dir, wav, false, 7, mono).bytes);
        EXPECT_EQ(stopped.steps.size(), 7u);
        EXPECT_EQ(stopped.steps.back(), 7);
    }
}

namespace {

thread_local int reportingFile = 0;

// Records, with each box, the file the showing thread reports for.
class FiledBoxes : public platform::MessageBoxFrontEnd {
  public:
    FiledBoxes() : previous_(platform::SetMessageBoxFrontEnd(this)) {}
    ~FiledBoxes() override { platform::SetMessageBoxFrontEnd(previous_); }
    int Show(const platform::MessageBoxRequest& request) override {
        std::lock_guard lock(mutex_);
        filed.emplace_back(reportingFile, request.text);
        return platform::IDOK;
    }
    std::vector<std::pair<int, std::string>> filed;

  private:
    std::mutex mutex_;
    platform::MessageBoxFrontEnd* previous_;
};

}  // namespace

// A file that ends early is found by the thread that reads it, the second one: what it reports
// must be filed as the caller says (a batch files each message under its file).
TEST(Layer3Encoder, TheSecondThreadReportsAsTheCallerFilesItsReports) {
    const char* forced = std::getenv("VELTO_FILE_THREADS");
    if (std::thread::hardware_concurrency() < 2 || (forced && std::string(forced) == "1"))
        GTEST_SKIP() << "files keep one thread here";
    testwav::TempDir dir;
    const std::string wav = testwav::WritePcm16(dir.File("in.wav"), Music(44100, 2, 44100), 2, 44100);
    FiledBoxes boxes;
    auto encoder = std::make_unique<layer3::CLayer3Encoder>();
    encoder->AllowSecondThread(true);
    bool started = false;
    // The thread files under file 3, and the input shrinks before its first read.
    encoder->SetThreadStart([&] {
        started = true;
        reportingFile = 3;
        std::filesystem::resize_file(wav, 44 + 4000);
    });
    EncodingSettings s;
    ASSERT_EQ(encoder->Open(s, wav, dir.File("out.mp3")), 1);
    while (encoder->EncodeStep() >= 0) {
    }
    encoder->Close();
    ASSERT_TRUE(started);
    ASSERT_EQ(boxes.filed.size(), 1u);
    EXPECT_EQ(boxes.filed[0].first, 3);
    EXPECT_NE(boxes.filed[0].second.find("ended early"), std::string::npos);
    EXPECT_TRUE(encoder->OutputFailed());
}
