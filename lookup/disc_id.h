// The MusicBrainz disc ID of a disc's table of contents.
#pragma once

#include <string>

#include "cdda/cd_reader.h"

namespace lookup {

// The ID of the disc whose table is given (as READ TOC filled it); empty when the table holds no
// audio track. A last track of data (an enhanced CD) is left out as the ID asks: the audio
// session then ends 11400 sectors before it.
std::string DiscIdOf(const cdda::TrackEntry (&table)[cdda::kMaxTracks]);

}  // namespace lookup
