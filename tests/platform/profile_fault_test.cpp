// A profile that cannot be written is left as it was, and nothing half-written is left beside it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/profile.h"
#include "tests/support/scratch_mount.h"
#include "tests/support/wav_writer.h"

namespace {

namespace fs = std::filesystem;

const std::string kText = "[Settings]\r\nBitrate=5\r\n";

int FilesIn(const std::string& folder) {
    return static_cast<int>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

}  // namespace

TEST(ProfileFaults, AnUnwritableFolderKeepsTheProfile) {
    testwav::TempDir dir;
    const std::string folder = dir.File("config");
    fs::create_directory(folder);
    testfs::ScratchMount disk(folder, 64 * 1024);
    const std::string path = folder + "/Velto.INI";
    testwav::WriteBytes(path, std::vector<std::uint8_t>(kText.begin(), kText.end()));
    if (!disk.MakeUnwritable()) {
        ASSERT_FALSE(disk.Mounted()) << "the scratch file system could not be made read-only";
        GTEST_SKIP() << "root, and no read-only file system: " << disk.Why();
    }
    platform::Profile p(path);
    EXPECT_FALSE(p.WriteInt("Settings", "Bitrate", 9));
    EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 0), 5);
    auto bytes = testwav::ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), kText);
    EXPECT_EQ(FilesIn(folder), 1);
    chmod(folder.c_str(), 0755);
}

TEST(ProfileFaults, AProfileReplacedByAFolderReadsAsDefaultsAndIsNotWritten) {
    testwav::TempDir dir;
    const std::string path = dir.File("Velto.INI");
    fs::create_directory(path);
    platform::Profile p(path);
    EXPECT_EQ(p.ReadInt("Settings", "Bitrate", 8), 8);
    EXPECT_EQ(p.ReadString("Folders", "LastFolder", "/home/"), "/home/");
    EXPECT_FALSE(p.WriteInt("Settings", "Bitrate", 9));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(FilesIn(path), 0);
    EXPECT_EQ(FilesIn(dir.Path()), 1) << "no temporary profile is left beside it";
}

TEST(ProfileFaults, AFullDiskKeepsTheProfile) {
    testwav::TempDir dir;
    const std::string folder = dir.File("config");
    fs::create_directory(folder);
    testfs::ScratchMount disk(folder, 64 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "no small file system to fill: " << disk.Why();
    const std::string path = folder + "/Velto.INI";
    testwav::WriteBytes(path, std::vector<std::uint8_t>(kText.begin(), kText.end()));
    ASSERT_TRUE(disk.FillLeaving(0));
    platform::Profile p(path);
    EXPECT_FALSE(p.WriteString("Folders", "LastFolder", std::string(8192, 'x')));
    auto bytes = testwav::ReadBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), kText);
    EXPECT_LE(FilesIn(folder), 3) << "the profile, the filler and perhaps the lock, no temporary";
}
