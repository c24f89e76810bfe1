// The SCSI operation codes and sense codes that the pass-through libraries deal in.
#pragma once

#include "platform/wnaspi32.h"

namespace aspi::scsi {

inline constexpr BYTE kTestUnitReady = 0x00;
inline constexpr BYTE kInquiry = 0x12;
inline constexpr BYTE kReadToc = 0x43;
inline constexpr BYTE kReadCd = 0xBE;

inline constexpr int kInquiryLength = 96;

// Sense keys.
inline constexpr BYTE kNotReady = 0x02;
inline constexpr BYTE kMediumError = 0x03;
inline constexpr BYTE kIllegalRequest = 0x05;

// Additional sense codes.
inline constexpr BYTE kUnrecoveredReadError = 0x11;
inline constexpr BYTE kInvalidOperationCode = 0x20;
inline constexpr BYTE kLbaOutOfRange = 0x21;
inline constexpr BYTE kInvalidFieldInCdb = 0x24;
inline constexpr BYTE kMediumNotPresent = 0x3A;
inline constexpr BYTE kIllegalModeForTrack = 0x64;

}  // namespace aspi::scsi
