// What the programs do when the machine works against them: an unwritable folder, a full disk,
// an input that changes under them or is no file, a profile that cannot be read, a codec that
// fails, a run that is killed. Each ends with a message and a failing exit status, the other
// files of the batch are encoded, and an earlier output of the same name is left as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/support/mp3_decoder.h"
#include "tests/support/process.h"
#include "tests/support/scratch_mount.h"
#include "tests/support/wav_writer.h"

namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> kEarlier = {'e', 'a', 'r', 'l', 'i', 'e', 'r'};
const char* const kPartial = ".velto-partial";

bool Has(const testproc::Result& r, const std::string& text) {
    return r.output.find(text) != std::string::npos;
}

// Waits until the program has written some of the output under its partial name, so that the
// fault meets it encoding.
// Looks often: a minute of audio encodes in a tenth of a second.
bool WaitForPartial(const std::string& output) {
    for (int i = 0; i < 15000; ++i) {
        std::error_code ec;
        if (fs::file_size(output + kPartial, ec) > 20000 && !ec) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

struct Faults : testing::Test {
    testwav::TempDir dir;
    void SetUp() override {
        setenv("VELTO_PROFILE", dir.File("Velto.INI").c_str(), 1);
        unsetenv("VELTO_CODEC_LIBRARY");
    }
    std::string Wav(const std::string& path, int seconds, int channels = 2) {
        return testwav::WritePcm16(path, testwav::Sine(44100 * seconds, channels, 44100, 440, 8000), channels,
                                   44100);
    }
    // An earlier output that a failed encoding must leave as it was.
    std::string Earlier(const std::string& path) { return testwav::WriteBytes(path, kEarlier); }
    void ExpectEarlierAndNoPartial(const std::string& path) {
        EXPECT_EQ(testwav::ReadBytes(path), kEarlier) << path;
        EXPECT_FALSE(fs::exists(path + kPartial)) << path;
    }
    // A second file of the batch, in a folder that works.
    std::string Other() { return Wav(dir.File("other.wav"), 1); }
    void ExpectOtherEncoded() {
        EXPECT_TRUE(testmp3::DecodeFile(dir.File("other.mp3")).Clean());
        fs::remove(dir.File("other.mp3"));
    }
};

}  // namespace

TEST_F(Faults, AnUnwritableOutputFolder) {
    const std::string folder = dir.File("readonly");
    fs::create_directory(folder);
    // Permissions do not stop root, a read-only file system does.
    testfs::ScratchMount disk(folder, 4 << 20);
    const std::string wav = Wav(folder + "/a.wav", 1);
    const std::string mp3 = Earlier(folder + "/a.mp3");
    if (!disk.MakeUnwritable()) {
        ASSERT_FALSE(disk.Mounted()) << "the scratch file system could not be made read-only";
        GTEST_SKIP() << "root, and no read-only file system: " << disk.Why();
    }
    auto r = testproc::Run("velto", {wav});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r, "a.mp3 cannot be written: Read-only file system") ||
                Has(r, "a.mp3 cannot be written: Permission denied"))
        << r.output;
    ExpectEarlierAndNoPartial(mp3);
    Other();
    for (const char* jobs : {"-j1", "-j2"}) {
        r = testproc::Run("velto-batch", {jobs, wav, dir.File("other.wav")});
        EXPECT_EQ(r.exitCode, 1) << jobs << r.output;
        EXPECT_TRUE(Has(r, "a.mp3 cannot be written: Read-only file system") ||
                    Has(r, "a.mp3 cannot be written: Permission denied"))
            << r.output;
        ExpectEarlierAndNoPartial(mp3);
        ExpectOtherEncoded();
    }
    chmod(folder.c_str(), 0755);
}

TEST_F(Faults, AFullOutputDisk) {
    const std::string folder = dir.File("small");
    fs::create_directory(folder);
    testfs::ScratchMount disk(folder, 1 << 20);
    if (!disk.Mounted()) GTEST_SKIP() << "no small file system to fill: " << disk.Why();
    // Two seconds make about 32 KB of MP3; 8 KB are left.
    const std::string wav = Wav(folder + "/a.wav", 2, 1);
    const std::string mp3 = Earlier(folder + "/a.mp3");
    ASSERT_TRUE(disk.FillLeaving(8 * 1024));
    auto r = testproc::Run("velto", {wav});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r, "Error writing to file " + mp3 + ": No space left on device")) << r.output;
    ExpectEarlierAndNoPartial(mp3);
    Other();
    for (const char* jobs : {"-j1", "-j2"}) {
        r = testproc::Run("velto-batch", {jobs, wav, dir.File("other.wav")});
        EXPECT_EQ(r.exitCode, 1) << jobs << r.output;
        EXPECT_TRUE(Has(r, "Error writing to file " + mp3 + ": No space left on device")) << r.output;
        EXPECT_TRUE(Has(r, wav + ": failed: error writing to " + mp3 + ": No space left on device"))
            << r.output;
        ExpectEarlierAndNoPartial(mp3);
        ExpectOtherEncoded();
    }
}

TEST_F(Faults, AnInputCutShortWhileEncodedFailsAndKeepsTheEarlierOutput) {
    const std::string wav = dir.File("long.wav");
    const std::string mp3 = dir.File("long.mp3");
    Other();
    for (const char* jobs : {"", "-j1", "-j2"}) {
        Wav(wav, 120);
        Earlier(mp3);
        const bool batch = *jobs != '\0';
        testproc::Background run(batch ? "velto-batch" : "velto",
                                 batch ? std::vector<std::string>{jobs, wav, dir.File("other.wav")}
                                       : std::vector<std::string>{wav});
        ASSERT_TRUE(WaitForPartial(mp3));
        ASSERT_EQ(truncate(wav.c_str(), 44 + 20 * 44100 * 4), 0);
        auto r = run.Wait();
        EXPECT_EQ(r.exitCode, 1) << jobs << r.output;
        EXPECT_TRUE(Has(r, "long.wav ended early")) << r.output;
        ExpectEarlierAndNoPartial(mp3);
        if (batch) ExpectOtherEncoded();
    }
    // Where no earlier output is lost, what was encoded stays, as after a stop.
    Wav(wav, 120);
    fs::remove(mp3);
    testproc::Background run("velto", {wav});
    ASSERT_TRUE(WaitForPartial(mp3));
    ASSERT_EQ(truncate(wav.c_str(), 44 + 20 * 44100 * 4), 0);
    EXPECT_EQ(run.Wait().exitCode, 1);
    auto decoded = testmp3::DecodeFile(mp3);
    EXPECT_TRUE(decoded.Clean()) << decoded.messages;
    EXPECT_LE(decoded.SamplesPerChannel(), 44100u * 21);
}

TEST_F(Faults, AnInputDeletedWhileEncodedIsEncodedWhole) {
    // The open file stays readable after its name is gone, so nothing is lost.
    const std::string wav = dir.File("gone.wav");
    const std::string mp3 = dir.File("gone.mp3");
    for (const char* program : {"velto", "velto-batch"}) {
        Wav(wav, 40);
        testproc::Background run(program, {wav});
        ASSERT_TRUE(WaitForPartial(mp3));
        ASSERT_EQ(unlink(wav.c_str()), 0);
        auto r = run.Wait();
        EXPECT_EQ(r.exitCode, 0) << program << r.output;
        auto decoded = testmp3::DecodeFile(mp3);
        EXPECT_TRUE(decoded.Clean()) << decoded.messages;
        EXPECT_GE(decoded.SamplesPerChannel(), 44100u * 8);
        fs::remove(mp3);
    }
}

TEST_F(Faults, AFifoOrAFolderAsInput) {
    const std::string fifo = dir.File("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = dir.File("folder.wav");
    fs::create_directory(folder);
    auto r = testproc::Run("velto", {fifo});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r, "pipe.wav cannot be read: it is not a regular file")) << r.output;
    r = testproc::Run("velto", {folder});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r, "folder.wav cannot be read: it is a folder")) << r.output;
    r = testproc::Run("velto", {dir.File("missing.wav")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(Has(r, "missing.wav cannot be read: No such file or directory")) << r.output;

    Other();
    r = testproc::Run("velto-batch", {fifo, dir.File("other.wav")});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Has(r, "pipe.wav cannot be read: it is not a regular file")) << r.output;
    ExpectOtherEncoded();
}

TEST_F(Faults, AProfileThatIsAFolderStopsTheBatchBeforeItEncodes) {
    const std::string profile = dir.File("profile");
    fs::create_directory(profile);
    setenv("VELTO_PROFILE", profile.c_str(), 1);
    const std::string mp3 = Earlier(dir.File("other.mp3"));
    Other();
    auto r = testproc::Run("velto-batch", {dir.File("other.wav")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(Has(r, "the profile " + profile + " cannot be read: it is a folder")) << r.output;
    ExpectEarlierAndNoPartial(mp3);
    EXPECT_TRUE(fs::is_directory(profile));
}

TEST_F(Faults, ACodecLibraryThatFailsFailsEveryFileAndKeepsTheEarlierOutputs) {
    setenv("VELTO_CODEC_LIBRARY", testproc::BinPath("libvelto_failing_codec.so").c_str(), 1);
    const std::string a = Wav(dir.File("a.wav"), 1);
    const std::string b = Wav(dir.File("b.wav"), 1, 1);
    const std::string earlier = Earlier(dir.File("a.mp3"));
    struct Case {
        const char* mode;
        const char* message;
    };
    for (const Case& c : {Case{"encode", "Error during Conversion"}, Case{"flush", "Error during Conversion"},
                          Case{"init", "Could not perform conversion!"}}) {
        setenv("VELTO_FAILING_CODEC", c.mode, 1);
        for (const char* jobs : {"-j1", "-j2"}) {
            auto r = testproc::Run("velto-batch", {"--codec", jobs, a, b});
            EXPECT_EQ(r.exitCode, 1) << c.mode << jobs << r.output;
            EXPECT_TRUE(Has(r, c.message)) << c.mode << r.output;
            ExpectEarlierAndNoPartial(earlier);
            // With nothing to replace, nothing is left either: what a failed conversion wrote
            // is no MP3 file a player can trust.
            EXPECT_FALSE(fs::exists(dir.File("b.mp3") + kPartial)) << c.mode << jobs;
            EXPECT_FALSE(fs::exists(dir.File("b.mp3"))) << c.mode << jobs;
        }
    }
    unsetenv("VELTO_FAILING_CODEC");
}

TEST_F(Faults, AKilledRunLeavesTheEarlierOutputAndAPartialTheNextRunReplaces) {
    const std::string wav = Wav(dir.File("long.wav"), 120);
    const std::string mp3 = Earlier(dir.File("long.mp3"));
    {
        testproc::Background run("velto", {wav});
        ASSERT_TRUE(WaitForPartial(mp3));
        run.Signal(SIGKILL);
        EXPECT_EQ(run.Wait().exitCode, 128 + SIGKILL);
    }
    EXPECT_EQ(testwav::ReadBytes(mp3), kEarlier);
    EXPECT_TRUE(fs::exists(mp3 + kPartial));
    Wav(wav, 1);
    auto r = testproc::Run("velto", {wav});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(testmp3::DecodeFile(mp3).Clean());
    EXPECT_FALSE(fs::exists(mp3 + kPartial));
}

TEST_F(Faults, AHugeJobCountStartsNoMoreWorkersThanFiles) {
    // A thread per requested job would be more threads than the system gives.
    Other();
    auto r = testproc::Run("velto-batch", {"--jobs=999999", dir.File("other.wav")});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    ExpectOtherEncoded();
}

TEST_F(Faults, AFifoAtTheOutputNameIsRefusedRatherThanWaitedOn) {
    const std::string wav = Wav(dir.File("x.wav"), 1);
    const std::string fifo = dir.File("x.mp3");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    auto r = testproc::Run("velto", {wav});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Has(r, fifo + " cannot be written: it is not a regular file")) << r.output;
    Other();
    for (const char* jobs : {"-j1", "-j2"}) {
        r = testproc::Run("velto-batch", {jobs, wav, dir.File("other.wav")});
        EXPECT_EQ(r.exitCode, 1) << jobs << r.output;
        EXPECT_TRUE(Has(r, fifo + " cannot be written: it is not a regular file")) << r.output;
        ExpectOtherEncoded();
    }
    EXPECT_EQ(fs::status(fifo).type(), fs::file_type::fifo);
}

TEST_F(Faults, TwoInputsOfOneOutputAreFoundBeforeTheBatchAndTheSecondSkipped) {
    const std::string first = Wav(dir.File("a.wav"), 1);
    const std::string second = Wav(dir.File("a.WAV"), 2, 1);
    for (const char* jobs : {"-j1", "-j2"}) {
        const auto r = testproc::Run("velto-batch", {jobs, first, second});
        EXPECT_EQ(r.exitCode, 1) << jobs << r.output;
        EXPECT_TRUE(Has(r, second + " is skipped: " + first + " is encoded to the same " + dir.File("a.mp3")))
            << r.output;
        const auto decoded = testmp3::DecodeFile(dir.File("a.mp3"));
        EXPECT_TRUE(decoded.Clean()) << decoded.messages;
        EXPECT_EQ(decoded.channels, 2) << "the first file's output, not overwritten by the second";
        EXPECT_LT(decoded.SamplesPerChannel(), 44100u * 2);
        fs::remove(dir.File("a.mp3"));
    }
}

TEST_F(Faults, AnInputGoneBeforeItsTurnFailsWithTheReason) {
    const std::string first = dir.File("long.wav");
    const std::string later = dir.File("x2.wav");
    for (bool folder : {false, true}) {
        Wav(first, 40);
        Wav(later, 1);
        testproc::Background run("velto-batch", {"-j1", first, later});
        ASSERT_TRUE(WaitForPartial(dir.File("long.mp3")));
        ASSERT_EQ(unlink(later.c_str()), 0);
        if (folder) fs::create_directory(later);
        const auto r = run.Wait();
        EXPECT_EQ(r.exitCode, 1) << r.output;
        const std::string why = folder ? "it is a folder" : "No such file or directory";
        EXPECT_TRUE(Has(r, later + ": failed: " + later + " cannot be read: " + why)) << r.output;
        fs::remove(later);
    }
}

TEST_F(Faults, AFolderThatCannotBeListedFailsTheBatch) {
    if (geteuid() == 0) GTEST_SKIP() << "root lists every folder";
    const std::string folder = dir.File("locked");
    fs::create_directory(folder);
    Wav(folder + "/in.wav", 1);
    chmod(folder.c_str(), 0);
    const auto r = testproc::Run("velto-batch", {folder});
    chmod(folder.c_str(), 0755);
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_TRUE(Has(r, folder + " cannot be listed: Permission denied")) << r.output;
    EXPECT_TRUE(Has(r, "Encoded 0 files, 1 failed")) << r.output;
}
