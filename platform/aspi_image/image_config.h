// The set-up of the virtual drives, from two environment variables:
//   VELTO_CD_IMAGES="0=/path/a.cue,3=/path/b.cue"  a disc image in each of these targets;
//   VELTO_CD_FAULTS="jitter=N,seed=N,fail=LBA,pending=LBA,delay=MS,..."  faults that READ CD shows.
// Entries that cannot be read are ignored.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/aspi/drives.h"

namespace aspi {

struct FaultPlan {
    int jitter = 0;                     // each read lands up to this many stereo frames early or late
    std::uint32_t seed = 1;             // of the jitter's random sequence
    std::vector<std::int32_t> failing;  // sectors that cannot be read
    std::vector<std::int32_t> pending;  // sectors whose read never ends
    int delayMs = 0;                    // every READ CD takes this long, as a slow drive's
};

struct ImageConfig {
    std::array<std::optional<std::string>, kTargets> images;  // per target: the image path, if any
    FaultPlan faults;
};

ImageConfig ParseImageConfig(const std::string& images, const std::string& faults);

}  // namespace aspi
