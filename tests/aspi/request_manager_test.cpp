// The request handling both pass-through libraries share, on drives of the test's own.
#include "platform/aspi/request_manager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "tests/aspi/aspi_client.h"

using namespace testaspi;
using aspi::Outcome;

namespace {

// One drive on target 1 whose commands run until the test lets them end; each fills the data
// coming in with 0xAB and remembers the first byte of the data going out.
class GatedDrives final : public aspi::Drives {
  public:
    std::optional<BYTE> DeviceType(int target, int lun) override {
        return Present(target, lun) ? std::optional<BYTE>(aspi::DTYPE_CDROM) : std::nullopt;
    }
    bool Present(int target, int lun) override { return target == 1 && lun == 0; }
    Outcome Execute(const aspi::Command& command) override {
        started.Set();
        release.Wait();
        if (command.direction == aspi::Direction::Out && !command.data.empty()) written = command.data[0];
        std::fill(command.data.begin(), command.data.end(), BYTE{0xAB});
        return Outcome::Done(command.data.size());
    }

    platform::Event started, release{true};
    std::atomic<int> written{-1};
};

}  // namespace

TEST(RequestManager, AbortingARunningRequestLetsGoOfItsBlockAndBuffer) {
    auto drives = std::make_shared<GatedDrives>();
    aspi::RequestManager manager(drives);
    platform::Event event;

    auto buffer = std::make_unique<std::vector<BYTE>>(64, 0);
    auto srb = std::make_unique<aspi::SRB_ExecSCSICmd>(Request(1, kInquiryCdb, *buffer, event));
    ASSERT_EQ(manager.Send(srb.get()), aspi::SS_PENDING);
    ASSERT_EQ(drives->started.Wait(5000), platform::WAIT_OBJECT_0);

    aspi::SRB_Abort abort{};
    abort.SRB_Cmd = aspi::SC_ABORT_SRB;
    abort.SRB_ToAbort = srb.get();
    EXPECT_EQ(manager.Send(&abort), aspi::SS_COMP);
    EXPECT_EQ(srb->SRB_Status, aspi::SS_ABORTED);
    // The caller lets go of both at once; the sanitizer build catches any write to them.
    srb.reset();
    buffer.reset();
    drives->release.Set();

    // The next request runs only once the drive has finished the aborted one.
    std::vector<BYTE> out(8, 0x5A);
    aspi::SRB_ExecSCSICmd next = Request(1, kInquiryCdb, out, event);
    next.SRB_Flags = aspi::SRB_DIR_OUT | aspi::SRB_EVENT_NOTIFY;
    ASSERT_EQ(manager.Send(&next), aspi::SS_PENDING);
    ASSERT_EQ(event.Wait(5000), platform::WAIT_OBJECT_0);
    EXPECT_EQ(next.SRB_Status, aspi::SS_COMP);
    EXPECT_EQ(drives->written, 0x5A);
    EXPECT_EQ(out[0], 0x5A) << "data going out is not written back";
}

TEST(RequestManager, MalformedRequestsAreRefusedAtOnce) {
    auto drives = std::make_shared<GatedDrives>();
    drives->release.Set();
    aspi::RequestManager manager(drives);
    platform::Event event;
    std::vector<BYTE> data(16);
    auto refused = [&](auto change) {
        aspi::SRB_ExecSCSICmd srb = Request(1, kInquiryCdb, data, event);
        change(srb);
        const DWORD result = manager.Send(&srb);
        EXPECT_EQ(srb.SRB_Status, result);
        return result;
    };
    using Srb = aspi::SRB_ExecSCSICmd;
    EXPECT_EQ(refused([](Srb& s) { s.SRB_HaId = 1; }), aspi::SS_INVALID_HA);
    EXPECT_EQ(refused([](Srb& s) { s.SRB_Target = 2; }), aspi::SS_NO_DEVICE);
    EXPECT_EQ(refused([](Srb& s) { s.SRB_Lun = 1; }), aspi::SS_NO_DEVICE);
    EXPECT_EQ(refused([](Srb& s) { s.SRB_CDBLen = 0; }), aspi::SS_INVALID_SRB);
    EXPECT_EQ(refused([](Srb& s) { s.SRB_CDBLen = 17; }), aspi::SS_INVALID_SRB);
    EXPECT_EQ(refused([](Srb& s) { s.SRB_Flags |= aspi::SRB_DIR_OUT; }), aspi::SS_INVALID_SRB);
    EXPECT_EQ(refused([](Srb& s) { s.SRB_BufPointer = nullptr; }), aspi::SS_INVALID_SRB);
    EXPECT_EQ(refused([](Srb& s) { s.SRB_PostProc = nullptr; }), aspi::SS_INVALID_SRB);
    EXPECT_EQ(refused([](Srb& s) { s.SRB_BufLen = aspi::kMaxTransfer + 1; }), aspi::SS_BUFFER_TO_BIG);
    EXPECT_EQ(manager.Send(nullptr), aspi::SS_INVALID_SRB);
    aspi::SRB_Header unknown{};
    unknown.SRB_Cmd = 0x7F;
    EXPECT_EQ(manager.Send(&unknown), aspi::SS_INVALID_CMD);
    EXPECT_EQ(event.Wait(0), platform::WAIT_TIMEOUT);
}
