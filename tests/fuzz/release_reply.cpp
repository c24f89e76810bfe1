// The disc lookup's reply as a server returns it: any bytes. Releases come out with tracks 1-99
// only, or none with a reason.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "lookup/release_reply.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const std::vector<lookup::Release> releases =
        lookup::ParseReleaseReply(std::string(reinterpret_cast<const char*>(data), size), "disc-id", error);
    if (!releases.empty() && !error.empty()) std::abort();
    for (const lookup::Release& r : releases)
        for (const auto& [track, fields] : r.names.tracks)
            if (track < 1 || track > 99) std::abort();
    return 0;
}
