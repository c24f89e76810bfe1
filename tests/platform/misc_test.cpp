// Time formatting, files and run-time loading.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/file.h"
#include "platform/shared_library.h"
#include "platform/time_format.h"
#include "tests/support/wav_writer.h"

using namespace platform;

TEST(FormatSeconds, ShowsHoursWithinTheDay) {
    EXPECT_EQ(FormatSeconds(0), "00:00:00");
    EXPECT_EQ(FormatSeconds(160), "00:02:40");
    EXPECT_EQ(FormatSeconds(3661), "01:01:01");
    EXPECT_EQ(FormatSeconds(90000), "01:00:00");
    EXPECT_EQ(FormatSeconds(-5), "00:00:00");
}

TEST(SharedLibrary, LoadsByNameAndFindsSymbols) {
    SharedLibrary libm;
    ASSERT_TRUE(libm.Load("libm.so.6")) << libm.Error();
    auto cosine = libm.Function<double (*)(double)>("cos");
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    EXPECT_EQ(libm.Symbol("no_such_symbol_here"), nullptr);

    SharedLibrary missing;
    EXPECT_FALSE(missing.Load("libvelto-does-not-exist.so.0"));
    EXPECT_FALSE(missing.Error().empty());
    EXPECT_EQ(missing.Symbol("cos"), nullptr);
}

TEST(InputFile, RefusesDirectoriesAndFifosWithoutBlocking) {
    testwav::TempDir dir;
    InputFile f;
    EXPECT_FALSE(f.Open(dir.Path()));
    std::string fifo = dir.File("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(f.Open(fifo));
    EXPECT_FALSE(f.Open(dir.File("missing")));
    EXPECT_FALSE(f.IsOpen());
}

TEST(OutputFile, ReportsAFullDisk) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    OutputFile f;
    ASSERT_TRUE(f.Create("/dev/full"));
    std::string block(1 << 16, 'x');
    std::size_t put = 0;
    for (int i = 0; i < 4; ++i)
        put += f.Write(block.data(), block.size());
    EXPECT_FALSE(f.Close() && put == 4 * block.size());
    EXPECT_TRUE(f.Failed());
}

TEST(OutputFile, RewritesAHeaderAndGoesOnAtTheEnd) {
    testwav::TempDir dir;
    std::string a = dir.File("a.wav");
    OutputFile f;
    ASSERT_TRUE(f.Create(a));
    EXPECT_EQ(f.Write("abcdef", 6), 6u);
    EXPECT_TRUE(f.WriteAt(1, "XY", 2));
    EXPECT_EQ(f.Write("g", 1), 1u);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(testwav::ReadBytes(a), (std::vector<std::uint8_t>{'a', 'X', 'Y', 'd', 'e', 'f', 'g'}));
}

TEST(OutputFile, CreatesTruncatesAndTellsSameFiles) {
    testwav::TempDir dir;
    std::string a = dir.File("a.mp3");
    testwav::WriteBytes(a, {1, 2, 3, 4});
    OutputFile f;
    ASSERT_TRUE(f.Create(a));
    EXPECT_EQ(f.Write("xy", 2), 2u);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(testwav::ReadBytes(a), (std::vector<std::uint8_t>{'x', 'y'}));
    EXPECT_TRUE(SameFile(a, dir.Path() + "/./a.mp3"));
    EXPECT_FALSE(SameFile(a, dir.File("b.mp3")));
    EXPECT_FALSE(f.Create(dir.File("no/such/folder.mp3")));
}
