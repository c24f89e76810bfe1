// The profile is never torn, widened, replaced or waited on: concurrent writers, read-only and
// linked profiles, FIFOs and devices, missing folders, an unset HOME.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "tests/support/wav_writer.h"

namespace {

namespace fs = std::filesystem;
using platform::Profile;

std::string Text(const std::string& path) {
    auto b = testwav::ReadBytes(path);
    return std::string(b.begin(), b.end());
}
void Put(const std::string& path, const std::string& text) {
    testwav::WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}
mode_t Mode(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// A close's worth of keys, all in one write, from a process of its own.
pid_t CloseInAnotherProcess(const std::string& path, const std::string& section) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    std::vector<platform::ProfileEntry> entries;
    for (int k = 0; k < 12; ++k)
        entries.push_back({section, "Key" + std::to_string(k), std::to_string(k)});
    Profile p(path);
    std::_Exit(p.Write(entries) ? 0 : 1);
}

}  // namespace

TEST(ProfileSafety, TwoProgramsClosingTogetherKeepEachOthersKeys) {
    testwav::TempDir dir;
    const std::string path = dir.File("Velto.INI");
    for (int round = 0; round < 100; ++round) {
        Put(path, "[Kept]\nA=1\n");
        const pid_t first = CloseInAnotherProcess(path, "Settings");
        const pid_t second = CloseInAnotherProcess(path, "DAE");
        for (pid_t pid : {first, second}) {
            int status = 0;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
        }
        Profile p(path);
        for (const char* section : {"Settings", "DAE"})
            for (int k = 0; k < 12; ++k)
                ASSERT_EQ(p.ReadInt(section, "Key" + std::to_string(k), -1), k)
                    << "round " << round << ": " << section << " lost Key" << k << "\n"
                    << Text(path);
        ASSERT_EQ(p.ReadInt("Kept", "A", 0), 1);
    }
}

TEST(ProfileSafety, AReadOnlyProfileIsNeitherWrittenNorMadeWritable) {
    testwav::TempDir dir;
    const std::string path = dir.File("Velto.INI");
    Put(path, "[Settings]\r\nBitrate=5\r\n");
    chmod(path.c_str(), 0444);  // root writes it all the same unless the write bit is heeded
    Profile p(path);
    EXPECT_EQ(p.ReadProblem(), "");
    EXPECT_FALSE(p.Write({{"Settings", "Bitrate", "9"}, {"Settings", "Mono", "1"}}));
    EXPECT_EQ(p.LastError(), "it is read-only");
    EXPECT_EQ(Text(path), "[Settings]\r\nBitrate=5\r\n");
    EXPECT_EQ(Mode(path), 0444u);
}

TEST(ProfileSafety, ALinkedProfileIsWrittenThroughAndKeepsItsMode) {
    testwav::TempDir dir;
    fs::create_directory(dir.File("dotfiles"));
    const std::string target = dir.File("dotfiles/Velto.INI");
    Put(target, "[Settings]\nBitrate=5\n");
    chmod(target.c_str(), 0600);
    const std::string link = dir.File("Velto.INI");
    fs::create_symlink("dotfiles/Velto.INI", link);
    Profile p(link);
    ASSERT_TRUE(p.WriteInt("Settings", "Bitrate", 9)) << p.LastError();
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Text(target), "[Settings]\nBitrate=9\n");
    EXPECT_EQ(Mode(target), 0600u);
}

TEST(ProfileSafety, AFifoOrADeviceIsUnreadableAtOnceAndNeverWritten) {
    testwav::TempDir dir;
    const std::string fifo = dir.File("Velto.INI");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        Profile p(path);
        EXPECT_EQ(p.ReadProblem(), "it is not a regular file") << path;
        EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 8), 8) << path;
        EXPECT_FALSE(p.WriteInt("Settings", "Bitrate", 9)) << path;
        EXPECT_EQ(p.LastError(), "it is not a regular file") << path;
    }
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

TEST(ProfileSafety, MissingFoldersAreMadePrivateAndAKilledWritesTemporaryIsRemoved) {
    testwav::TempDir dir;
    const std::string path = dir.File("xdg/deep/Velto.INI");
    Profile p(path);
    ASSERT_TRUE(p.WriteInt("Settings", "Bitrate", 9)) << p.LastError();
    EXPECT_EQ(Mode(dir.File("xdg")), 0700u);
    EXPECT_EQ(Mode(dir.File("xdg/deep")), 0700u);
    EXPECT_EQ(Mode(path), 0644u);

    const std::string left = dir.File("xdg/deep/.Velto.INI.a1B2c3");
    Put(left, "[Settings]\nBi");
    ASSERT_TRUE(p.WriteInt("Settings", "Mono", 1));
    EXPECT_FALSE(fs::exists(left));
    EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 8), 9);
}

TEST(ProfileSafety, WithoutHomeTheHomeFolderComesFromThePasswordDatabase) {
    const char* saved = std::getenv("HOME");
    const std::string home = saved ? saved : "";
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = xdg ? xdg : "";
    const char* velto = std::getenv("VELTO_PROFILE");
    const std::string savedVelto = velto ? velto : "";
    unsetenv("HOME");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("VELTO_PROFILE");
    const passwd* pw = getpwuid(getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(platform::HomeFolder(), pw->pw_dir);
    EXPECT_EQ(Profile::DefaultPath().rfind(std::string(pw->pw_dir), 0), 0u) << Profile::DefaultPath();
    if (saved) setenv("HOME", home.c_str(), 1);
    if (xdg) setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    if (velto) setenv("VELTO_PROFILE", savedVelto.c_str(), 1);
}
