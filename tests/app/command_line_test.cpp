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
}
