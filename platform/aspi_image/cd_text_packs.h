// The CD-Text a drive would read from the lead-in of a disc with this text: one block in
// ISO 8859-1, packs of 18 bytes with their CRCs, as READ TOC format 0101b returns them.
#pragma once

#include <vector>

#include "platform/aspi_image/disc_image.h"

namespace aspi {

// The packs (without the response header) of the disc's text; none when it has no text.
std::vector<BYTE> BuildCdTextPacks(const DiscText& text, BYTE firstTrack, BYTE lastTrack);

}  // namespace aspi
