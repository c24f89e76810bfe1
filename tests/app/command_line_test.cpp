#include "app/command_line.h"

#include <gtest/gtest.h>

TEST(CommandLine, SwitchesAndTheFirstFileName) {
    auto info = ParseCommandLine({"-b192", "-m", "song.wav", "other.wav", "-c"});
    EXPECT_EQ(info.bitrateIndex, 11);
    EXPECT_EQ(info.mono, 1);
    EXPECT_EQ(info.copyright, 1);
    EXPECT_EQ(info.original, 0);
    EXPECT_EQ(info.fileName, "song.wav");

    info = ParseCommandLine({"-b100", "-p3", "-e2", "-o", "-x", "x.wav"});
    EXPECT_EQ(info.bitrateIndex, -1);  // not a listed rate: 128 kbps stays
    EXPECT_EQ(info.priority, 0);
    EXPECT_EQ(info.deemphasis, 3);
    EXPECT_EQ(info.original, 1);

    EXPECT_EQ(ParseCommandLine({"-b 64"}).bitrateIndex, 5);  // leading blanks are skipped
    EXPECT_EQ(ParseCommandLine({"-b0"}).bitrateIndex, -1);
    EXPECT_EQ(ParseCommandLine({"-p0"}).priority, -15);
    EXPECT_EQ(ParseCommandLine({"-p6"}).priority, 15);
    EXPECT_EQ(ParseCommandLine({"-e1"}).deemphasis, 1);
    EXPECT_EQ(ParseCommandLine({"-e9"}).deemphasis, 0);
}

TEST(CommandLine, OnlyADashStartsASwitch) {
    // Paths starting with an option letter or '/' set no option.
    auto info = ParseCommandLine({"/music/c.wav"});
    EXPECT_EQ(info.fileName, "/music/c.wav");
    EXPECT_EQ(info.copyright, 0);
    info = ParseCommandLine({"c.wav", "-"});
    EXPECT_EQ(info.fileName, "c.wav");
    EXPECT_EQ(info.copyright, 0);
    EXPECT_TRUE(ParseCommandLine({"-m", "-c"}).fileName.empty());
}

TEST(CommandLine, OutputNameReplacesTheLastThreeCharacters) {
    EXPECT_EQ(OutputNameFor("song.wav"), "song.mp3");
    EXPECT_EQ(OutputNameFor("/a/x.WAV"), "/a/x.mp3");
    EXPECT_EQ(OutputNameFor("ab"), "mp3");
    EXPECT_EQ(OutputNameFor("/a.b/song.Flac"), "/a.b/song.mp3");
    EXPECT_EQ(OutputNameFor("take.aiff"), "take.mp3");
}

TEST(CommandLine, NoticesNameWhatVeltoDoesNotDoAsWritten) {
    const std::vector<std::string> notices = CommandLineNotices(
        {"-b100", "-b192", "-p9", "-p3", "-e7", "-e2", "-c", "-x", "a.wav", "b.wav", "c.wav"});
    const std::vector<std::string> expected{
        "-b100 is not a bit rate; encoding at 128 kbps",
        "-p9 is not a priority (0 to 6); encoding at normal priority",
        "-e7 is not a de-emphasis (0, 1 or 2); encoding without de-emphasis",
        "-x is not a switch of velto; ignored",
        "b.wav, c.wav are not encoded: velto encodes one file; velto-batch encodes several"};
    EXPECT_EQ(notices, expected);
    EXPECT_TRUE(CommandLineNotices({"-b100"}).empty());  // no file: the switches do nothing
    EXPECT_TRUE(AsksForHelp({"a.wav", "--help"}));
    EXPECT_TRUE(AsksForHelp({"-h"}));
    EXPECT_FALSE(AsksForHelp({"h.wav", "-b128"}));
}
