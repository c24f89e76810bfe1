// The SG_IO pass-through: libwnaspi32.so on a machine without CD drives, and how it reads the
// kernel's answer to a command.
#include <gtest/gtest.h>
#include <scsi/sg.h>

#include <filesystem>

#include "platform/aspi_sg/sg_drives.h"
#include "tests/aspi/aspi_client.h"
#include "tests/support/wav_writer.h"

using namespace testaspi;

namespace {

bool MachineHasCdDrives() {
    for (int t = 0; t < aspi::kTargets; ++t)
        if (std::filesystem::exists("/dev/sr" + std::to_string(t))) return true;
    return false;
}

sg_io_hdr_t Answer(unsigned char status, unsigned short host, unsigned short driver, int resid,
                   unsigned char senseWritten) {
    sg_io_hdr_t header{};
    header.dxfer_len = 1000;
    header.status = status;
    header.host_status = host;
    header.driver_status = driver;
    header.resid = resid;
    header.sb_len_wr = senseWritten;
    return header;
}

}  // namespace

TEST(SgDrives, WithoutDrivesTheLibraryHasOneAdapterAndNoDevice) {
    if (MachineHasCdDrives()) GTEST_SKIP() << "this machine has CD drives";
    Library library("libwnaspi32.so");
    ASSERT_TRUE(library.Loaded());
    EXPECT_EQ(library.SupportInfo(), aspi::SupportInfo(aspi::SS_COMP, 1));
    for (int target = 0; target <= 7; ++target)
        EXPECT_EQ(library.DeviceType(target), aspi::SS_NO_DEVICE) << target;

    platform::Event event;
    std::vector<BYTE> data(96);
    aspi::SRB_ExecSCSICmd srb = Request(0, kInquiryCdb, data, event);
    EXPECT_EQ(library.Send(&srb), aspi::SS_NO_DEVICE);
    EXPECT_EQ(library.Abort(&srb), aspi::SS_ABORT_FAIL);
}

TEST(SgDrives, ANodeThatIsNoScsiDeviceIsNoDrive) {
    testwav::TempDir dir;
    testwav::WriteBytes(dir.File("sr2"), std::vector<std::uint8_t>(64));
    aspi::SgDrives drives(dir.Path() + "/sr");
    EXPECT_FALSE(drives.DeviceType(0, 0));
    EXPECT_FALSE(drives.DeviceType(2, 0));
    std::array<BYTE, 96> data{};
    const aspi::Outcome outcome = drives.Execute({2, kInquiryCdb, aspi::Direction::In, data});
    EXPECT_EQ(outcome.status, aspi::SS_ERR);
    EXPECT_NE(outcome.haStat, aspi::HASTAT_OK);
}

TEST(SgDrives, ANodeThatIsThereButCannotBeOpenedIsWhyNoDriveIsFound) {
    testwav::TempDir dev;
    testwav::WriteBytes(dev.File("sr2"), {0});
    testwav::WriteBytes(dev.File("sr4"), {0});
    // As a user outside the drive's group meets the nodes, whoever runs the test.
    aspi::SgDrives drives(dev.Path() + "/sr", [](const std::string& path) {
        if (!std::filesystem::exists(path)) return aspi::SgDrives::OpenNode(path);
        errno = EACCES;
        return -1;
    });
    EXPECT_FALSE(drives.DeviceType(2, 0));
    const std::optional<aspi::NodeError> node = drives.UnopenableNode();
    ASSERT_TRUE(node);
    EXPECT_EQ(node->path, dev.File("sr2"));
    EXPECT_EQ(node->error, EACCES);

    // Nodes that are not there explain nothing; one that opens is no problem either.
    testwav::TempDir empty;
    EXPECT_FALSE(aspi::SgDrives(empty.Path() + "/sr").UnopenableNode());
    EXPECT_FALSE(aspi::SgDrives(dev.Path() + "/sr", aspi::SgDrives::OpenNode).UnopenableNode());
}

TEST(SgDrives, EveryKindOfErrorInTheAnswerFailsTheCommand) {
    const std::array<BYTE, 18> sense = {0x70, 0, 0x03, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x11, 0, 0, 0, 0, 0};

    aspi::Outcome good = aspi::OutcomeOf(Answer(0, 0, 0, 200, 0), sense);
    EXPECT_EQ(good.status, aspi::SS_COMP);
    EXPECT_EQ(good.transferred, 800u) << "a short transfer is no error";
    // Sense that came back with a good status (driver status DRIVER_SENSE) is no error either.
    EXPECT_EQ(aspi::OutcomeOf(Answer(0, 0, 0x08, 0, 18), sense).status, aspi::SS_COMP);

    aspi::Outcome check = aspi::OutcomeOf(Answer(aspi::STATUS_CHKCOND, 0, 0x08, 0, 18), sense);
    EXPECT_EQ(check.status, aspi::SS_ERR);
    EXPECT_EQ(check.targStat, aspi::STATUS_CHKCOND);
    EXPECT_EQ(check.senseLength, 18u);
    EXPECT_EQ(check.sense[2], 0x03);
    EXPECT_EQ(check.transferred, 0u);

    // A good SCSI status does not hide a failure of the adapter or the driver.
    struct Case {
        unsigned short host, driver;
        BYTE haStat;
    };
    for (const Case& c : {Case{0x01, 0, aspi::HASTAT_SEL_TO}, Case{0x03, 0, aspi::HASTAT_COMMAND_TIMEOUT},
                          Case{0x07, 0, aspi::HASTAT_BUS_FREE}, Case{0, 0x06, aspi::HASTAT_TIMEOUT},
                          Case{0, 0x04, aspi::HASTAT_BUS_FREE}}) {
        const aspi::Outcome outcome = aspi::OutcomeOf(Answer(0, c.host, c.driver, 0, 0), sense);
        EXPECT_EQ(outcome.status, aspi::SS_ERR) << c.host << " " << c.driver;
        EXPECT_EQ(outcome.haStat, c.haStat) << c.host << " " << c.driver;
    }
}
