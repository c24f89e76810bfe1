// velto as the only client of a fresh X server: its display probe must not cost the toolkit
// its server (an X server whose last client leaves resets, and a connection made during the
// reset fails); and a toolkit that cannot start after all is a fall-back, never an abort.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/process.h"
#include "tests/support/wav_writer.h"

namespace {

// A short WAV file, a profile of its own, and QT_QPA_PLATFORM given back afterwards.
struct DisplayStart : testing::Test {
    testwav::TempDir dir;
    std::string wav;
    std::string mp3 = dir.File("short.mp3");
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    std::string savedQpa = qpa ? qpa : "";

    void SetUp() override {
        setenv("VELTO_PROFILE", dir.File("Velto.INI").c_str(), 1);
        wav = testwav::WritePcm16(dir.File("short.wav"), testwav::Sine(4410, 2, 44100, 440.0), 2, 44100);
    }
    void TearDown() override {
        if (qpa)
            setenv("QT_QPA_PLATFORM", savedQpa.c_str(), 1);
        else
            unsetenv("QT_QPA_PLATFORM");
    }
};

}  // namespace

TEST_F(DisplayStart, TwentyStartsUnderAFreshXServerNeverAbort) {
    if (!std::filesystem::exists("/usr/bin/xvfb-run") || !std::filesystem::exists("/usr/bin/Xvfb"))
        GTEST_SKIP() << "xvfb-run is not installed";
    unsetenv("QT_QPA_PLATFORM");  // the window's own platform, not one a test run may have chosen
    // On a real X display the toolkit loads the system's D-Bus library, which keeps a buffer to
    // the end; under the leak checker that would fail every start for a leak not of velto's.
    const std::string rule = "leak:libdbus\n";
    const std::string suppressions = testwav::WriteBytes(dir.File("lsan.supp"), {rule.begin(), rule.end()});
    setenv("LSAN_OPTIONS", ("suppressions=" + suppressions).c_str(), 1);
    int failed = 0;
    std::string last;
    for (int start = 0; start < 20; ++start) {
        std::filesystem::remove(mp3);
        const testproc::Result r = testproc::Run(
            "/usr/bin/xvfb-run", {"-a", "-s", "-nolisten tcp", testproc::BinPath("velto"), wav});
        if (r.exitCode != 0) {
            ++failed;
            last = r.output;
        }
        EXPECT_TRUE(std::filesystem::exists(mp3)) << "start " << start << "\n" << r.output;
    }
    unsetenv("LSAN_OPTIONS");
    EXPECT_EQ(failed, 0) << "of 20 starts; the last:\n" << last;
}

TEST_F(DisplayStart, AToolkitThatCannotStartFallsBackRatherThanAborting) {
    // A platform the probe takes on trust and the toolkit cannot load.
    setenv("QT_QPA_PLATFORM", "nosuchplatform", 1);
    const testproc::Result file = testproc::Run("velto", {wav});
    EXPECT_EQ(file.exitCode, 0) << "encoded on the terminal\n" << file.output;
    EXPECT_TRUE(std::filesystem::exists(mp3)) << file.output;
    const testproc::Result window = testproc::Run("velto", {});
    EXPECT_EQ(window.exitCode, 2) << window.output;
    EXPECT_NE(window.output.find("the window needs a display"), std::string::npos) << window.output;
}
