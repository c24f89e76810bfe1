// A disc image read through libcdio (CUE/BIN, cdrdao TOC, NRG): its table of contents and its
// raw 2352-byte sectors.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/wnaspi32.h"

struct _CdIo;

namespace aspi {

inline constexpr int kSectorBytes = 2352;
inline constexpr int kFramesPerSector = kSectorBytes / 4;  // stereo frames of two 16-bit samples
inline constexpr BYTE kLeadOutTrack = 0xAA;
inline constexpr BYTE kControlData = 0x04;

struct TocEntry {
    BYTE track = 0;
    BYTE control = 0;  // the control nibble: 0x04 data, 0x02 copy permitted, 0x01 pre-emphasis
    std::int32_t lsn = 0;
};

class DiscImage {
  public:
    // Null when the image cannot be opened or holds no usable table of contents.
    static std::unique_ptr<DiscImage> Open(const std::string& path);

    BYTE FirstTrack() const { return tracks_.front().track; }
    BYTE LastTrack() const { return tracks_.back().track; }
    // The tracks in order, without the lead-out.
    std::span<const TocEntry> Tracks() const { return tracks_; }
    std::int32_t LeadOut() const { return leadOut_; }
    // Whether any sector of [lsn, lsn + count) lies in a data track.
    bool CoversData(std::int32_t lsn, int count) const;
    // Reads count raw sectors from lsn on, all of them before the lead-out, into out.
    bool ReadRaw(std::int32_t lsn, int count, std::span<BYTE> out) const;

  private:
    struct Closer {
        void operator()(_CdIo* cdio) const;
    };

    bool ReadToc();

    std::unique_ptr<_CdIo, Closer> cdio_;
    std::vector<TocEntry> tracks_;
    std::int32_t leadOut_ = 0;
};

}  // namespace aspi
