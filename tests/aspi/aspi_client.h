// A small client of the pass-through libraries for tests: loads one from the build's bin
// folder and sends it request blocks as the CD transport does.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/shared_library.h"
#include "platform/wnaspi32.h"

namespace testaspi {

using aspi::BYTE;
using aspi::DWORD;

class Library {
  public:
    explicit Library(const std::string& file) {
        if (!library_.Load(std::string(VELTO_BIN_DIR) + "/" + file)) ADD_FAILURE() << library_.Error();
        supportInfo_ = library_.Function<aspi::GetASPI32SupportInfoFn>("GetASPI32SupportInfo");
        send_ = library_.Function<aspi::SendASPI32CommandFn>("SendASPI32Command");
    }
    bool Loaded() const { return supportInfo_ && send_; }
    DWORD SupportInfo() const { return supportInfo_(); }
    DWORD Send(void* srb) const { return send_(srb); }

    // SC_GET_DEV_TYPE: the return value; the type lands in *type.
    DWORD DeviceType(int target, BYTE* type = nullptr, int lun = 0, int adapter = 0) const {
        aspi::SRB_GDEVBlock srb{};
        srb.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
        srb.SRB_HaId = static_cast<BYTE>(adapter);
        srb.SRB_Target = static_cast<BYTE>(target);
        srb.SRB_Lun = static_cast<BYTE>(lun);
        const DWORD result = Send(&srb);
        if (type) *type = srb.SRB_DeviceType;
        return result;
    }

    DWORD Abort(void* request) const {
        aspi::SRB_Abort srb{};
        srb.SRB_Cmd = aspi::SC_ABORT_SRB;
        srb.SRB_ToAbort = request;
        return Send(&srb);
    }

  private:
    platform::SharedLibrary library_;
    aspi::GetASPI32SupportInfoFn supportInfo_ = nullptr;
    aspi::SendASPI32CommandFn send_ = nullptr;
};

// An execute request as the transport fills it: data in, event notification, 14 bytes of sense.
inline aspi::SRB_ExecSCSICmd Request(int target, std::span<const BYTE> cdb, std::vector<BYTE>& buffer,
                                     platform::Event& event) {
    aspi::SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = aspi::SC_EXEC_SCSI_CMD;
    srb.SRB_Target = static_cast<BYTE>(target);
    srb.SRB_Flags = aspi::SRB_DIR_IN | aspi::SRB_EVENT_NOTIFY;
    srb.SRB_BufLen = static_cast<DWORD>(buffer.size());
    srb.SRB_BufPointer = buffer.data();
    srb.SRB_SenseLen = aspi::SENSE_LEN;
    srb.SRB_CDBLen = static_cast<BYTE>(cdb.size());
    srb.SRB_PostProc = &event;
    std::copy(cdb.begin(), cdb.end(), srb.CDBByte);
    return srb;
}

inline constexpr std::array<BYTE, 6> kInquiryCdb = {0x12, 0, 0, 0, 0x60, 0};

inline std::array<BYTE, 10> ReadTocCdb(int allocation) {
    return {0x43, 0, 0, 0, 0, 0, 0, static_cast<BYTE>(allocation >> 8), static_cast<BYTE>(allocation), 0};
}

inline std::array<BYTE, 12> ReadCdCdb(int lba, int count) {
    const auto u = static_cast<std::uint32_t>(lba);
    return {0xBE,
            0,
            static_cast<BYTE>(u >> 24),
            static_cast<BYTE>(u >> 16),
            static_cast<BYTE>(u >> 8),
            static_cast<BYTE>(u),
            0,
            0,
            static_cast<BYTE>(count),
            0x10,
            0,
            0};
}

// Sends the request and waits for it as the transport does; its final status byte.
inline BYTE Execute(const Library& library, aspi::SRB_ExecSCSICmd& srb) {
    const DWORD sent = library.Send(&srb);
    if (sent != aspi::SS_PENDING && sent != aspi::SS_COMP) return static_cast<BYTE>(sent);
    if (srb.SRB_Status == aspi::SS_PENDING) static_cast<platform::Event*>(srb.SRB_PostProc)->Wait(5000);
    return srb.SRB_Status;
}

}  // namespace testaspi
