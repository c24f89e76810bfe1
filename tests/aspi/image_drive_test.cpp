// The virtual drives of libwnaspi32-image.so, driven through its entry points.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>

#include "tests/aspi/aspi_client.h"
#include "tests/support/cd_image.h"
#include "tests/support/wav_writer.h"

using namespace testaspi;
using aspi::SRB_ExecSCSICmd;
using testcd::TrackSpec;

namespace {

constexpr int kSector = testcd::kSectorBytes;

// The library stays loaded for the whole test program, as it does in the transport.
const Library& ImageLibrary() {
    static const Library library("libwnaspi32-image.so");
    return library;
}

class ImageDrive : public ::testing::Test {
  protected:
    // Puts the images and faults in the environment and has the library set up its drives anew.
    void Use(const std::string& images, const std::string& faults = "") {
        images_.reset();
        faults_.reset();
        images_ = std::make_unique<testcd::ScopedEnv>("VELTO_CD_IMAGES", images);
        faults_ = std::make_unique<testcd::ScopedEnv>("VELTO_CD_FAULTS", faults);
        ASSERT_TRUE(lib().Loaded());
        EXPECT_EQ(lib().SupportInfo(), aspi::SupportInfo(aspi::SS_COMP, 1));
    }

    const Library& lib() const { return ImageLibrary(); }

    std::string Disc(const std::string& name, const std::vector<TrackSpec>& tracks) {
        return testcd::WriteCueBin(dir_.Path(), name, tracks);
    }

    // READ CD into a fresh buffer; the final status.
    BYTE ReadCd(int target, int lba, int count, std::vector<BYTE>& out, SRB_ExecSCSICmd* request = nullptr) {
        out.assign(static_cast<std::size_t>(count) * kSector, 0xEE);
        SRB_ExecSCSICmd srb = Request(target, ReadCdCdb(lba, count), out, event_);
        const BYTE status = Execute(lib(), srb);
        if (request) *request = srb;
        return status;
    }

    std::vector<BYTE> ReadToc(int target, int allocation, BYTE expected = aspi::SS_COMP) {
        std::vector<BYTE> toc(804, 0xEE);
        SRB_ExecSCSICmd srb = Request(target, ReadTocCdb(allocation), toc, event_);
        EXPECT_EQ(Execute(lib(), srb), expected);
        return toc;
    }

    testwav::TempDir dir_;
    platform::Event event_;
    std::unique_ptr<testcd::ScopedEnv> images_, faults_;
};

std::vector<BYTE> DiscBytes(const std::vector<TrackSpec>& tracks) {
    std::vector<BYTE> all;
    for (const TrackSpec& t : tracks) {
        const auto bytes = testcd::TrackBytes(t);
        all.insert(all.end(), bytes.begin(), bytes.end());
    }
    return all;
}

std::uint32_t Be32(const std::vector<BYTE>& b, std::size_t at) {
    return (std::uint32_t{b[at]} << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

struct Descriptor {
    int control, track;
    std::uint32_t lsn;
    bool operator==(const Descriptor&) const = default;
};

std::vector<Descriptor> Descriptors(const std::vector<BYTE>& toc, std::size_t count) {
    std::vector<Descriptor> out;
    for (std::size_t k = 0; k < count; ++k)
        out.push_back({toc[4 + 8 * k + 1], toc[4 + 8 * k + 2], Be32(toc, 4 + 8 * k + 4)});
    return out;
}

}  // namespace

TEST_F(ImageDrive, TargetsWithAnImageAreCdRomDrivesAndFollowTheEnvironment) {
    const std::string disc = Disc("a", {{.sectors = 10}});
    Use("0=" + disc + ",3=" + dir_.File("missing.cue") + ",7=" + disc + ",x=" + disc);
    for (int target = 0; target <= 7; ++target) {
        BYTE type = 0xFF;
        const DWORD result = lib().DeviceType(target, &type);
        if (target == 0 || target == 3) {
            EXPECT_EQ(result, aspi::SS_COMP) << target;
            EXPECT_EQ(type, aspi::DTYPE_CDROM) << target;
        } else {
            EXPECT_EQ(result, aspi::SS_NO_DEVICE) << target;
        }
    }
    EXPECT_EQ(lib().DeviceType(0, nullptr, 1), aspi::SS_NO_DEVICE);
    EXPECT_EQ(lib().DeviceType(0, nullptr, 0, 1), aspi::SS_INVALID_HA);

    // A changed environment is seen by the next request.
    testcd::ScopedEnv other("VELTO_CD_IMAGES", "5=" + disc);
    EXPECT_EQ(lib().DeviceType(0), aspi::SS_NO_DEVICE);
    EXPECT_EQ(lib().DeviceType(5), aspi::SS_COMP);
}

TEST_F(ImageDrive, InquiryNamesTheDriveAndAnEmptyDriveHasNoTableOfContents) {
    Use("2=" + Disc("a", {{.sectors = 10}}) + ",4=" + dir_.File("missing.cue"));
    std::vector<BYTE> data(96, 0xEE);
    SRB_ExecSCSICmd srb = Request(4, kInquiryCdb, data, event_);
    ASSERT_EQ(Execute(lib(), srb), aspi::SS_COMP);
    EXPECT_EQ(data[0], aspi::DTYPE_CDROM);
    EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 16), "VELTO   ");
    EXPECT_EQ(std::string(data.begin() + 16, data.begin() + 32), "Image Drive 4   ");

    // An allocation shorter than the data cuts it.
    std::vector<BYTE> shortData(96, 0xEE);
    SRB_ExecSCSICmd shortRequest = Request(2, std::array<BYTE, 6>{0x12, 0, 0, 0, 20, 0}, shortData, event_);
    ASSERT_EQ(Execute(lib(), shortRequest), aspi::SS_COMP);
    EXPECT_EQ(std::string(shortData.begin() + 16, shortData.begin() + 20), "Imag");
    EXPECT_EQ(shortData[20], 0xEE);

    SRB_ExecSCSICmd toc = Request(4, ReadTocCdb(796), data, event_);
    EXPECT_EQ(Execute(lib(), toc), aspi::SS_ERR);
    EXPECT_EQ(toc.SRB_TargStat, aspi::STATUS_CHKCOND);
    EXPECT_EQ(toc.SenseArea[2], 0x02);   // not ready
    EXPECT_EQ(toc.SenseArea[12], 0x3A);  // medium not present
}

TEST_F(ImageDrive, TableOfContentsListsEveryTrackWithItsControlAndTheLeadOut) {
    Use("0=" + Disc("mixed", {{.sectors = 300}, {.sectors = 200}, {.data = true, .sectors = 100}}) +
        ",1=" + Disc("datafirst", {{.data = true, .sectors = 120}, {.sectors = 80}, {.sectors = 50}}));
    std::vector<BYTE> toc = ReadToc(0, 796);
    EXPECT_EQ((toc[0] << 8) | toc[1], 2 + 4 * 8);
    EXPECT_EQ(toc[2], 1);
    EXPECT_EQ(toc[3], 3);
    EXPECT_EQ(Descriptors(toc, 4),
              (std::vector<Descriptor>{{0x10, 1, 0}, {0x10, 2, 300}, {0x14, 3, 500}, {0x14, 0xAA, 600}}));
    EXPECT_EQ(toc[4 + 8 * 4], 0xEE) << "nothing past the table";

    toc = ReadToc(1, 796);
    EXPECT_EQ(Descriptors(toc, 4),
              (std::vector<Descriptor>{{0x14, 1, 0}, {0x10, 2, 120}, {0x10, 3, 200}, {0x10, 0xAA, 250}}));

    // Addresses as minute, second and frame count the two seconds before track 1.
    std::vector<BYTE> msf(804);
    auto cdb = ReadTocCdb(796);
    cdb[1] = 0x02;
    SRB_ExecSCSICmd srb = Request(1, cdb, msf, event_);
    ASSERT_EQ(Execute(lib(), srb), aspi::SS_COMP);
    EXPECT_EQ(Be32(msf, 4 + 8 + 4), (3u << 8) | 45u);  // 120 + 150 sectors = 0:03:45
}

TEST_F(ImageDrive, TableOfContentsNeverGoesPastTheAllocation) {
    std::vector<TrackSpec> many(99, TrackSpec{.sectors = 2});
    Use("0=" + Disc("small", {{.sectors = 30}, {.sectors = 30}}) + ",1=" + Disc("many", many));

    std::vector<BYTE> toc = ReadToc(0, 12);
    EXPECT_EQ((toc[0] << 8) | toc[1], 2 + 3 * 8) << "the length field tells the whole table";
    EXPECT_EQ(toc[4 + 2], 1);
    EXPECT_TRUE(std::all_of(toc.begin() + 12, toc.end(), [](BYTE b) { return b == 0xEE; }));

    toc = ReadToc(1, 796);
    EXPECT_EQ((toc[0] << 8) | toc[1], 2 + 100 * 8);
    EXPECT_EQ(toc[3], 99);
    EXPECT_EQ(Descriptors(toc, 99).back(), (Descriptor{0x10, 99, 98 * 2}));
    EXPECT_EQ(toc[796], 0xEE) << "the lead-out does not fit in 796 bytes";

    toc = ReadToc(1, 804);
    EXPECT_EQ(Descriptors(toc, 100).back(), (Descriptor{0x10, 0xAA, 99 * 2}));
}

TEST_F(ImageDrive, ReadCdReturnsTheImageBytesAcrossTracksUpToTheLeadOut) {
    const std::vector<TrackSpec> tracks = {{.sectors = 40, .seed = 7},
                                           {.sectors = 30, .fill = testcd::Fill::Tone, .seed = 2},
                                           {.data = true, .sectors = 20, .seed = 3}};
    Use("0=" + Disc("disc", tracks));
    const std::vector<BYTE> disc = DiscBytes(tracks);
    auto expected = [&](int lba, int count) {
        return std::vector<BYTE>(disc.begin() + lba * kSector, disc.begin() + (lba + count) * kSector);
    };
    ASSERT_EQ(testcd::TrackStart(tracks, 2), 70);

    std::vector<BYTE> data;
    for (auto [lba, count] : {std::pair{0, 1}, {5, 27}, {35, 10}, {65, 10}, {85, 5}}) {
        ASSERT_EQ(ReadCd(0, lba, count, data), aspi::SS_COMP) << lba;
        EXPECT_TRUE(data == expected(lba, count)) << "sectors " << lba << " + " << count;
    }

    SRB_ExecSCSICmd srb{};
    EXPECT_EQ(ReadCd(0, 89, 2, data, &srb), aspi::SS_ERR);
    EXPECT_EQ(srb.SenseArea[2], 0x05);   // illegal request
    EXPECT_EQ(srb.SenseArea[12], 0x21);  // logical block address out of range
    EXPECT_TRUE(std::all_of(data.begin(), data.end(), [](BYTE b) { return b == 0xEE; }));
    EXPECT_EQ(ReadCd(0, -1, 1, data), aspi::SS_ERR);

    // A read asking for CD-DA sectors only fails on the data track.
    std::vector<BYTE> one(kSector);
    auto cdb = ReadCdCdb(69, 2);
    cdb[1] = 1 << 2;
    SRB_ExecSCSICmd cdda = Request(0, cdb, one, event_);
    cdda.SRB_BufLen = 2 * kSector;
    one.resize(2 * kSector);
    cdda.SRB_BufPointer = one.data();
    EXPECT_EQ(Execute(lib(), cdda), aspi::SS_ERR);

    // A buffer too short for the sectors asked for is not overrun.
    std::vector<BYTE> small(kSector, 0xEE);
    SRB_ExecSCSICmd overrun = Request(0, ReadCdCdb(0, 2), small, event_);
    EXPECT_EQ(Execute(lib(), overrun), aspi::SS_ERR);
    EXPECT_EQ(overrun.SRB_HaStat, aspi::HASTAT_DO_DU);
}

TEST_F(ImageDrive, JitterShiftsEachReadWithinItsBoundAndRepeatsWithTheSeed) {
    const std::vector<TrackSpec> tracks = {{.sectors = 20, .seed = 11}};
    const std::string disc = Disc("disc", tracks);
    const std::vector<BYTE> bytes = DiscBytes(tracks);
    constexpr int kJitter = 300;
    // The shift in stereo frames that explains a read of count sectors at lba, zeros off the disc.
    auto shiftOf = [&](const std::vector<BYTE>& data, int lba, int count) -> std::optional<int> {
        for (int s = -kJitter; s <= kJitter; ++s) {
            bool match = true;
            const long first = static_cast<long>(lba) * kSector + 4L * s;
            for (long i = 0; i < count * kSector && match; ++i) {
                const long at = first + i;
                match = data[i] == (at >= 0 && at < static_cast<long>(bytes.size()) ? bytes[at] : 0);
            }
            if (match) return s;
        }
        return std::nullopt;
    };
    auto shifts = [&](const std::string& faults) {
        Use("0=" + disc, faults);
        std::vector<int> seen;
        std::vector<BYTE> data;
        for (int lba : {0, 5, 5, 5, 5, 5, 5, 5, 18, 19}) {
            EXPECT_EQ(ReadCd(0, lba, 1, data), aspi::SS_COMP);
            const std::optional<int> shift = shiftOf(data, lba, 1);
            EXPECT_TRUE(shift.has_value()) << "read of sector " << lba << " is no shifted copy";
            seen.push_back(shift.value_or(9999));
        }
        return seen;
    };
    const std::vector<int> first = shifts("jitter=300,seed=42");
    EXPECT_GT(std::set<int>(first.begin(), first.end()).size(), 5u);
    EXPECT_EQ(shifts("jitter=300,seed=42"), first);
    EXPECT_NE(shifts("seed=43,jitter=300"), first);
}

TEST_F(ImageDrive, ReadsOverAFailingSectorReportAMediumError) {
    Use("0=" + Disc("disc", {{.sectors = 100}}), "fail=50,fail=80");
    std::vector<BYTE> data;
    EXPECT_EQ(ReadCd(0, 45, 5, data), aspi::SS_COMP);
    EXPECT_EQ(ReadCd(0, 51, 27, data), aspi::SS_COMP);
    SRB_ExecSCSICmd srb{};
    for (auto [lba, count] : {std::pair{48, 5}, {50, 1}, {70, 11}}) {
        EXPECT_EQ(ReadCd(0, lba, count, data, &srb), aspi::SS_ERR) << lba;
        EXPECT_EQ(srb.SRB_TargStat, aspi::STATUS_CHKCOND);
        EXPECT_EQ(srb.SenseArea[0], 0x70);
        EXPECT_EQ(srb.SenseArea[2], 0x03);   // medium error
        EXPECT_EQ(srb.SenseArea[12], 0x11);  // unrecovered read error
        EXPECT_EQ(srb.SenseArea[aspi::SENSE_LEN], 0) << "no more sense than the request asks for";
    }
}

TEST_F(ImageDrive, APendingReadStaysPendingUntilAbortedAndTheLibraryLetsGoOfIt) {
    const std::vector<TrackSpec> tracks = {{.sectors = 100, .seed = 5}};
    Use("0=" + Disc("disc", tracks), "pending=60");
    const std::vector<BYTE> disc = DiscBytes(tracks);
    std::vector<BYTE> data(2 * kSector, 0xEE);

    // A signal left on the event from before does not end the wait for this request.
    event_.Set();
    SRB_ExecSCSICmd srb = Request(0, ReadCdCdb(59, 2), data, event_);
    ASSERT_EQ(lib().Send(&srb), aspi::SS_PENDING);
    EXPECT_EQ(event_.Wait(300), platform::WAIT_TIMEOUT);
    EXPECT_EQ(srb.SRB_Status, aspi::SS_PENDING);

    EXPECT_EQ(lib().Abort(&srb), aspi::SS_COMP);
    EXPECT_EQ(srb.SRB_Status, aspi::SS_ABORTED);
    EXPECT_EQ(event_.Wait(100), platform::WAIT_TIMEOUT) << "an aborted request is not signalled";
    EXPECT_EQ(lib().Abort(&srb), aspi::SS_ABORT_FAIL) << "nothing left to abort";
    EXPECT_EQ(data[0], 0xEE);

    // The same block sent again while a pending read holds it serves the new request alone.
    ASSERT_EQ(lib().Send(&srb), aspi::SS_PENDING);
    srb = Request(0, ReadCdCdb(10, 2), data, event_);
    ASSERT_EQ(Execute(lib(), srb), aspi::SS_COMP);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), disc.begin() + 10 * kSector));
    EXPECT_EQ(lib().Abort(&srb), aspi::SS_ABORT_FAIL);
}

TEST(CdImage, FillsFollowTheirSeedAndSilentEdgesFrameNoiseWithThreeSeconds) {
    using testcd::Fill;
    auto zero = [](auto first, auto last) { return std::all_of(first, last, [](BYTE b) { return b == 0; }); };
    const auto edges = testcd::TrackBytes({.sectors = 600, .fill = Fill::SilentEdges, .seed = 4});
    ASSERT_EQ(edges.size(), 600u * kSector);
    EXPECT_TRUE(zero(edges.begin(), edges.begin() + 225 * kSector));
    EXPECT_FALSE(zero(edges.begin() + 225 * kSector, edges.begin() + 226 * kSector));
    EXPECT_FALSE(zero(edges.end() - 226 * kSector, edges.end() - 225 * kSector));
    EXPECT_TRUE(zero(edges.end() - 225 * kSector, edges.end()));

    const auto silence = testcd::TrackBytes({.sectors = 3, .fill = Fill::Silence});
    EXPECT_TRUE(zero(silence.begin(), silence.end()));
    EXPECT_EQ(testcd::TrackBytes({.sectors = 3, .seed = 9}), testcd::TrackBytes({.sectors = 3, .seed = 9}));
    EXPECT_NE(testcd::TrackBytes({.sectors = 3, .seed = 9}), testcd::TrackBytes({.sectors = 3, .seed = 10}));
    EXPECT_NE(testcd::TrackBytes({.sectors = 3, .fill = Fill::Tone, .seed = 0}),
              testcd::TrackBytes({.sectors = 3, .fill = Fill::Tone, .seed = 1}));
}

namespace {

// Sheets as ripping programs write them, over data files generated here.
class SheetDrive : public ImageDrive {
  protected:
    std::string WriteText(const std::string& name, const std::string& text) {
        return testwav::WriteBytes(dir_.File(name), std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    // A 16-bit 44100 Hz stereo WAVE file holding these bytes of audio.
    void WriteWave(const std::string& name, const std::vector<BYTE>& audio) {
        std::vector<std::int16_t> samples(audio.size() / 2);
        std::memcpy(samples.data(), audio.data(), samples.size() * 2);
        testwav::WritePcm16(dir_.File(name), samples, 2, 44100);
    }
    std::vector<BYTE> Read(int lba, int count) {
        std::vector<BYTE> data;
        EXPECT_EQ(ReadCd(0, lba, count, data), aspi::SS_COMP) << lba;
        return data;
    }
    // What the library writes to standard error while it sets up its drives.
    std::string UseCapturingErrors(const std::string& images) {
        std::fflush(stderr);
        const int saved = dup(2);
        const std::string log = dir_.File("stderr.txt");
        FILE* file = std::fopen(log.c_str(), "w");
        dup2(fileno(file), 2);
        Use(images);
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
        std::fclose(file);
        const auto bytes = testwav::ReadBytes(log);
        return std::string(bytes.begin(), bytes.end());
    }
};

std::vector<BYTE> Slice(const std::vector<BYTE>& bytes, int fromSector, int sectors) {
    return std::vector<BYTE>(bytes.begin() + fromSector * kSector,
                             bytes.begin() + (fromSector + sectors) * kSector);
}

}  // namespace

TEST_F(SheetDrive, ABinaryFileOfAnotherNameThanTheSheetIsFoundByItsFileLine) {
    const std::vector<TrackSpec> tracks = {{.sectors = 40, .seed = 3}, {.sectors = 30, .seed = 4}};
    const std::vector<BYTE> disc = DiscBytes(tracks);
    testwav::WriteBytes(dir_.File("Album (Disc 1).bin"), disc);
    const std::string sheet =
        WriteText("Album.cue",
                  "REM GENRE Rock\r\nREM DATE 1999\r\nREM DISCID 0A00C702\r\n"
                  "REM COMMENT \"ExactAudioCopy v1.6\"\r\nCATALOG 0724384960650\r\n"
                  "PERFORMER \"The Band\"\r\nTITLE \"The Album\"\r\n"
                  "FILE \"Album (Disc 1).bin\" BINARY\r\n  TRACK 01 AUDIO\r\n"
                  "    TITLE \"First\"\r\n    PERFORMER \"The Band\"\r\n"
                  "    ISRC GBAYE9900001\r\n    FLAGS DCP\r\n    INDEX 01 00:00:00\r\n"
                  "  TRACK 02 AUDIO\r\n    TITLE \"Second\"\r\n    INDEX 01 00:00:40\r\n");
    Use("0=" + sheet);
    const std::vector<BYTE> toc = ReadToc(0, 796);
    EXPECT_EQ(Descriptors(toc, 3), (std::vector<Descriptor>{{0x12, 1, 0}, {0x10, 2, 40}, {0x10, 0xAA, 70}}));
    EXPECT_TRUE(Read(35, 10) == Slice(disc, 35, 10));
}

// One WAVE file per track, the pregap of each track kept at the end of the track before it
// ("gaps appended"), or at the start of its own file ("gaps prepended"); both give the same disc.
TEST_F(SheetDrive, WaveFilesPerTrackPlaceEachPregapWhereTheSheetPutsIt) {
    const std::vector<TrackSpec> tracks = {
        {.sectors = 90, .seed = 1}, {.sectors = 60, .seed = 2}, {.sectors = 45, .seed = 3}};
    const std::vector<BYTE> disc = DiscBytes(tracks);
    // Track 2's pregap is the last 15 sectors before it, track 3's the last 30.
    WriteWave("01 - First.wav", Slice(disc, 0, 75));
    WriteWave("02 - Second.wav", Slice(disc, 75, 45));
    WriteWave("03 - Third.wav", Slice(disc, 120, 75));
    WriteWave("a1.wav", Slice(disc, 0, 90));
    WriteWave("a2.wav", Slice(disc, 90, 60));
    std::vector<BYTE> last = Slice(disc, 150, 45);
    last.resize(last.size() - 1000);  // a last file whose end is not a whole sector
    WriteWave("a3.wav", last);
    const std::string prepended =
        WriteText("prepended.cue",
                  "FILE \"01 - First.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                  "FILE \"02 - Second.wav\" WAVE\n  TRACK 02 AUDIO\n    INDEX 00 00:00:00\n"
                  "    INDEX 01 00:00:15\nFILE \"03 - Third.wav\" WAVE\n  TRACK 03 AUDIO\n"
                  "    INDEX 00 00:00:00\n    INDEX 01 00:00:30\n");
    const std::string appended = WriteText("appended.cue",
                                           "FILE \"a1.wav\" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n"
                                           "  TRACK 02 AUDIO\n    INDEX 00 00:01:00\nFILE \"a2.wav\" WAVE\n"
                                           "    INDEX 01 00:00:00\n  TRACK 03 AUDIO\n    INDEX 00 00:00:30\n"
                                           "FILE \"a3.wav\" WAVE\n    INDEX 01 00:00:00\n");
    for (const std::string& sheet : {prepended, appended}) {
        Use("0=" + sheet);
        const std::vector<BYTE> toc = ReadToc(0, 796);
        EXPECT_EQ(Descriptors(toc, 4),
                  (std::vector<Descriptor>{{0x10, 1, 0}, {0x10, 2, 90}, {0x10, 3, 150}, {0x10, 0xAA, 195}}))
            << sheet;
        EXPECT_TRUE(Read(70, 60) == Slice(disc, 70, 60)) << sheet;
        std::vector<BYTE> end = Read(190, 5), expected = Slice(disc, 190, 5);
        if (sheet == appended) std::fill(expected.end() - 1000, expected.end(), 0);
        EXPECT_TRUE(end == expected) << sheet;
    }
}

TEST_F(SheetDrive, PregapAndPostgapAddSilenceThatNoFileHolds) {
    const std::vector<BYTE> one = testcd::TrackBytes({.sectors = 20, .seed = 5});
    const std::vector<BYTE> two = testcd::TrackBytes({.sectors = 10, .seed = 6});
    WriteWave("one.wav", one);
    WriteWave("two.wav", two);
    Use("0=" + WriteText("gaps.cue",
                         "FILE one.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nPOSTGAP 00:00:03\n"
                         "FILE two.wav WAVE\nTRACK 02 AUDIO\nPREGAP 00:00:05\nINDEX 01 00:00:00\n"));
    EXPECT_EQ(Descriptors(ReadToc(0, 796), 3),
              (std::vector<Descriptor>{{0x10, 1, 0}, {0x10, 2, 28}, {0x10, 0xAA, 38}}));
    std::vector<BYTE> expected = Slice(one, 18, 2);
    expected.resize(expected.size() + 8 * kSector, 0);
    expected.insert(expected.end(), two.begin(), two.begin() + 2 * kSector);
    EXPECT_TRUE(Read(18, 12) == expected);
}

TEST_F(SheetDrive, SheetsThatCannotBeReadLeaveTheDriveEmptyAndSayWhy) {
    testwav::WritePcm16(dir_.File("hires.wav"), testwav::Silence(588 * 4, 2), 2, 48000);
    testwav::WriteBytes(dir_.File("x.bin"), std::vector<std::uint8_t>(kSector * 4));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"FILE hires.wav WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "only 16-bit 44100 Hz stereo"},
        {"FILE \"song.mp3\" MP3\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "only BINARY and WAVE"},
        {"FILE gone.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "cannot open"},
        {"FILE x.bin BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n", "MODE1/2048"},
        {"FILE x.bin BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 01 00:00:09\n",
         "outside its file"},
        {"FILE x.bin BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n", "no INDEX 01"},
        {"TRACK 01 AUDIO\nINDEX 01 00:00:00\n", "before any FILE"},
    };
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::string errors =
            UseCapturingErrors("0=" + WriteText("bad" + std::to_string(k) + ".cue", cases[k].first));
        EXPECT_NE(errors.find(cases[k].second), std::string::npos) << k << ": " << errors;
        SRB_ExecSCSICmd srb{};
        std::vector<BYTE> data;
        EXPECT_EQ(ReadCd(0, 0, 1, data, &srb), aspi::SS_ERR) << k;
        EXPECT_EQ(srb.SenseArea[12], 0x3A) << k << ": medium not present";
    }
}
