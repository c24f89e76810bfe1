// An output appears under its name only when it is complete, and a failed or abandoned one
// leaves the earlier file of that name as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/scratch_mount.h"
#include "tests/support/wav_writer.h"

using platform::OutputFile;

namespace {

const std::vector<std::uint8_t> kEarlier = {'o', 'l', 'd', '!'};

std::string Partial(const std::string& path) {
    return path + platform::kPartialSuffix;
}

}  // namespace

TEST(SealedOutput, IsWrittenUnderThePartialNameAndRenamedOnClose) {
    testwav::TempDir dir;
    const std::string a = dir.File("a.mp3");
    testwav::WriteBytes(a, kEarlier);
    chmod(a.c_str(), 0604);
    OutputFile f;
    ASSERT_TRUE(f.Create(a));
    EXPECT_EQ(f.Path(), a);
    EXPECT_EQ(f.WritingPath(), Partial(a));
    EXPECT_EQ(f.Write("new bytes", 9), 9u);
    EXPECT_TRUE(f.WriteAt(0, "N", 1));
    // Until Close the earlier file is whole and the new bytes are only under the partial name.
    EXPECT_EQ(testwav::ReadBytes(a), kEarlier);
    EXPECT_TRUE(std::filesystem::exists(Partial(a)));
    ASSERT_TRUE(f.Close());
    const std::string bytes = "New bytes";
    EXPECT_EQ(testwav::ReadBytes(a), std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_FALSE(std::filesystem::exists(Partial(a)));
    struct stat st {};
    ASSERT_EQ(stat(a.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u) << "the replaced file's permissions are kept";
}

TEST(SealedOutput, AnAbandonedOutputLeavesTheEarlierFile) {
    testwav::TempDir dir;
    const std::string a = dir.File("a.mp3");
    testwav::WriteBytes(a, kEarlier);
    {
        OutputFile f;
        ASSERT_TRUE(f.Create(a));
        f.Write("half", 4);
    }
    EXPECT_EQ(testwav::ReadBytes(a), kEarlier);
    EXPECT_FALSE(std::filesystem::exists(Partial(a)));

    OutputFile f;
    ASSERT_TRUE(f.Create(dir.File("b.mp3")));
    f.Write("x", 1);
    f.Discard();
    EXPECT_FALSE(std::filesystem::exists(dir.File("b.mp3")));
    EXPECT_FALSE(std::filesystem::exists(Partial(dir.File("b.mp3"))));
}

TEST(SealedOutput, ALeftoverOfAKilledRunIsReplacedAndALiveOneRefused) {
    testwav::TempDir dir;
    const std::string a = dir.File("a.mp3");
    testwav::WriteBytes(Partial(a), std::vector<std::uint8_t>(5000, 'k'));
    OutputFile first;
    ASSERT_TRUE(first.Create(a));
    EXPECT_EQ(std::filesystem::file_size(Partial(a)), 0u);
    // Another writer of the same output while the first is still writing it.
    OutputFile second;
    EXPECT_FALSE(second.Create(a));
    first.Write("ok", 2);
    ASSERT_TRUE(first.Close());
    EXPECT_EQ(testwav::ReadBytes(a), (std::vector<std::uint8_t>{'o', 'k'}));
    EXPECT_FALSE(std::filesystem::exists(Partial(a)));
}

TEST(SealedOutput, LinksDevicesAndLongNames) {
    testwav::TempDir dir;
    // A link to the output keeps leading to it.
    const std::string target = dir.File("target.mp3");
    const std::string link = dir.File("link.mp3");
    testwav::WriteBytes(target, kEarlier);
    std::filesystem::create_symlink(target, link);
    OutputFile f;
    ASSERT_TRUE(f.Create(link));
    f.Write("L", 1);
    ASSERT_TRUE(f.Close());
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(testwav::ReadBytes(target), std::vector<std::uint8_t>{'L'});

    // A device is written in place.
    ASSERT_TRUE(f.Create("/dev/null"));
    EXPECT_EQ(f.WritingPath(), "/dev/null");
    EXPECT_EQ(f.Write("x", 1), 1u);
    EXPECT_TRUE(f.Close());

    // A FIFO would hold the writer until something reads it, a folder cannot be replaced: both
    // are refused at once and left as they are.
    const std::string fifo = dir.File("pipe.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(f.Create(fifo));
    EXPECT_FALSE(f.Create(dir.Path()));
    EXPECT_EQ(f.ErrorText(), "Is a directory");
    EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
    std::filesystem::remove(fifo);

    // A name with no room for the suffix gets a hidden unique temporary name.
    const std::string longName = dir.File(std::string(250, 'n') + ".mp3");
    ASSERT_TRUE(f.Create(longName));
    EXPECT_NE(f.WritingPath().find("/.velto-partial-"), std::string::npos) << f.WritingPath();
    f.Write("y", 1);
    ASSERT_TRUE(f.Close());
    EXPECT_EQ(testwav::ReadBytes(longName), std::vector<std::uint8_t>{'y'});
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 3);
}

TEST(SealedOutput, AFullDiskLeavesTheEarlierFileAndNoPartial) {
    testwav::TempDir dir;
    const std::string folder = dir.File("small");
    std::filesystem::create_directory(folder);
    testfs::ScratchMount disk(folder, 256 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "no small file system to fill: " << disk.Why();
    const std::string a = folder + "/a.mp3";
    testwav::WriteBytes(a, kEarlier);
    ASSERT_TRUE(disk.FillLeaving(16 * 1024));
    OutputFile f;
    ASSERT_TRUE(f.Create(a));
    const std::string block(8192, 'z');
    bool failed = false;
    for (int i = 0; i < 16 && !failed; ++i)
        failed = f.Write(block.data(), block.size()) < block.size();
    EXPECT_FALSE(f.Close());
    EXPECT_TRUE(f.Failed());
    EXPECT_EQ(testwav::ReadBytes(a), kEarlier);
    EXPECT_FALSE(std::filesystem::exists(Partial(a)));
}

TEST(SealedOutput, AnUnwritableFolderFailsCreateAndKeepsTheEarlierFile) {
    testwav::TempDir dir;
    const std::string folder = dir.File("readonly");
    std::filesystem::create_directory(folder);
    testfs::ScratchMount disk(folder, 64 * 1024);
    if (!disk.Mounted()) GTEST_SKIP() << "no file system to make read-only: " << disk.Why();
    const std::string a = folder + "/a.mp3";
    testwav::WriteBytes(a, kEarlier);
    ASSERT_TRUE(disk.MakeReadOnly());
    OutputFile f;
    EXPECT_FALSE(f.Create(a));
    EXPECT_EQ(testwav::ReadBytes(a), kEarlier);
    // A path through a file is no folder at all.
    EXPECT_FALSE(f.Create(a + "/b.mp3"));
}

TEST(SealedOutput, AnUnfinishedFileIsKeptOnlyWhereItReplacesNothing) {
    testwav::TempDir dir;
    const std::string fresh = dir.File("fresh.mp3");
    OutputFile f;
    ASSERT_TRUE(f.Create(fresh));
    f.Write("part", 4);
    EXPECT_TRUE(f.CloseWithoutReplacing());
    EXPECT_EQ(testwav::ReadBytes(fresh), (std::vector<std::uint8_t>{'p', 'a', 'r', 't'}));

    const std::string earlier = testwav::WriteBytes(dir.File("earlier.mp3"), kEarlier);
    ASSERT_TRUE(f.Create(earlier));
    f.Write("part", 4);
    EXPECT_FALSE(f.CloseWithoutReplacing());
    EXPECT_EQ(testwav::ReadBytes(earlier), kEarlier);
    EXPECT_FALSE(std::filesystem::exists(Partial(earlier)));
}
