// The names of a disc and of its tracks, whichever source gave them: the disc's CD-Text, a disc
// lookup or what the user typed.
#pragma once

#include <map>
#include <string>

#include "tags/tag_fields.h"

namespace cdda {

struct DiscNames {
    // The album's title in `album`, its performer in `artist`; genre, date, catalogue number,
    // comment and the lookup's identifiers as the disc's.
    tags::TagFields album;
    // By track number: title, artist, composer, ISRC, comment.
    std::map<int, tags::TagFields> tracks;

    bool Empty() const;
    // The tag of one track of a disc of trackCount tracks: the track's own fields over the
    // album's, and "n/N".
    tags::TagFields TrackTags(int track, int trackCount) const;
    // Fills every empty field from the other names: what this record holds wins.
    void FillFrom(const DiscNames& other);
};

// The names of the given track, or an empty record.
const tags::TagFields& TrackNames(const DiscNames& names, int track);

}  // namespace cdda
