// The transport, the drive commands, the table of contents and the Audio CD page, on the
// image library's virtual drives.
#include <gtest/gtest.h>

#include <cerrno>

#include <cstring>

#include "cdda/audio_cd_page.h"
#include "platform/scripted_message_box.h"
#include "tests/cdda/cd_fixture.h"

using cdda::TrackEntry;
using testcd::TrackSpec;

namespace {

// A READ TOC response: header, descriptors of n tracks from `first` sector 0 on, each
// `sectors` long, and the lead-out.
std::vector<std::uint8_t> TocResponse(int n, std::uint32_t sectors, std::uint8_t dataTrack = 0) {
    std::vector<std::uint8_t> r(4 + 8 * (static_cast<std::size_t>(n) + 1));
    const std::size_t length = r.size() - 2;
    r[0] = static_cast<std::uint8_t>(length >> 8);
    r[1] = static_cast<std::uint8_t>(length);
    r[2] = 1;
    r[3] = static_cast<std::uint8_t>(n);
    for (int k = 0; k <= n; ++k) {
        std::uint8_t* d = r.data() + 4 + 8 * k;
        const std::uint32_t start = static_cast<std::uint32_t>(k) * sectors;
        d[1] = static_cast<std::uint8_t>(0x10 | (k + 1 == dataTrack ? 0x04 : 0x00));
        d[2] = static_cast<std::uint8_t>(k == n ? 0xAA : k + 1);
        d[4] = static_cast<std::uint8_t>(start >> 24);
        d[5] = static_cast<std::uint8_t>(start >> 16);
        d[6] = static_cast<std::uint8_t>(start >> 8);
        d[7] = static_cast<std::uint8_t>(start);
    }
    return r;
}

}  // namespace

// Exits 0 when the transport reports a missing library on every try.
void InitWithoutTheLibrary() {
    setenv("VELTO_ASPI_LIBRARY", "/nonexistent/libwnaspi32.so", 1);
    platform::ScriptedMessageBox boxes;
    cdda::CCDReader reader;
    const bool first = reader.Init() == 0;
    const bool second = reader.Init() == 0;
    const std::vector<std::string> expected{"ASPI Manager not installed!", "ASPI Manager not installed!"};
    const bool shown = boxes.Texts() == expected && boxes.Shown()[0].caption.empty();
    std::exit(first && second && shown ? 0 : 1);
}

TEST(TransportDeathTest, AMissingLibraryIsReportedAndTriedAgain) {
    // In a fresh process: the transport keeps a library it has loaded.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(InitWithoutTheLibrary(), ::testing::ExitedWithCode(0), "");
}

TEST(Transport, ListsOnlyCdRomTargetsAndTheirProductNames) {
    cdtest::Discs discs;
    discs.Insert(0, {TrackSpec{false, 100}});
    discs.Insert(3, {TrackSpec{false, 100}});
    discs.Insert(6, {TrackSpec{false, 100}});
    cdda::CCDReader reader;
    ASSERT_EQ(reader.Init(), 1);
    EXPECT_EQ(reader.GetDeviceType(0, 0, 0), aspi::DTYPE_CDROM);
    EXPECT_EQ(reader.GetDeviceType(0, 1, 0), -1);
    EXPECT_EQ(reader.GetDeviceType(1, 0, 0), -1);  // another host adapter
    const std::vector<cdda::DriveInfo> drives = cdda::DiscoverDrives();
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].target, 0);
    EXPECT_EQ(drives[1].target, 3);
    EXPECT_EQ(drives[2].target, 6);
    EXPECT_EQ(drives[1].name.size(), 16u);  // blank-padded text, kept whole
    EXPECT_EQ(drives[1].name.rfind("Image Drive 3", 0), 0u);
}

TEST(Transport, ProductNameStopsAtItsFirstNulAndAtSixteenCharacters) {
    std::uint8_t inquiry[96] = {};
    std::memcpy(inquiry + 16, "CD-ROM XM-6201TA", 16);
    std::memcpy(inquiry + 32, "1.00", 4);
    EXPECT_EQ(cdda::ProductName(inquiry), "CD-ROM XM-6201TA");
    std::memcpy(inquiry + 16, "DRIVE\0junk", 10);
    EXPECT_EQ(cdda::ProductName(inquiry), "DRIVE");
}

TEST(Transport, ReadsTheTableOfContentsOfADiscThatStartsWithData) {
    cdtest::Discs discs;
    discs.Insert(0,
                 {TrackSpec{true, 300}, TrackSpec{false, 200}, TrackSpec{false, 150}, TrackSpec{true, 100}});
    cdda::CCDReader reader;
    ASSERT_GT(reader.Init(), 0);
    TrackEntry table[cdda::kMaxTracks];
    EXPECT_EQ(reader.ReadToc(0, 0, 0, table), 2);
    EXPECT_FALSE(table[0].IsAudio());
    EXPECT_EQ(table[1].trackNumber, 2);
    EXPECT_EQ(+table[1].firstSector, 300u);
    EXPECT_EQ(+table[1].lastSector, 499u);
    EXPECT_EQ(+table[2].lastSector, 649u);
    EXPECT_FALSE(table[3].IsAudio());
    EXPECT_EQ(+table[3].lastSector, 749u);  // the lead-out minus one
    EXPECT_EQ(table[4].trackNumber, 0);

    discs.InsertUnreadable(0);
    EXPECT_EQ(reader.ReadToc(0, 0, 0, table), 0);
    EXPECT_EQ(reader.ReadToc(0, 5, 0, table), 0);  // no drive there
}

TEST(Transport, ReadsSectorsAndTimesOutAPendingRequest) {
    cdtest::Discs discs;
    discs.Insert(0, {TrackSpec{false, 40, testcd::Fill::Noise, 9}});
    cdda::CCDReader reader;
    ASSERT_GT(reader.Init(), 0);
    std::vector<std::uint8_t> buffer(27 * cdda::kSectorBytes);
    ASSERT_TRUE(reader.ReadSectors(0, 0, 0, 5, 27, buffer.data()));
    const std::vector<std::uint8_t> track = discs.TrackBytes(0, 0);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), track.begin() + 5 * cdda::kSectorBytes));
    EXPECT_FALSE(reader.ReadSectors(0, 0, 0, 39, 2, buffer.data()));  // runs past the lead-out

    discs.Faults("pending=12");
    cdda::CAspiManager::Instance().SetWaitMsForTesting(200);
    EXPECT_FALSE(reader.ReadSectors(0, 0, 0, 10, 4, buffer.data()));
    // The aborted request is gone: the next one is answered on its own.
    EXPECT_TRUE(reader.ReadSectors(0, 0, 0, 0, 4, buffer.data()));
}

TEST(TableOfContents, NeverReadsPastTheBytesReturned) {
    TrackEntry table[cdda::kMaxTracks] = {};
    std::vector<std::uint8_t> full = TocResponse(99, 100);
    ASSERT_EQ(full.size(), 804u);
    EXPECT_EQ(cdda::ParseTocResponse(full.data(), full.size(), table), 99);
    EXPECT_EQ(table[98].trackNumber, 99);
    EXPECT_EQ(+table[98].lastSector, 9899u);

    // Without the lead-out the last track's end is unknown: it is left out.
    std::memset(table, 0, sizeof table);
    EXPECT_EQ(cdda::ParseTocResponse(full.data(), 796, table), 98);
    EXPECT_EQ(table[98].trackNumber, 0);

    // A response whose length field says less than the buffer holds.
    std::vector<std::uint8_t> three = TocResponse(3, 50, 2);
    three[1] = static_cast<std::uint8_t>(2 + 8 * 3);  // the lead-out not included
    std::memset(table, 0, sizeof table);
    EXPECT_EQ(cdda::ParseTocResponse(three.data(), three.size(), table), 1);
    EXPECT_FALSE(table[1].IsAudio());

    std::vector<std::uint8_t> backwards = TocResponse(2, 50);
    backwards[3] = 0;  // last track below the first
    EXPECT_EQ(cdda::ParseTocResponse(backwards.data(), backwards.size(), table), 0);
    EXPECT_EQ(cdda::ParseTocResponse(backwards.data(), 3, table), 0);
}

TEST(AudioCdPage, SelectsTheFirstDriveWithAudioAndListsItsTracksUnderTheirNumbers) {
    cdtest::Discs discs;
    discs.InsertUnreadable(1);
    discs.Insert(4, {TrackSpec{true, 300}, TrackSpec{false, 150}, TrackSpec{false, 75 * 61 + 2}});
    platform::ScriptedMessageBox boxes;
    cdda::CCDAudioPage page({});
    page.Initialise();
    EXPECT_EQ(boxes.Count(), 0u);
    ASSERT_EQ(page.Drives().size(), 2u);
    EXPECT_EQ(page.SelectedDrive(), 1);
    std::vector<cdda::TrackItem> items = page.Items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].text, "Track  2");
    EXPECT_EQ(items[0].length, "0:01");
    EXPECT_EQ(items[1].text, "Track  3");
    EXPECT_EQ(items[1].length, "1:01");

    page.SelectAll();
    EXPECT_EQ(page.SelectedTrackFrames(), 150 * 588 / 1152 + (75 * 61 + 2) * 588 / 1152);
    CdSelection selection;
    EXPECT_EQ(page.GetSelection(selection), 2);
    EXPECT_EQ(selection.target, 4);
    EXPECT_EQ(selection.tracks, (std::vector<int>{2, 3}));
    page.AdvanceSelection();
    EXPECT_EQ(page.GetSelection(selection), 1);
    EXPECT_EQ(selection.tracks, (std::vector<int>{3}));
    EXPECT_EQ(page.VisibleItem(), 1);

    EXPECT_EQ(page.SelectDrive(0), 0);  // the drive without a readable disc
    EXPECT_TRUE(page.Items().empty());
    EXPECT_EQ(page.SelectDrive(-1), 0);
    EXPECT_EQ(page.GetSelection(selection), 0);
}

TEST(AudioCdPage, WithoutDrivesListsNothingAndSaysWhy) {
    cdtest::Discs discs;
    platform::ScriptedMessageBox boxes;
    cdda::CCDAudioPage page({});
    page.Initialise();
    EXPECT_TRUE(page.Drives().empty());
    EXPECT_TRUE(page.Items().empty());
    EXPECT_EQ(boxes.Count(), 0u);
    EXPECT_EQ(page.DriveProblem(), "No CD-ROM drive found.");

    // What the pass-through to real drives reports of a device node it could not open.
    EXPECT_EQ(cdda::NoDriveText("/dev/sr0", EACCES),
              "The CD-ROM drive /dev/sr0 cannot be opened: Permission denied. Add your user to the group "
              "cdrom and log in again.");
    EXPECT_EQ(cdda::NoDriveText("/dev/sr2", ENXIO),
              "The CD-ROM drive /dev/sr2 cannot be opened: No such device or address.");

    discs.Insert(3, {TrackSpec{false, 150}});
    cdda::CCDAudioPage found({});
    found.Initialise();
    EXPECT_EQ(found.DriveProblem(), "");
}
