// What a SCSI pass-through library plugs into its request handling: the drives of its one host
// adapter, asked for their device type and given one SCSI command at a time.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>

#include "platform/wnaspi32.h"

namespace aspi {

// Targets 0..6 of host adapter 0 can hold a drive; 7 is the adapter itself.
inline constexpr int kTargets = 7;

enum class Direction { None, In, Out };

// How one SCSI command ended, as the host adapter reports it in the request block.
struct Outcome {
    BYTE status = SS_COMP;  // SS_COMP or SS_ERR
    BYTE haStat = HASTAT_OK;
    BYTE targStat = STATUS_GOOD;
    std::array<BYTE, 18> sense{};  // fixed-format sense data
    std::size_t senseLength = 0;
    std::size_t transferred = 0;  // bytes of data that came back from the drive
    bool held = false;            // the command never ends by itself: only an abort ends it

    static Outcome Done(std::size_t transferred);
    // A check condition with fixed-format sense data: sense key, additional sense code and qualifier.
    static Outcome CheckCondition(BYTE key, BYTE asc, BYTE ascq = 0);
    static Outcome AdapterError(BYTE haStat);
    static Outcome Held();
};

struct Command {
    int target = 0;
    std::span<const BYTE> cdb;
    Direction direction = Direction::None;
    // The library's own buffer of the request's length: it holds the data going out and receives
    // the data coming in. Empty when the request moves no data.
    std::span<BYTE> data;
};

class Drives {
  public:
    virtual ~Drives() = default;
    // The peripheral device type at this target and LUN, or nothing when no device answers there.
    virtual std::optional<BYTE> DeviceType(int target, int lun) = 0;
    // Whether a command may be sent there; cheaper than DeviceType, which may ask the drive.
    virtual bool Present(int target, int lun) = 0;
    // Runs one command to its end. Called from one thread at a time, the library's worker.
    virtual Outcome Execute(const Command& command) = 0;
};

}  // namespace aspi
