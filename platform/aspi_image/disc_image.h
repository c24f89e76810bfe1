// A disc image: a CUE sheet with its BINARY and WAVE files, or through libcdio a cdrdao TOC file or
// an NRG image. Its table of contents, its raw 2352-byte sectors and the text a drive would show
// as CD-Text.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/aspi_image/cue_sheet.h"
#include "platform/aspi_image/sheet_layout.h"
#include "platform/wnaspi32.h"

struct _CdIo;

namespace aspi {

inline constexpr int kSectorBytes = 2352;
inline constexpr int kFramesPerSector = kSectorBytes / 4;  // stereo frames of two 16-bit samples
inline constexpr BYTE kLeadOutTrack = 0xAA;
inline constexpr BYTE kControlData = 0x04;

struct TrackText {
    BYTE track = 0;
    CueText text;
    std::string isrc;
};

// What the disc tells of itself besides its audio: the album's text, its catalogue number and
// each track's text and ISRC.
struct DiscText {
    CueText album;
    std::string catalog;
    std::vector<TrackText> tracks;

    bool Empty() const;
};

struct TocEntry {
    BYTE track = 0;
    BYTE control = 0;  // the control nibble: 0x04 data, 0x02 copy permitted, 0x01 pre-emphasis
    std::int32_t lsn = 0;
};

class DiscImage {
  public:
    // Null when the image cannot be opened or holds no usable table of contents; why says so.
    static std::unique_ptr<DiscImage> Open(const std::string& path, std::string& why);

    BYTE FirstTrack() const { return tracks_.front().track; }
    BYTE LastTrack() const { return tracks_.back().track; }
    // The tracks in order, without the lead-out.
    std::span<const TocEntry> Tracks() const { return tracks_; }
    std::int32_t LeadOut() const { return leadOut_; }
    // Whether any sector of [lsn, lsn + count) lies in a data track.
    bool CoversData(std::int32_t lsn, int count) const;
    // Reads count raw sectors from lsn on, all of them before the lead-out, into out.
    bool ReadRaw(std::int32_t lsn, int count, std::span<BYTE> out) const;
    const DiscText& Text() const { return text_; }

  private:
    struct Closer {
        void operator()(_CdIo* cdio) const;
    };

    bool ReadToc();
    bool UseSheet(const std::string& path, std::string& why);

    std::unique_ptr<_CdIo, Closer> cdio_;  // images other than CUE sheets
    std::unique_ptr<SheetLayout> sheet_;   // CUE sheets
    DiscText text_;
    std::vector<TocEntry> tracks_;
    std::int32_t leadOut_ = 0;
};

}  // namespace aspi
