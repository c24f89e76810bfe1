// CD-Text as a drive returns it for READ TOC format 0101b: a 4-byte header and 18-byte packs,
// each with its own CRC. The text of the first block in a one-byte character code (ISO 8859-1
// or ASCII) becomes the disc's names; track 0 is the album.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cdda/disc_names.h"

namespace cdda {

inline constexpr int kCdTextPackBytes = 18;
// Eight blocks of at most 256 packs each, after the header.
inline constexpr int kCdTextMaxBytes = 4 + 8 * 256 * kCdTextPackBytes;

// Reads the text of a response of `size` bytes; never reads past them. Packs whose CRC fails are
// left out; what was left out or passed over (double-byte blocks) is described in `note`.
DiscNames ParseCdText(const std::uint8_t* data, std::size_t size, std::string& note);

}  // namespace cdda
