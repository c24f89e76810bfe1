#include "platform/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/wav_writer.h"

using platform::Profile;

namespace {
std::string Text(const std::string& path) {
    auto b = testwav::ReadBytes(path);
    return std::string(b.begin(), b.end());
}
void Put(const std::string& path, const std::string& text) {
    testwav::WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}
}  // namespace

TEST(Profile, IntegersReadAsWin32Does) {
    EXPECT_EQ(platform::ParseProfileInt("  42abc"), 42);
    EXPECT_EQ(platform::ParseProfileInt("-7"), -7);
    EXPECT_EQ(platform::ParseProfileInt("+3"), 3);
    EXPECT_EQ(platform::ParseProfileInt("abc"), 0);
    EXPECT_EQ(platform::ParseProfileInt(""), 0);
    EXPECT_EQ(platform::ParseProfileInt("99999999999999999999"), INT_MAX);
    EXPECT_EQ(platform::ParseProfileInt("-99999999999999999999"), INT_MIN);
}

TEST(Profile, MissingFileGivesDefaultsAndTheFirstWriteCreatesIt) {
    testwav::TempDir dir;
    Profile p(dir.File("sub/Velto.INI"));  // the folder does not exist yet either
    EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 8), 8);
    EXPECT_EQ(p.ReadString("Folders", "LastFolder", "/home/x/"), "/home/x/");
    EXPECT_TRUE(p.WriteInt("Settings", "Bitrate", 11));
    EXPECT_EQ(p.ReadInt("settings", "BITRATE", 8), 11);  // names compare without case
}

TEST(Profile, WritesReplaceInPlaceAppendAndKeepEveryOtherLine) {
    testwav::TempDir dir;
    std::string path = dir.File("Velto.INI");
    Put(path,
        "; kept comment\r\n[Settings]\r\nMono=1\r\nBitrate=3\r\n\r\n[DAE]\r\nMode=2\r\nnot a key line\r\n");
    Profile p(path);
    EXPECT_TRUE(p.WriteInt("SETTINGS", "bitrate", 9));
    EXPECT_TRUE(p.WriteInt("Settings", "Copyright", 1));
    EXPECT_TRUE(p.WriteString("Folders", "LastFolder", "/music/ a b/"));
    // Read with CRLF, written with LF.
    EXPECT_EQ(Text(path),
              "; kept comment\n[Settings]\nMono=1\nbitrate=9\nCopyright=1\n\n[DAE]\nMode=2\n"
              "not a key line\n\n[Folders]\nLastFolder=/music/ a b/\n");
    EXPECT_EQ(p.ReadString("Folders", "LastFolder", ""), "/music/ a b/");
    EXPECT_EQ(p.ReadInt("DAE", "Mode", 0), 2);
    // No temporary file is left beside the profile, only its lock.
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".Velto.INI.lock", "Velto.INI"}));
}

TEST(Profile, SurvivesOddFilesWithoutLosingValues) {
    testwav::TempDir dir;
    std::string path = dir.File("Velto.INI");
    std::string binary = "[Settings]\nBitrate=5\n";
    binary += std::string("\0\xff\x01[\n=\n", 8);
    binary += std::string(100000, 'x') + "\n";
    binary += "[Settings]\nBitrate=6\nMono=nope\nMono=1\n";
    Put(path, binary);
    Profile p(path);
    EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 8), 5);  // the first of duplicates wins
    EXPECT_EQ(p.ReadInt("Settings", "Mono", 9), 0);     // not a number reads as 0
    ASSERT_TRUE(p.WriteInt("AudioCD", "DaeSpeed", 57));
    EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 8), 5);
    EXPECT_EQ(p.ReadInt("AudioCD", "DaeSpeed", 50), 57);
    EXPECT_NE(Text(path).find(std::string(100000, 'x')), std::string::npos);

    Put(path, "");
    EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 8), 8);
}

TEST(Profile, AFailedWriteLeavesTheFileAsItWas) {
    testwav::TempDir dir;
    std::string path = dir.File("Velto.INI");
    std::filesystem::create_directory(path);  // the profile is a directory
    Profile p(path);
    EXPECT_FALSE(p.WriteInt("Settings", "Bitrate", 3));
    EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 8), 8);
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(Profile, DefaultPathFollowsTheEnvironment) {
    std::string saved = std::getenv("VELTO_PROFILE") ? std::getenv("VELTO_PROFILE") : "";
    setenv("VELTO_PROFILE", "/tmp/x.ini", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/tmp/x.ini");
    unsetenv("VELTO_PROFILE");
    setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/cfg/Velto.INI");
    unsetenv("XDG_CONFIG_HOME");
    setenv("HOME", "/home/u", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/home/u/.config/Velto.INI");
    if (!saved.empty()) setenv("VELTO_PROFILE", saved.c_str(), 1);
}
