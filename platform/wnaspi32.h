// The SCSI pass-through interface of the CD transport: the request blocks and codes of the
// ASPI for Win32 interface, laid out byte for byte as it publishes them (packed), with the two
// entry points a transport library exports. The post-procedure field of an execute request
// carries a pointer to a platform::Event that the library signals when the request completes.
#pragma once

#include <cstdint>

namespace aspi {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;

// Command codes.
inline constexpr BYTE SC_HA_INQUIRY = 0x00;
inline constexpr BYTE SC_GET_DEV_TYPE = 0x01;
inline constexpr BYTE SC_EXEC_SCSI_CMD = 0x02;
inline constexpr BYTE SC_ABORT_SRB = 0x03;

// Request status (the SRB_Status byte and the return value of SendASPI32Command).
inline constexpr BYTE SS_PENDING = 0x00;
inline constexpr BYTE SS_COMP = 0x01;
inline constexpr BYTE SS_ABORTED = 0x02;
inline constexpr BYTE SS_ABORT_FAIL = 0x03;
inline constexpr BYTE SS_ERR = 0x04;
inline constexpr BYTE SS_INVALID_CMD = 0x80;
inline constexpr BYTE SS_INVALID_HA = 0x81;
inline constexpr BYTE SS_NO_DEVICE = 0x82;
inline constexpr BYTE SS_INVALID_SRB = 0xE0;
inline constexpr BYTE SS_BUFFER_TO_BIG = 0xE6;
inline constexpr BYTE SS_FAILED_INIT = 0xE4;
inline constexpr BYTE SS_NO_ADAPTERS = 0xE8;

// Request flags.
inline constexpr BYTE SRB_POSTING = 0x01;
inline constexpr BYTE SRB_DIR_IN = 0x08;
inline constexpr BYTE SRB_DIR_OUT = 0x10;
inline constexpr BYTE SRB_EVENT_NOTIFY = 0x40;

// Host adapter status (SRB_HaStat) and target status (SRB_TargStat) values used here.
inline constexpr BYTE HASTAT_OK = 0x00;
inline constexpr BYTE HASTAT_TIMEOUT = 0x09;
inline constexpr BYTE HASTAT_COMMAND_TIMEOUT = 0x0B;
inline constexpr BYTE HASTAT_BUS_RESET = 0x0E;
inline constexpr BYTE HASTAT_SEL_TO = 0x11;
inline constexpr BYTE HASTAT_DO_DU = 0x12;
inline constexpr BYTE HASTAT_BUS_FREE = 0x13;
inline constexpr BYTE STATUS_GOOD = 0x00;
inline constexpr BYTE STATUS_CHKCOND = 0x02;

// Peripheral device types.
inline constexpr BYTE DTYPE_CDROM = 0x05;

inline constexpr int SENSE_LEN = 14;

#pragma pack(push, 1)

struct SRB_Header {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
};

struct SRB_GDEVBlock {
    BYTE SRB_Cmd;  // SC_GET_DEV_TYPE
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    BYTE SRB_DeviceType;
    BYTE SRB_Rsvd1;
};

struct SRB_ExecSCSICmd {
    BYTE SRB_Cmd;  // SC_EXEC_SCSI_CMD
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_BufLen;
    BYTE* SRB_BufPointer;
    BYTE SRB_SenseLen;
    BYTE SRB_CDBLen;
    BYTE SRB_HaStat;
    BYTE SRB_TargStat;
    void* SRB_PostProc;  // with SRB_EVENT_NOTIFY: a platform::Event*
    BYTE SRB_Rsvd2[20];
    BYTE CDBByte[16];
    BYTE SenseArea[SENSE_LEN + 2];
};

struct SRB_Abort {
    BYTE SRB_Cmd;  // SC_ABORT_SRB
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    void* SRB_ToAbort;
};

#pragma pack(pop)

// The entry points, exported with C linkage under these names.
using GetASPI32SupportInfoFn = DWORD (*)();
using SendASPI32CommandFn = DWORD (*)(void* srb);
// This project's own addition, exported by the pass-through to real drives only: why no drive
// may be there. It returns the errno with which a drive's device node that is there failed to
// open (0 when none did) and writes that node's path, NUL-terminated, into path.
using GetDriveNodeErrorFn = DWORD (*)(char* path, DWORD size);

// GetASPI32SupportInfo's word: bits 8-15 the status, bits 0-7 the number of host adapters.
constexpr DWORD SupportInfo(BYTE status, BYTE adapters) {
    return (static_cast<DWORD>(status) << 8) | adapters;
}

}  // namespace aspi

extern "C" {
aspi::DWORD GetASPI32SupportInfo();
aspi::DWORD SendASPI32Command(void* srb);
}
