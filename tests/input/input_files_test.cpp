// Files of every kind the input reader takes, written with libsndfile, encoded with the
// built-in encoder and decoded with libmpg123: the right length and pitch, and no more noise
// than a plain 16-bit file gives; damaged files are explained and do not stop anything.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "input/input_tags.h"
#include "job/encoding_settings.h"
#include "layer3/audio_reader.h"
#include "layer3/layer3_encoder.h"
#include "platform/scripted_message_box.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/wav_writer.h"

namespace {

constexpr double kToneHz = 1000.0;
constexpr double kSeconds = 1.5;

struct Kind {
    const char* name;
    int format;
    int rate;
    int channels;
};

// A 1 kHz tone at -6 dBFS in every channel but a 5.1 file's LFE.
std::string WriteTone(const std::string& path, const Kind& k, double amplitude = 0.5) {
    SF_INFO info{};
    info.samplerate = k.rate;
    info.channels = k.channels;
    info.format = k.format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    EXPECT_NE(f, nullptr) << k.name << ": " << sf_strerror(nullptr);
    if (!f) return path;
    const int frames = static_cast<int>(kSeconds * k.rate);
    std::vector<double> samples;
    for (int i = 0; i < frames; ++i) {
        const double v = amplitude * std::sin(2 * M_PI * kToneHz * i / k.rate);
        for (int c = 0; c < k.channels; ++c)
            samples.push_back(k.channels == 6 && c == 3 ? 0.0 : v);
    }
    sf_writef_double(f, samples.data(), frames);
    sf_close(f);
    return path;
}

struct Encoded {
    std::string path;
    int outputRate = 0;
    int outputFrames = 0;
    testmp3::Decoded decoded;
    std::vector<std::string> messages;
    bool failed = false;
    std::vector<std::uint8_t> bytes;
};

Encoded Encode(const std::string& path) {
    platform::ScriptedMessageBox boxes;
    Encoded e;
    e.path = path;
    EncodingSettings settings;
    settings.SetBitrateIndex(9);  // 128 kbps
    settings.InfoHeader = 1;      // the stream says its exact length
    auto encoder = std::make_unique<layer3::CLayer3Encoder>();
    const std::string out = path + ".mp3";
    if (encoder->Open(settings, path, out) == 1) {
        e.outputRate = settings.samplingFrequencyHz;
        e.outputFrames = settings.sampleCount;
        while (encoder->EncodeStep() >= 0) {
        }
        encoder->Close();
        e.failed = encoder->OutputFailed();
        e.bytes = testwav::ReadBytes(out);
        e.decoded = testmp3::DecodeBytes(e.bytes);
    }
    e.messages = boxes.Texts();
    return e;
}

std::vector<double> FirstChannel(const std::vector<std::int16_t>& pcm, int channels) {
    std::vector<double> out;
    for (std::size_t i = 0; i < pcm.size(); i += static_cast<std::size_t>(channels))
        out.push_back(pcm[i]);
    return out;
}

// The strongest line of a Hann-windowed DFT over 8192 samples from the middle, in Hz.
double ToneFrequency(const std::vector<double>& x, int rate) {
    constexpr int n = 8192;
    const std::size_t from = x.size() / 2 - n / 2;
    std::vector<double> windowed(n), cosines(n), sines(n);
    for (int i = 0; i < n; ++i) {
        windowed[i] = (0.5 - 0.5 * std::cos(2 * M_PI * i / n)) * x[from + static_cast<std::size_t>(i)];
        cosines[i] = std::cos(2 * M_PI * i / n);
        sines[i] = std::sin(2 * M_PI * i / n);
    }
    double bestPower = -1;
    int bestBin = 0;
    for (int k = 1; k < n / 2; ++k) {
        double re = 0, im = 0;
        for (int i = 0, phase = 0; i < n; ++i, phase = (phase + k) & (n - 1)) {
            re += windowed[i] * cosines[phase];
            im -= windowed[i] * sines[phase];
        }
        if (re * re + im * im > bestPower) bestPower = re * re + im * im, bestBin = k;
    }
    return static_cast<double>(bestBin) * rate / n;
}

// Signal to noise and distortion of a 1 kHz tone in dB: the best-fitting sine (with any
// phase and offset) against what is left, over the middle of the signal.
double ToneSnr(const std::vector<double>& x, int rate, std::size_t from, std::size_t to) {
    double ss = 0, sc = 0, cc = 0, xs = 0, xc = 0, sum = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double s = std::sin(2 * M_PI * kToneHz * static_cast<double>(i) / rate);
        const double c = std::cos(2 * M_PI * kToneHz * static_cast<double>(i) / rate);
        ss += s * s, sc += s * c, cc += c * c, xs += x[i] * s, xc += x[i] * c, sum += x[i];
    }
    const double det = ss * cc - sc * sc;
    const double a = (xs * cc - xc * sc) / det, b = (xc * ss - xs * sc) / det;
    const double mean = sum / static_cast<double>(to - from);
    double signal = 0, noise = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double fit = a * std::sin(2 * M_PI * kToneHz * static_cast<double>(i) / rate) +
                           b * std::cos(2 * M_PI * kToneHz * static_cast<double>(i) / rate);
        signal += fit * fit;
        noise += (x[i] - mean - fit) * (x[i] - mean - fit);
    }
    return 10 * std::log10(signal / noise);
}

double DecodedSnr(const Encoded& e) {
    const std::vector<double> x = FirstChannel(e.decoded.samples, e.decoded.channels);
    const auto rate = static_cast<std::size_t>(e.outputRate);
    return ToneSnr(x, e.outputRate, rate / 4, rate * 5 / 4);
}

// The file's own quality: an 8-bit file can be no better than its 8 bits.
double SourceSnr(const std::string& path) {
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    std::vector<double> all(static_cast<std::size_t>(info.frames * info.channels)), first;
    sf_readf_double(f, all.data(), info.frames);
    sf_close(f);
    for (std::size_t i = 0; i < all.size(); i += static_cast<std::size_t>(info.channels))
        first.push_back(all[i]);
    const auto rate = static_cast<std::size_t>(info.samplerate);
    return ToneSnr(first, info.samplerate, rate / 4, rate * 5 / 4);
}

// The same tone made directly as a 16-bit 44.1 kHz WAV, with triangular dither as sound
// editors make one.
double ReferenceSnr() {
    static const double snr = [] {
        testwav::TempDir dir;
        std::mt19937 rng(11);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        std::vector<std::int16_t> pcm;
        for (int i = 0; i < static_cast<int>(kSeconds * 44100); ++i) {
            const double v = 16384.0 * std::sin(2 * M_PI * kToneHz * i / 44100) + uniform(rng) - uniform(rng);
            pcm.push_back(static_cast<std::int16_t>(std::lround(v)));
            pcm.push_back(pcm.back());
        }
        Encoded e = Encode(testwav::WritePcm16(dir.File("plain.wav"), pcm, 2, 44100));
        return DecodedSnr(e);
    }();
    return snr;
}

// Every kind in one container: encodes cleanly to the right length, rate and pitch, with at
// most 1 dB more noise than the plain 16-bit file (or than the file itself holds).
void CheckKinds(int container, const char* extension, const std::vector<Kind>& kinds) {
    testwav::TempDir dir;
    for (const Kind& k : kinds) {
        SCOPED_TRACE(k.name);
        const int major = (k.format & SF_FORMAT_TYPEMASK) ? 0 : container;
        const Kind kind{k.name, major | k.format, k.rate, k.channels};
        const std::string path = WriteTone(dir.File(std::string("tone.") + extension), kind);
        const Encoded e = Encode(path);
        ASSERT_TRUE(e.decoded.Clean()) << e.decoded.messages;
        EXPECT_TRUE(e.messages.empty()) << e.messages.front();
        EXPECT_EQ(e.decoded.rate, e.outputRate);
        EXPECT_EQ(e.decoded.channels, k.channels == 1 ? 1 : 2);
        const auto expected = static_cast<std::int64_t>(std::llround(kSeconds * e.outputRate));
        EXPECT_EQ(e.outputFrames, expected);
        // The Info frame trims the encoder's delay and the last frame's padding: the decoder
        // gives exactly the converted input's samples.
        const auto decodedFrames = static_cast<std::int64_t>(e.decoded.SamplesPerChannel());
        EXPECT_EQ(decodedFrames, expected);
        const std::vector<double> first = FirstChannel(e.decoded.samples, e.decoded.channels);
        const double hz = ToneFrequency(first, e.outputRate);
        EXPECT_NEAR(hz, kToneHz, static_cast<double>(e.outputRate) / 8192);
        const double snr = DecodedSnr(e), source = SourceSnr(path);
        EXPECT_GE(snr, std::min(ReferenceSnr(), source) - 1.0);
        std::printf("| %-6s %-24s | %6d Hz | %8.4f s | %7.1f Hz | %5.1f dB (plain 16-bit: %5.1f dB) |\n",
                    extension, k.name, e.outputRate,
                    static_cast<double>(decodedFrames) / e.outputRate, hz, snr,
                    ReferenceSnr());
    }
}

}  // namespace

TEST(InputFiles, WavOfEveryKind) {
    CheckKinds(SF_FORMAT_WAV, "wav",
               {{"24-bit 96 kHz", SF_FORMAT_PCM_24, 96000, 2},
                {"32-bit float 44.1 kHz", SF_FORMAT_FLOAT, 44100, 2},
                {"16-bit 48 kHz extensible", SF_FORMAT_PCM_16 | SF_FORMAT_WAVEX, 48000, 2},
                {"8-bit 22.05 kHz", SF_FORMAT_PCM_U8, 22050, 2},
                {"5.1 24-bit 48 kHz", SF_FORMAT_PCM_24 | SF_FORMAT_WAVEX, 48000, 6}});
}

TEST(InputFiles, FlacOfEveryKind) {
    CheckKinds(SF_FORMAT_FLAC, "flac",
               {{"24-bit 96 kHz", SF_FORMAT_PCM_24, 96000, 2},
                {"24-bit 44.1 kHz", SF_FORMAT_PCM_24, 44100, 2},
                {"16-bit 48 kHz", SF_FORMAT_PCM_16, 48000, 2},
                {"8-bit 22.05 kHz", SF_FORMAT_PCM_S8, 22050, 2},
                {"5.1 24-bit 48 kHz", SF_FORMAT_PCM_24, 48000, 6}});
}

TEST(InputFiles, AiffOfEveryKind) {
    CheckKinds(SF_FORMAT_AIFF, "aiff",
               {{"24-bit 96 kHz", SF_FORMAT_PCM_24, 96000, 2},
                {"32-bit float 44.1 kHz", SF_FORMAT_FLOAT, 44100, 2},
                {"16-bit 48 kHz", SF_FORMAT_PCM_16, 48000, 1},
                {"8-bit 22.05 kHz", SF_FORMAT_PCM_S8, 22050, 2},
                {"5.1 24-bit 48 kHz", SF_FORMAT_PCM_24, 48000, 6}});
}

namespace {

std::vector<std::uint8_t> Patched(std::vector<std::uint8_t> bytes, std::size_t at,
                                  std::vector<std::uint8_t> with) {
    for (std::size_t i = 0; i < with.size() && at + i < bytes.size(); ++i)
        bytes[at + i] = with[i];
    return bytes;
}

bool Mentions(const std::vector<std::string>& messages, const std::string& text) {
    for (const std::string& m : messages)
        if (m.find(text) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(InputFiles, DamagedFilesAreRefusedOrEndEarlyWithTheFileNamed) {
    testwav::TempDir dir;
    const Kind wav24{"", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 2};
    const Kind flac{"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 96000, 2};
    const Kind wavex{"", SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 48000, 2};
    const auto good24 = testwav::ReadBytes(WriteTone(dir.File("good24.wav"), wav24));
    const auto goodFlac = testwav::ReadBytes(WriteTone(dir.File("good.flac"), flac));
    const auto goodWavex = testwav::ReadBytes(WriteTone(dir.File("goodx.wav"), wavex));
    const std::vector<std::uint8_t> cutFlac(goodFlac.begin(), goodFlac.begin() + goodFlac.size() / 2);

    struct Case {
        std::string name;
        std::vector<std::uint8_t> bytes;
        const char* why;  // part of the message
    };
    const std::vector<Case> refused = {
        {"empty.flac", {}, "the file is empty"},
        {"nochannels.wav", Patched(goodWavex, 22, {0, 0}), "no channels"},
        {"rate0.wav", Patched(goodWavex, 24, {0, 0, 0, 0}), "rate of 0 Hz"},
        {"rate4g.wav", Patched(good24, 24, {0x00, 0x28, 0x6B, 0xEE}), "rate of 4000000000 Hz"},
        {"subformat.wav", Patched(goodWavex, 44, {0x34, 0x12}), "sub-format"},
        {"noise.flac", {'f', 'L', 'a', 'C', 1, 2, 3}, "cannot be read"},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        const Encoded e = Encode(testwav::WriteBytes(dir.File(c.name), c.bytes));
        EXPECT_EQ(e.outputRate, 0);
        ASSERT_EQ(e.messages.size(), 1u);
        EXPECT_EQ(e.messages[0].rfind(dir.File(c.name), 0), 0u) << e.messages[0];
        EXPECT_TRUE(Mentions(e.messages, c.why)) << e.messages[0];
    }

    // A FLAC cut in half, and one damaged in the middle: what decodes is encoded, the user is
    // told, and the file counts as failed.
    std::vector<std::uint8_t> damagedFlac = goodFlac;
    for (std::size_t i = goodFlac.size() / 2; i < goodFlac.size() / 2 + 40; ++i)
        damagedFlac[i] ^= 0x5A;
    for (const auto& [name, bytes] :
         {std::pair{"cut.flac", cutFlac}, std::pair{"damaged.flac", damagedFlac}}) {
        SCOPED_TRACE(name);
        const Encoded e = Encode(testwav::WriteBytes(dir.File(name), bytes));
        ASSERT_EQ(e.outputRate, 48000);
        EXPECT_TRUE(e.failed);
        EXPECT_TRUE(Mentions(e.messages, dir.File(name) + " ended early"))
            << ::testing::PrintToString(e.messages);
        EXPECT_TRUE(e.decoded.Clean());
        EXPECT_GT(e.decoded.SamplesPerChannel(), 48000u * 3 / 10);
    }

    // A header claiming twice the data there is: what is there is encoded.
    std::vector<std::uint8_t> longer = good24;
    const std::uint32_t claimed = static_cast<std::uint32_t>(good24.size()) * 2;
    longer = Patched(longer, 40,
                     {static_cast<std::uint8_t>(claimed), static_cast<std::uint8_t>(claimed >> 8),
                      static_cast<std::uint8_t>(claimed >> 16), static_cast<std::uint8_t>(claimed >> 24)});
    const Encoded claims = Encode(testwav::WriteBytes(dir.File("claims.wav"), longer));
    ASSERT_EQ(claims.outputRate, 48000);
    EXPECT_TRUE(claims.decoded.Clean());
    EXPECT_LT(claims.decoded.SamplesPerChannel(), 48000u * 2 + 2 * 1152);
}

TEST(InputFiles, ClippingIsCountedAndToldOnceAndTheBytesRepeat) {
    testwav::TempDir dir;
    const Kind hot{"", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 96000, 1};
    const std::string path = WriteTone(dir.File("hot.wav"), hot, 1.25);
    const Encoded a = Encode(path), b = Encode(path);
    ASSERT_EQ(a.messages.size(), 1u);
    const std::string& m = a.messages[0];
    EXPECT_EQ(m.rfind(path + ": ", 0), 0u) << m;
    EXPECT_NE(m.find(" samples clipped"), std::string::npos) << m;
    // A quarter over full scale: a little more than a third of a sine's samples are over.
    const long clipped = std::stol(m.substr(path.size() + 2));
    EXPECT_GT(clipped, 48000 * kSeconds * 0.35);
    EXPECT_LT(clipped, 48000 * kSeconds * 0.45);
    EXPECT_EQ(a.bytes, b.bytes);
    EXPECT_FALSE(a.failed);
}

TEST(InputFiles, PlainWavStaysWithTheWaveReaderAndOthersAreDescribedAsConverted) {
    testwav::TempDir dir;
    platform::ScriptedMessageBox boxes;
    layer3::CAudioReader reader;
    ASSERT_EQ(reader.Open(testwav::WritePcm16(dir.File("p.wav"), testwav::Silence(2000, 2), 2, 44100)), 1);
    EXPECT_FALSE(reader.Converted());
    EXPECT_EQ(reader.sampleCount, 2000);
    const Kind surround{"", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 88200, 6};
    ASSERT_EQ(reader.Open(WriteTone(dir.File("s.flac"), surround)), 1);
    EXPECT_TRUE(reader.Converted());
    EXPECT_EQ(reader.sampleRate, 44100);
    EXPECT_EQ(reader.SourceRate(), 88200);
    EXPECT_EQ(reader.channels, 2);
    EXPECT_EQ(reader.ModeText(), "5.1 \u2192 Stereo");
    EXPECT_EQ(reader.sampleCount, static_cast<int>(kSeconds * 44100));
    reader.Close();
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST(InputFiles, TagsOfFlacAndAiffFiles) {
    testwav::TempDir dir;
    auto write = [&](const std::string& name, int format) {
        SF_INFO info{};
        info.samplerate = 44100;
        info.channels = 1;
        info.format = format;
        SNDFILE* f = sf_open(dir.File(name).c_str(), SFM_WRITE, &info);
        sf_set_string(f, SF_STR_TITLE, "Caf\xc3\xa9 Song");
        sf_set_string(f, SF_STR_ARTIST, "The Band");
        sf_set_string(f, SF_STR_ALBUM, "First");
        sf_set_string(f, SF_STR_TRACKNUMBER, "3/12");
        sf_set_string(f, SF_STR_DATE, "2019");
        sf_set_string(f, SF_STR_GENRE, "Jazz");
        const std::vector<short> silence(4410);
        sf_writef_short(f, silence.data(), 4410);
        sf_close(f);
        return dir.File(name);
    };
    const tags::TagFields flac = input::ReadInputTags(write("t.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16));
    EXPECT_EQ(flac.title, "Caf\xc3\xa9 Song");
    EXPECT_EQ(flac.artist, "The Band");
    EXPECT_EQ(flac.album, "First");
    EXPECT_EQ(flac.track, "3/12");
    EXPECT_EQ(flac.date, "2019");
    EXPECT_EQ(flac.genre, "Jazz");
    // AIFF keeps a name and an author chunk.
    const tags::TagFields aiff = input::ReadInputTags(write("t.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16));
    EXPECT_EQ(aiff.title, "Caf\xc3\xa9 Song");
    EXPECT_EQ(aiff.artist, "The Band");
    EXPECT_TRUE(input::ReadInputTags(dir.File("missing.flac")).title.empty());

    // The FLAC's names reach the MP3's tag.
    EncodingSettings settings;
    settings.Tags = 1;
    layer3::CLayer3Encoder encoder;
    ASSERT_EQ(encoder.Open(settings, dir.File("t.flac"), dir.File("t.mp3")), 1);
    while (encoder.EncodeStep() >= 0) {
    }
    encoder.Close();
    TagLib::MPEG::File mp3(dir.File("t.mp3").c_str());
    ASSERT_NE(mp3.ID3v2Tag(), nullptr);
    EXPECT_EQ(mp3.ID3v2Tag()->title().to8Bit(true), "Caf\xc3\xa9 Song");
    EXPECT_EQ(mp3.ID3v2Tag()->artist().to8Bit(true), "The Band");
    EXPECT_EQ(mp3.ID3v2Tag()->track(), 3u);
}
