// velto-batch with audio CD tracks, on the image library's drives.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/support/cd_image.h"
#include "tests/support/local_server.h"
#include "tests/support/mp3_decoder.h"
#include "tests/support/process.h"
#include "tests/support/wav_writer.h"

namespace {

namespace fs = std::filesystem;
using testcd::TrackSpec;

// A disc in target 0 of the image library, and a profile of our own.
struct ImageDisc {
    testwav::TempDir dir;
    testcd::ScopedEnv library{"VELTO_ASPI_LIBRARY", testproc::BinPath("libwnaspi32-image.so")};
    testcd::ScopedEnv profile{"VELTO_PROFILE", dir.File("velto.ini")};
    testcd::ScopedEnv faults{"VELTO_CD_FAULTS", std::nullopt};
    testcd::ScopedEnv lookups{"VELTO_MUSICBRAINZ_SERVER", "off"};
    std::vector<TrackSpec> tracks{TrackSpec{true, 200}, TrackSpec{false, 150, testcd::Fill::Noise, 2},
                                  TrackSpec{false, 300, testcd::Fill::Tone, 3},
                                  TrackSpec{false, 90, testcd::Fill::SilentEdges, 4}};
    testcd::ScopedEnv images{"VELTO_CD_IMAGES", "0=" + testcd::WriteCueBin(dir.Path(), "disc", tracks)};
    std::string rips = dir.File("rips");
    ImageDisc() { fs::create_directory(rips); }
};

// Waits until the file has more than `bytes` bytes, so that Ctrl-C meets the program at work.
void WaitForBytes(const std::string& path, std::uintmax_t bytes) {
    for (int i = 0; i < 600; ++i) {
        std::error_code ec;
        if (fs::file_size(path, ec) > bytes && !ec) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::uint32_t LE32(const std::vector<std::uint8_t>& b, std::size_t at) {
    std::uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

}  // namespace

TEST(BatchCd, ListsTheDrivesTheirTracksAndWhyADriveHasNone) {
    ImageDisc disc;
    const std::string dataOnly = testcd::WriteCueBin(disc.dir.Path(), "data", {TrackSpec{true, 100}});
    testcd::ScopedEnv images("VELTO_CD_IMAGES", "0=" + disc.dir.File("disc.cue") +
                                                    ",2=" + disc.dir.File("missing.cue") + ",3=" + dataOnly);
    testproc::Result r = testproc::Run("velto-batch", {"--list-drives"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output,
              "Target 0: Image Drive 0   \n"
              "  Disc ID: ciQnP3wcgm9b_C2fGa5Q7lbBUqM-\n"
              "  Track  1  data\n"
              "  Track  2  0:01\n"
              "  Track  3  0:03\n"
              "  Track  4  0:01\n"
              "Target 2: Image Drive 2   \n"
              "  no disc\n"
              "Target 3: Image Drive 3   \n"
              "  Track  1  data\n"
              "  no audio tracks\n");
    r = testproc::Run("velto-batch", {"--cd=2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("the drive on target 2 has no disc"), std::string::npos) << r.output;
    r = testproc::Run("velto-batch", {"--cd=3"});
    EXPECT_NE(r.output.find("a disc with no audio tracks"), std::string::npos) << r.output;
}

TEST(BatchCd, ExtractsAndEncodesEveryTrackOfTheDisc) {
    ImageDisc disc;
    for (const char* mode : {"--dae-mode=0", "--dae-mode=2"}) {
        const testproc::Result r =
            testproc::Run("velto-batch", {"--cd=0", "--tracks=all", "--folder=" + disc.rips, mode});
        ASSERT_EQ(r.exitCode, 0) << r.output;
        for (int t : {2, 3, 4}) {
            const std::string base = disc.rips + "/Track 0" + std::to_string(t);
            const testmp3::Decoded d = testmp3::DecodeFile(base + ".mp3");
            EXPECT_TRUE(d.opened && d.errors == 0 && d.rate == 44100 && d.channels == 2) << base;
            EXPECT_GE(d.samples.size() / 2, static_cast<std::size_t>(disc.tracks[t - 1].sectors) * 588);
            EXPECT_FALSE(fs::exists(base + ".wav"));
        }
        fs::remove_all(disc.rips);
        fs::create_directory(disc.rips);
    }
}

TEST(BatchCd, KeepsOrOnlyExtractsAsAskedAndRunsAfterTheFiles) {
    ImageDisc disc;
    const std::string wav =
        testwav::WritePcm16(disc.dir.File("a.wav"), testwav::Sine(44100, 2, 44100, 440.0), 2, 44100);
    testproc::Result r = testproc::Run("velto-batch", {wav, "--cd=0", "--tracks=2,4", "--folder=" + disc.rips,
                                                       "--keep", "--dae-mode=1", "--nsectors=7"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(fs::exists(disc.dir.File("a.mp3")));
    EXPECT_EQ(testwav::ReadBytes(disc.rips + "/Track 02.wav").size(), 44u + 150 * 2352);
    EXPECT_TRUE(fs::exists(disc.rips + "/Track 04.mp3"));
    EXPECT_FALSE(fs::exists(disc.rips + "/Track 03.wav"));

    r = testproc::Run("velto-batch", {"--cd=0", "--tracks=3", "--folder=" + disc.rips, "--extract-only"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(fs::exists(disc.rips + "/Track 03.wav"));
    EXPECT_FALSE(fs::exists(disc.rips + "/Track 03.mp3"));
}

TEST(BatchCd, RefusesWhatItCannotDoWithAReason) {
    ImageDisc disc;
    testproc::Result r = testproc::Run("velto-batch", {"--cd=4"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("no CD-ROM drive on target 4"), std::string::npos) << r.output;
    r = testproc::Run("velto-batch", {"--cd=0", "--tracks=1"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("track 1 is not an audio track"), std::string::npos) << r.output;
    r = testproc::Run("velto-batch", {"--tracks=2"});
    EXPECT_EQ(r.exitCode, 2) << r.output;
    for (const char* bad : {"--cd=7", "--nsectors=28", "--synchsectors=0", "--dae-mode=3", "--tracks=0"}) {
        r = testproc::Run("velto-batch", {"--cd=0", bad});
        EXPECT_EQ(r.exitCode, 2) << bad << "\n" << r.output;
    }

    // A drive that fails a read: the message, the partial WAV and a failed exit.
    testcd::ScopedEnv failing("VELTO_CD_FAULTS", "fail=400");
    r = testproc::Run("velto-batch", {"--cd=0", "--folder=" + disc.rips});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(
        r.output.find("Cannot read from CD.\nvelto-batch: Track 03: the read at sector 400 (sector 50 of "
                      "the track) failed; the partial WAV " +
                      disc.rips + "/Track 03.wav is kept\n"),
        std::string::npos)
        << r.output;
    EXPECT_TRUE(fs::exists(disc.rips + "/Track 02.mp3"));
    EXPECT_TRUE(fs::exists(disc.rips + "/Track 03.wav"));
    EXPECT_FALSE(fs::exists(disc.rips + "/Track 04.wav"));
}

TEST(BatchCd, ADriveThatStallsIsGivenUpAfterItsTimeOut) {
    ImageDisc disc;
    const std::string wav =
        testwav::WritePcm16(disc.dir.File("a.wav"), testwav::Sine(44100, 2, 44100, 440.0), 2, 44100);
    testcd::ScopedEnv stalling("VELTO_CD_FAULTS", "pending=220");
    const testproc::Result r = testproc::Run("velto-batch", {wav, "--cd=0", "--folder=" + disc.rips});
    EXPECT_EQ(r.exitCode, 1) << r.output;
    EXPECT_NE(r.output.find("Cannot read from CD."), std::string::npos) << r.output;
    EXPECT_TRUE(fs::exists(disc.dir.File("a.mp3")));  // the files before the tracks are done
    EXPECT_TRUE(fs::exists(disc.rips + "/Track 02.wav"));
    EXPECT_FALSE(fs::exists(disc.rips + "/Track 03.wav"));
}

TEST(BatchCd, CtrlCStopsAnExtractionAfterTheCurrentReadAndKeepsAWellFormedWav) {
    // SIGTERM (a logout, a service manager) stops it the same way, with its own status.
    for (const int sig : {SIGINT, SIGTERM}) {
        ImageDisc disc;
        // Reads of 20 ms each: the first track takes three seconds in Normal mode.
        testcd::ScopedEnv slow("VELTO_CD_FAULTS", "delay=20");
        testproc::Background batch("velto-batch", {"--cd=0", "--folder=" + disc.rips, "--dae-mode=0"});
        const std::string wav = disc.rips + "/Track 02.wav";
        WaitForBytes(wav + ".velto-partial", 44 + 20 * 2352);
        batch.Signal(sig);
        const testproc::Result r = batch.Wait();
        EXPECT_EQ(r.signal, 0) << "killed by the signal\n" << r.output;
        EXPECT_EQ(r.exitCode, 128 + sig) << r.output;
        const std::vector<std::uint8_t> bytes = testwav::ReadBytes(wav);
        ASSERT_GT(bytes.size(), 44u + 20 * 2352) << r.output;
        EXPECT_LT(bytes.size(), 44u + 150 * 2352);
        EXPECT_EQ((bytes.size() - 44) % 2352, 0u);
        EXPECT_EQ(LE32(bytes, 40), bytes.size() - 44);
        EXPECT_EQ(LE32(bytes, 4), bytes.size() - 8);
        const std::vector<std::uint8_t> track = testcd::TrackBytes(disc.tracks[1]);
        EXPECT_TRUE(std::equal(bytes.begin() + 44, bytes.end(), track.begin()));
        EXPECT_FALSE(fs::exists(wav + ".velto-partial"));
        EXPECT_FALSE(fs::exists(disc.rips + "/Track 02.mp3"));
        EXPECT_FALSE(fs::exists(disc.rips + "/Track 03.wav"));
    }
}

TEST(BatchCd, AFolderSwitchNamingAFileSaysSo) {
    ImageDisc disc;
    const std::string file = testwav::WriteBytes(disc.dir.File("not-a-folder"), {'x'});
    const testproc::Result r = testproc::Run("velto-batch", {"--cd=0", "--folder=" + file});
    EXPECT_EQ(r.exitCode, 2) << r.output;
    EXPECT_NE(r.output.find("--folder=" + file + ": it is not a folder"), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find("create"), std::string::npos) << r.output;
}

TEST(BatchCd, CtrlCWhileATrackIsEncodedKeepsItsWavAndAShorterMp3) {
    ImageDisc disc;
    disc.tracks[2].sectors = 9000;  // two minutes of tone take a while to encode
    testcd::ScopedEnv images("VELTO_CD_IMAGES",
                             "0=" + testcd::WriteCueBin(disc.dir.Path(), "long", disc.tracks));
    testproc::Background batch("velto-batch", {"--cd=0", "--tracks=3", "--folder=" + disc.rips});
    WaitForBytes(disc.rips + "/Track 03.mp3.velto-partial", 20000);
    batch.Signal(SIGINT);
    const testproc::Result r = batch.Wait();
    EXPECT_EQ(r.signal, 0) << "killed by the signal\n" << r.output;
    EXPECT_EQ(r.exitCode, 130) << r.output;
    EXPECT_EQ(testwav::ReadBytes(disc.rips + "/Track 03.wav").size(), 44u + 9000 * 2352);
    const testmp3::Decoded d = testmp3::DecodeFile(disc.rips + "/Track 03.mp3");
    EXPECT_TRUE(d.opened && d.errors == 0) << r.output;
    EXPECT_LT(d.samples.size() / 2, 9000u * 588);
}

TEST(BatchCd, ADiscThatStartsAtTrackTwoIsRippedTrackByTrack) {
    ImageDisc disc;
    // An image cut from a disc's second track on: the table's first entry is track 2.
    const std::vector<TrackSpec> tracks{TrackSpec{false, 150, testcd::Fill::Noise, 7},
                                        TrackSpec{false, 120, testcd::Fill::Noise, 8}, TrackSpec{true, 100}};
    testcd::ScopedEnv images("VELTO_CD_IMAGES",
                             "0=" + testcd::WriteCueBin(disc.dir.Path(), "cut", tracks, 2));
    testproc::Result r = testproc::Run("velto-batch", {"--list-drives"});
    EXPECT_NE(r.output.find("Track  2  0:01"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("Track  3  0:01"), std::string::npos) << r.output;
    r = testproc::Run("velto-batch", {"--cd=0", "--folder=" + disc.rips, "--extract-only", "--dae-mode=1"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    for (int k : {0, 1}) {
        const std::vector<std::uint8_t> wav =
            testwav::ReadBytes(disc.rips + "/Track 0" + std::to_string(k + 2) + ".wav");
        const std::vector<std::uint8_t> expected = testcd::TrackBytes(tracks[static_cast<std::size_t>(k)]);
        ASSERT_EQ(wav.size(), 44 + expected.size()) << k;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), wav.begin() + 44)) << "track " << k + 2;
    }
    EXPECT_FALSE(fs::exists(disc.rips + "/Track 04.wav"));
}

TEST(BatchCd, ASecondCtrlCClosesAtOnceEvenWhileTheDriveDoesNotAnswer) {
    ImageDisc disc;
    testcd::ScopedEnv stalling("VELTO_CD_FAULTS", "pending=300");  // 100 sectors into track 2
    testproc::Background batch("velto-batch", {"--cd=0", "--folder=" + disc.rips, "--dae-mode=0"});
    const std::string wav = disc.rips + "/Track 02.wav";
    WaitForBytes(wav + ".velto-partial", 44 + 90 * 2352);
    const auto start = std::chrono::steady_clock::now();
    batch.Signal(SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    batch.Signal(SIGINT);
    const testproc::Result r = batch.Wait();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "waited for the drive";
    EXPECT_EQ(r.exitCode, 130) << r.output;
    EXPECT_EQ(r.signal, 0);
    const std::vector<std::uint8_t> bytes = testwav::ReadBytes(wav);
    ASSERT_EQ(bytes.size(), 44u + 100 * 2352) << r.output;
    EXPECT_EQ(LE32(bytes, 40), 100u * 2352);
}

TEST(CdPrograms, ListDrivesSaysWhyTheDrivesOfTheDeviceTreeAreNotListed) {
    testwav::TempDir dev;
    testcd::ScopedEnv library("VELTO_ASPI_LIBRARY", testproc::BinPath("libwnaspi32.so"));
    testcd::ScopedEnv root("VELTO_DEVICE_ROOT", dev.Path());
    testproc::Result r = testproc::Run("velto-batch", {"--list-drives"});
    EXPECT_EQ(r.output, "No CD-ROM drive found.\n");

    // A node that nobody can open, root included: a socket where the drive should be.
    const std::string node = dev.File("sr0");
    const int s = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, node.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << node;
    r = testproc::Run("velto-batch", {"--list-drives"});
    EXPECT_EQ(r.output, "The CD-ROM drive " + node + " cannot be opened: No such device or address.\n");
    close(s);
    fs::remove(node);

    // A node the user may not open; root opens any, so only another user meets it.
    if (geteuid() == 0) GTEST_SKIP() << "root may open any device node";
    testwav::WriteBytes(node, {0});
    fs::permissions(node, fs::perms::none);
    r = testproc::Run("velto-batch", {"--list-drives"});
    EXPECT_EQ(r.output,
              "The CD-ROM drive " + node +
                  " cannot be opened: Permission denied. Add your user to the group cdrom and log in "
                  "again.\n");
}

namespace {

// A disc of three tracks whose sheet names the album and each track.
std::string NamedDisc(const testwav::TempDir& dir) {
    testwav::WriteBytes(dir.File("named.bin"), testcd::TrackBytes({.sectors = 300, .seed = 8}));
    const std::string sheet =
        "PERFORMER \"The Band\"\nTITLE \"The Album\"\nFILE \"named.bin\" BINARY\n"
        "TRACK 01 AUDIO\nTITLE \"First\"\nINDEX 01 00:00:00\n"
        "TRACK 02 AUDIO\nTITLE \"Second\"\nINDEX 01 00:01:25\n"
        "TRACK 03 AUDIO\nTITLE \"Third\"\nINDEX 01 00:02:50\n";
    return testwav::WriteBytes(dir.File("named.cue"), std::vector<std::uint8_t>(sheet.begin(), sheet.end()));
}

std::string Release(const std::string& id, const std::string& title, const std::string& first) {
    return R"({"id": ")" + id + R"(", "title": ")" + title +
           R"(", "country": "XE", "date": "2001", "artist-credit": [{"name": "Looked Up"}],
              "media": [{"position": 1, "tracks": [{"position": 1, "title": ")" +
           first + R"("}, {"position": 2, "title": "Zwei"}, {"position": 3, "title": "Drei"}]}]})";
}

}  // namespace

TEST(BatchCd, NamesTheTracksFromTheDiscOrFromTheReleaseALookupFinds) {
    ImageDisc disc;
    testcd::ScopedEnv images("VELTO_CD_IMAGES", "0=" + NamedDisc(disc.dir));
    const std::string folder = "--folder=" + disc.rips;
    const testproc::Result listing = testproc::Run("velto-batch", {"--list-drives"});
    EXPECT_NE(listing.output.find("  Album: The Album / The Band\n"), std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("  Track  2  0:01  Second\n"), std::string::npos) << listing.output;
    {
        // No server: the disc's own text names the files, under folders of the template's.
        std::string refused;
        {
            testnet::LocalServer gone(200, "{}");
            refused = gone.Url();
        }
        testcd::ScopedEnv server("VELTO_MUSICBRAINZ_SERVER", refused);
        const testproc::Result list = testproc::RunApart("velto-batch", {"--list-drives"});
        EXPECT_EQ(list.exitCode, 0);
        EXPECT_NE(list.output.find("  Track  2  0:01  Second\n"), std::string::npos) << list.output;
        EXPECT_NE(list.errors.find("velto-batch: target 0: No disc information found ("), std::string::npos)
            << list.errors;
        const testproc::Result r = testproc::Run("velto-batch", {"--cd=0", folder, "--name=%a/%A/%n %t"});
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_NE(r.output.find("No disc information found"), std::string::npos) << r.output;
        for (const char* name : {"01 First.mp3", "02 Second.mp3", "03 Third.mp3"})
            EXPECT_TRUE(fs::exists(disc.rips + "/The Band/The Album/" + name)) << name;
    }
    testnet::LocalServer server(200, R"({"releases": [)" + Release("r1", "Erste", "Eins") + "," +
                                         Release("r2", "Zweite", "Un") + "]}");
    testcd::ScopedEnv url("VELTO_MUSICBRAINZ_SERVER", server.Url());
    // The listing names the first release's titles and shows every release to choose from.
    const testproc::Result list = testproc::RunApart("velto-batch", {"--list-drives"});
    EXPECT_EQ(list.errors, "");
    EXPECT_NE(list.output.find("  Release 2: Zweite / Looked Up (XE 2001)\n"), std::string::npos)
        << list.output;
    EXPECT_NE(list.output.find("  Album: Erste / Looked Up\n"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("  Track  1  0:01  Eins\n"), std::string::npos) << list.output;
    EXPECT_EQ(server.Requests().size(), 1u);
    testproc::Result r =
        testproc::Run("velto-batch", {"--cd=0", "--tracks=1", folder, "--extract-only", "--name=%A - %t"});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    EXPECT_NE(r.output.find("2 releases hold disc"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("--release=N takes another"), std::string::npos) << r.output;
    EXPECT_TRUE(fs::exists(disc.rips + "/Erste - Eins.wav"));
    r = testproc::Run("velto-batch",
                      {"--cd=0", "--tracks=1", folder, "--extract-only", "--name=%A - %t", "--release=2"});
    EXPECT_TRUE(fs::exists(disc.rips + "/Zweite - Un.wav")) << r.output;
    r = testproc::Run("velto-batch", {"--cd=0", folder, "--extract-only", "--release=3"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find("--release=3: the disc lookup found 2 release(s)"), std::string::npos)
        << r.output;
}
