// velto and velto-batch run as a user runs them.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "app/version.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/process.h"
#include "tests/support/wav_writer.h"

namespace {

// Waits until the program has written some of its output (under the name it carries until it
// is closed), so that Ctrl-C meets it encoding.
void WaitForOutput(const std::string& path) {
    for (int i = 0; i < 600; ++i) {
        std::error_code ec;
        if (std::filesystem::file_size(path + ".velto-partial", ec) > 20000 && !ec) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

struct Programs : testing::Test {
    testwav::TempDir dir;
    void SetUp() override { setenv("VELTO_PROFILE", dir.File("Velto.INI").c_str(), 1); }
    std::string Wav(const std::string& name, int seconds, int channels = 2, int rate = 44100) {
        return testwav::WritePcm16(dir.File(name), testwav::Sine(rate * seconds, channels, rate, 440, 8000),
                                   channels, rate);
    }
};

}  // namespace

TEST_F(Programs, VeltoEncodesWithTheSwitches) {
    const std::string wav = Wav("song.wav", 1);
    auto r = testproc::Run("velto", {"-b192", "-m", wav});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto bytes = testwav::ReadBytes(dir.File("song.mp3"));
    auto headers = testmp3::ParseHeaders(bytes);
    ASSERT_FALSE(headers.empty());
    EXPECT_EQ(headers[0].bitrateIndex, 11);
    EXPECT_EQ(headers[0].mode, 3);
    EXPECT_TRUE(testmp3::DecodeBytes(bytes).Clean());

    r = testproc::RunApart("velto", {"-b100", wav, "more.wav"});
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.errors,
              "velto: -b100 is not a bit rate; encoding at 128 kbps\n"
              "velto: more.wav is not encoded: velto encodes one file; velto-batch encodes several\n");
    headers = testmp3::ParseHeaders(testwav::ReadBytes(dir.File("song.mp3")));
    EXPECT_EQ(headers[0].bitrateIndex, 9);

    ASSERT_EQ(testproc::Run("velto", {"-e2", "-c", wav}).exitCode, 0);
    for (auto& h : testmp3::ParseHeaders(testwav::ReadBytes(dir.File("song.mp3")))) {
        EXPECT_EQ(h.emphasis, 3);
        EXPECT_EQ(h.copyright, 1);
    }
}

TEST_F(Programs, VeltoReportsBadInputAndUsage) {
    testwav::WriteBytes(dir.File("bad.wav"), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '});
    auto r = testproc::Run("velto", {dir.File("bad.wav")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.output.find("is not a WAVE file."), std::string::npos) << r.output;
    EXPECT_NE(testproc::Run("velto", {}).exitCode, 0);
    for (const char* help : {"-h", "--help"}) {
        r = testproc::RunApart("velto", {help});
        EXPECT_EQ(r.exitCode, 0) << help;
        EXPECT_EQ(r.output.rfind("usage: velto", 0), 0u) << r.output;
        EXPECT_EQ(r.errors, "");
    }
    EXPECT_NE(testproc::Run("velto", {dir.File("missing.wav")}).exitCode, 0);
}

TEST_F(Programs, CtrlCCancelsVeltoAndLeavesAClosedShorterFile) {
    const std::string wav = Wav("long.wav", 120);
    testproc::Background velto("velto", {wav});
    WaitForOutput(dir.File("long.mp3"));
    velto.Signal(SIGINT);
    auto r = velto.Wait();
    EXPECT_NE(r.exitCode, 0);
    auto bytes = testwav::ReadBytes(dir.File("long.mp3"));
    auto decoded = testmp3::DecodeBytes(bytes);
    ASSERT_GT(bytes.size(), 1u) << r.output;
    EXPECT_TRUE(decoded.Clean()) << decoded.messages;
    EXPECT_LT(decoded.SamplesPerChannel(), 44100u * 120);
}

TEST_F(Programs, BatchSerialAndParallelGiveTheSameFilesAsVelto) {
    std::filesystem::create_directory(dir.File("album"));
    for (int i = 0; i < 3; ++i)
        Wav("album/t" + std::to_string(i) + ".wav", 1 + i % 2, 1 + i % 2);
    // The file before t1 ends on clicks, which leave short blocks pending in the model.
    auto t0 = testwav::Sine(44100, 1, 44100, 440, 8000);
    const auto clicks = testwav::ClickTrain(44100 / 4, 1, 3000, 30000);
    t0.insert(t0.end(), clicks.begin(), clicks.end());
    testwav::WritePcm16(dir.File("album/t0.wav"), t0, 1, 44100);
    ASSERT_EQ(testproc::Run("velto", {"-b160", dir.File("album/t1.wav")}).exitCode, 0);
    const auto alone = testwav::ReadBytes(dir.File("album/t1.mp3"));
    for (const char* jobs : {"-j1", "-j2"}) {
        auto r = testproc::Run("velto-batch", {jobs, "-b160", dir.File("album")});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        // One encoder serves a serial batch and every file starts afresh in it, as every file
        // gets a fresh encoder in parallel.
        EXPECT_EQ(testwav::ReadBytes(dir.File("album/t1.mp3")), alone) << jobs;
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(testmp3::DecodeFile(dir.File("album/t" + std::to_string(i) + ".mp3")).Clean());
    }
}

TEST_F(Programs, BatchReadsTheProfileAndNeverWritesIt) {
    const std::string profile = "[Settings]\r\nBitrate=2\r\nMono=1\r\n";
    testwav::WriteBytes(dir.File("Velto.INI"), std::vector<std::uint8_t>(profile.begin(), profile.end()));
    Wav("a.wav", 1);
    ASSERT_EQ(testproc::Run("velto-batch", {dir.File("a.wav")}).exitCode, 0);
    auto h = testmp3::ParseHeaders(testwav::ReadBytes(dir.File("a.mp3")));
    ASSERT_FALSE(h.empty());
    EXPECT_EQ(h[0].bitrateIndex, 3);  // combo entry 2 is 48 kbps
    EXPECT_EQ(h[0].mode, 3);
    ASSERT_EQ(testproc::Run("velto-batch", {"-b64", dir.File("a.wav")}).exitCode, 0);
    EXPECT_EQ(testmp3::ParseHeaders(testwav::ReadBytes(dir.File("a.mp3")))[0].bitrateIndex, 5);
    auto after = testwav::ReadBytes(dir.File("Velto.INI"));
    EXPECT_EQ(std::string(after.begin(), after.end()), profile);
}

TEST_F(Programs, BatchTakesAStoredValueOffItsListAsTheDefault) {
    const std::string profile = "[Settings]\r\nBitrate=-1\r\nEncodingMode=9\r\n";
    testwav::WriteBytes(dir.File("Velto.INI"), std::vector<std::uint8_t>(profile.begin(), profile.end()));
    Wav("a.wav", 1);
    auto r = testproc::Run("velto-batch", {dir.File("a.wav")});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    auto h = testmp3::ParseHeaders(testwav::ReadBytes(dir.File("a.mp3")));
    ASSERT_FALSE(h.empty());
    EXPECT_EQ(h[0].bitrateIndex, 9);
}

TEST_F(Programs, BatchExitCodes) {
    Wav("a.wav", 1);
    testwav::WriteBytes(dir.File("b.wav"), {'n', 'o'});
    auto r = testproc::Run("velto-batch", {dir.File("a.wav"), dir.File("b.wav")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("is not a RIFF file."), std::string::npos);
    EXPECT_TRUE(testmp3::DecodeFile(dir.File("a.mp3")).Clean());
    EXPECT_EQ(testproc::Run("velto-batch", {"--mode=7", dir.File("a.wav")}).exitCode, 2);
    EXPECT_EQ(testproc::Run("velto-batch", {}).exitCode, 2);
}

TEST_F(Programs, CtrlCStopsTheBatch) {
    Wav("long.wav", 120);
    Wav("next.wav", 1);
    for (const char* jobs : {"-j1", "-j2"}) {
        std::filesystem::remove(dir.File("long.mp3"));
        testproc::Background batch("velto-batch", {jobs, dir.File("long.wav"), dir.File("next.wav")});
        WaitForOutput(dir.File("long.mp3"));
        batch.Signal(SIGINT);
        auto r = batch.Wait();
        EXPECT_EQ(r.exitCode, 130) << jobs << r.output;
        auto decoded = testmp3::DecodeFile(dir.File("long.mp3"));
        EXPECT_TRUE(decoded.Clean()) << decoded.messages;
        EXPECT_LT(decoded.SamplesPerChannel(), 44100u * 120);
        EXPECT_NE(r.output.find(dir.File("long.wav") + ": stopped; "), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(dir.File("next.wav") + ": "), std::string::npos) << r.output;
        EXPECT_EQ(Lines(r.output).back().rfind("Encoded ", 0), 0u) << r.output;
    }
}

TEST_F(Programs, BatchInAPipeNamesEveryFileOnceAndEndsWithASummary) {
    std::vector<std::string> wavs;
    for (int i = 0; i < 6; ++i)
        wavs.push_back(testwav::WritePcm16(dir.File(std::to_string(i) + ".wav"),
                                           testwav::Noise(11025, 2, static_cast<std::uint32_t>(i + 1)), 2,
                                           44100));
    testwav::WriteBytes(dir.File("bad.wav"), {'n', 'o'});
    std::vector<std::string> args = wavs;
    args.push_back(dir.File("bad.wav"));
    for (const char* jobs : {"-j1", "-j3"}) {
        args.push_back(jobs);
        const testproc::Result r = testproc::RunApart("velto-batch", args);
        args.pop_back();
        EXPECT_EQ(r.exitCode, 1) << jobs;
        const std::vector<std::string> lines = Lines(r.output);
        ASSERT_EQ(lines.size(), 8u) << jobs << "\n" << r.output;
        for (const std::string& wav : wavs)
            EXPECT_EQ(std::count(lines.begin(), lines.end(),
                                 wav + ": encoded to " + wav.substr(0, wav.size() - 3) + "mp3"),
                      1)
                << jobs << " " << wav << "\n"
                << r.output;
        EXPECT_EQ(std::count(lines.begin(), lines.end(),
                             dir.File("bad.wav") + ": failed: not a WAV file the encoders take; standard error tells why"),
                  1)
            << r.output;
        EXPECT_EQ(lines.back().rfind("Encoded 6 files, 1 failed, 0 skipped: 1.5 s of audio in ", 0), 0u)
            << lines.back();
        EXPECT_NE(lines.back().find("x real time"), std::string::npos) << lines.back();
        EXPECT_EQ(r.output.find('\033'), std::string::npos) << "a terminal control sequence in a pipe";
    }
    const testproc::Result velto = testproc::Run("velto", {wavs[0]});
    EXPECT_EQ(velto.exitCode, 0);
    EXPECT_EQ(velto.output.find('\033'), std::string::npos) << velto.output;
}

TEST_F(Programs, BothProgramsAndTheirManualPagesNameTheProjectsOneVersion) {
    const std::string version = kVeltoVersion;
    ASSERT_FALSE(version.empty());
    for (const char* program : {"velto", "velto-batch"}) {
        const testproc::Result r = testproc::Run(program, {"--version"});
        EXPECT_EQ(r.exitCode, 0) << program;
        EXPECT_EQ(r.output, std::string(program) + " " + version + "\n");
        const std::string page = std::string(VELTO_BIN_DIR) + "/../man/" + program + ".1";
        const std::vector<std::uint8_t> bytes = testwav::ReadBytes(page);
        const std::string text(bytes.begin(), bytes.end());
        EXPECT_NE(text.find("\"Velto " + version + "\""), std::string::npos) << page;
        EXPECT_EQ(text.find('@'), std::string::npos) << page;
    }
}

TEST_F(Programs, SigtermAndSighupStopAsCtrlCDoesWithTheirOwnStatus) {
    Wav("long.wav", 120);
    Wav("next.wav", 1);
    const std::string mp3 = dir.File("long.mp3");
    struct Case {
        int signal;
        const char* program;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases{
        {SIGTERM, "velto-batch", {"-j1", dir.File("long.wav"), dir.File("next.wav")}},
        {SIGHUP, "velto-batch", {"-j2", dir.File("long.wav"), dir.File("next.wav")}},
        {SIGTERM, "velto", {dir.File("long.wav")}},
        {SIGHUP, "velto", {dir.File("long.wav")}}};
    for (const Case& c : cases) {
        std::filesystem::remove(mp3);
        testproc::Background run(c.program, c.args);
        WaitForOutput(mp3);
        run.Signal(c.signal);
        const auto r = run.Wait();
        const std::string what = std::string(c.program) + " " + strsignal(c.signal);
        EXPECT_EQ(r.signal, 0) << what << ": killed by the signal\n" << r.output;
        EXPECT_EQ(r.exitCode, 128 + c.signal) << what << "\n" << r.output;
        EXPECT_FALSE(std::filesystem::exists(mp3 + ".velto-partial")) << what;
        const auto decoded = testmp3::DecodeFile(mp3);
        EXPECT_TRUE(decoded.Clean()) << what << decoded.messages;
        EXPECT_LT(decoded.SamplesPerChannel(), 44100u * 120) << what;
        if (c.program == std::string("velto-batch")) {
            EXPECT_EQ(Lines(r.output).back().rfind("Encoded ", 0), 0u) << what << "\n" << r.output;
        }
    }
}

TEST_F(Programs, AReaderThatGoesAwayEndsTheListNotTheBatch) {
    std::vector<std::string> args{"-c",
                                  "\"$0\" \"$@\" | head -c1 > /dev/null; echo \"status ${PIPESTATUS[0]}\"",
                                  testproc::BinPath("velto-batch")};
    for (int i = 0; i < 6; ++i)
        args.push_back(Wav(std::to_string(i) + ".wav", 1));
    for (const char* jobs : {"-j1", "-j2"}) {
        args.push_back(jobs);
        const auto r = testproc::Run("/bin/bash", args);
        args.pop_back();
        EXPECT_NE(r.output.find("status 0"), std::string::npos) << jobs << "\n" << r.output;
        for (int i = 0; i < 6; ++i) {
            const std::string mp3 = dir.File(std::to_string(i) + ".mp3");
            EXPECT_TRUE(testmp3::DecodeFile(mp3).Clean()) << jobs << " " << mp3;
            EXPECT_FALSE(std::filesystem::exists(mp3 + ".velto-partial")) << jobs << " " << mp3;
            std::filesystem::remove(mp3);
        }
    }
}
