// The table of contents as a drive returns it to READ TOC: any bytes, both as they are and in
// the fixed response buffer the drive command reads them into.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cdda/cd_reader.h"

namespace {

void CheckTable(int audio, const cdda::TrackEntry (&table)[cdda::kMaxTracks]) {
    if (audio < 0 || audio > cdda::kMaxTracks) std::abort();
    int listedAudio = 0;
    for (const cdda::TrackEntry& e : table) {
        if (e.firstSector == 0 && e.lastSector == 0 && e.trackNumber == 0) continue;
        // Every listed track covers at least one sector: the extractor counts on it.
        if (e.lastSector < e.firstSector) std::abort();
        if (e.IsAudio()) ++listedAudio;
    }
    if (listedAudio > audio) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cdda::TrackEntry table[cdda::kMaxTracks] = {};
    CheckTable(cdda::ParseTocResponse(data, size, table), table);

    // The drive command's buffer: the response at its start, zeros after it.
    std::uint8_t response[cdda::kTocBytes] = {};
    std::memcpy(response, data, std::min(size, sizeof response));
    cdda::TrackEntry fromBuffer[cdda::kMaxTracks] = {};
    CheckTable(cdda::ParseTocResponse(response, sizeof response, fromBuffer), fromBuffer);
    return 0;
}
