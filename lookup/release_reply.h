// The reply of the MusicBrainz web service (version 2, JSON) to a disc ID lookup
// (/ws/2/discid/<id>?inc=artist-credits+recordings): the releases that hold the disc, each with
// the names of the medium that carries it.
#pragma once

#include <string>
#include <vector>

#include "cdda/disc_names.h"

namespace lookup {

struct Release {
    std::string id, title, artist, date, country;
    cdda::DiscNames names;  // album, artist, date, identifiers and each track's title and artist
};

// The releases of a reply; none with the reason in `error` when the body is not such a reply.
// Fields that are missing or of another type are left empty.
std::vector<Release> ParseReleaseReply(const std::string& body, const std::string& discId,
                                       std::string& error);

}  // namespace lookup
