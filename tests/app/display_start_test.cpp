// velto as the only client of a fresh X server: its display probe must not cost the toolkit
// its server (an X server whose last client leaves resets, and a connection made during the
// reset fails).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/process.h"
#include "tests/support/wav_writer.h"

TEST(DisplayStart, TwentyStartsUnderAFreshXServerNeverAbort) {
    if (!std::filesystem::exists("/usr/bin/xvfb-run") || !std::filesystem::exists("/usr/bin/Xvfb"))
        GTEST_SKIP() << "xvfb-run is not installed";
    testwav::TempDir dir;
    setenv("VELTO_PROFILE", dir.File("Velto.INI").c_str(), 1);
    const std::string wav =
        testwav::WritePcm16(dir.File("short.wav"), testwav::Sine(4410, 2, 44100, 440.0), 2, 44100);
    // The window's own platform, not one a test environment may have chosen.
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    const std::string savedQpa = qpa ? qpa : "";
    unsetenv("QT_QPA_PLATFORM");
    int aborted = 0;
    std::string last;
    for (int start = 0; start < 20; ++start) {
        std::filesystem::remove(dir.File("short.mp3"));
        const testproc::Result r = testproc::Run(
            "/usr/bin/xvfb-run", {"-a", "-s", "-nolisten tcp", testproc::BinPath("velto"), wav});
        if (r.exitCode != 0) {
            ++aborted;
            last = r.output;
        }
        EXPECT_TRUE(std::filesystem::exists(dir.File("short.mp3"))) << "start " << start << "\n" << r.output;
    }
    if (qpa) setenv("QT_QPA_PLATFORM", savedQpa.c_str(), 1);
    EXPECT_EQ(aborted, 0) << "of 20 starts; the last:\n" << last;
}

TEST(DisplayStart, AToolkitThatCannotStartFallsBackRatherThanAborting) {
    testwav::TempDir dir;
    setenv("VELTO_PROFILE", dir.File("Velto.INI").c_str(), 1);
    const std::string wav =
        testwav::WritePcm16(dir.File("short.wav"), testwav::Sine(4410, 2, 44100, 440.0), 2, 44100);
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    const std::string savedQpa = qpa ? qpa : "";
    // A platform the probe takes on trust and the toolkit cannot load.
    setenv("QT_QPA_PLATFORM", "nosuchplatform", 1);
    const testproc::Result file = testproc::Run("velto", {wav});
    const testproc::Result window = testproc::Run("velto", {});
    if (qpa)
        setenv("QT_QPA_PLATFORM", savedQpa.c_str(), 1);
    else
        unsetenv("QT_QPA_PLATFORM");
    EXPECT_EQ(file.exitCode, 0) << "encoded on the terminal\n" << file.output;
    EXPECT_TRUE(std::filesystem::exists(dir.File("short.mp3"))) << file.output;
    EXPECT_EQ(window.exitCode, 2) << window.output;
    EXPECT_NE(window.output.find("the window needs a display"), std::string::npos) << window.output;
}
