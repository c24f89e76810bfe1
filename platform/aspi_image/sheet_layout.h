// The sectors of a disc that a CUE sheet describes: its files back to back (BINARY files as raw
// 2352-byte sectors, WAVE files by their audio data), with the silences of PREGAP and POSTGAP
// between them, and where each track begins on that disc.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/aspi_image/cue_sheet.h"
#include "platform/wnaspi32.h"

namespace aspi {

class SheetLayout {
  public:
    // Null when a file cannot be opened, a WAVE file is not CD audio or the indexes do not fit
    // the files; why says which.
    static std::unique_ptr<SheetLayout> Build(const CueSheet& sheet, std::string& why);

    ~SheetLayout();
    SheetLayout(const SheetLayout&) = delete;
    SheetLayout& operator=(const SheetLayout&) = delete;

    std::int32_t Sectors() const { return sectors_; }
    // Where each of the sheet's tracks begins (its INDEX 01), in sheet order.
    const std::vector<std::int32_t>& TrackStarts() const { return trackStarts_; }
    // count sectors from lsn on; the caller keeps them inside the disc.
    bool Read(std::int32_t lsn, int count, std::span<BYTE> out) const;

  private:
    struct Source {
        int fd = -1;
        std::int64_t dataOffset = 0;  // where the audio or the sectors begin in the file
        std::int64_t dataBytes = 0;
    };
    struct Segment {
        std::int32_t start = 0, sectors = 0;
        int source = -1;  // -1: silence
        std::int32_t sourceSector = 0;
    };

    SheetLayout() = default;
    bool OpenSources(const CueSheet& sheet, std::string& why);
    bool Place(const CueSheet& sheet, std::string& why);
    bool ReadSegment(const Segment& segment, std::int32_t from, int count, BYTE* out) const;

    std::vector<Source> sources_;
    std::vector<Segment> segments_;
    std::vector<std::int32_t> trackStarts_;
    std::int32_t sectors_ = 0;
};

}  // namespace aspi
