// The names an audio file carries itself: a FLAC's or an Ogg file's comments, an AIFF's ID3
// chunk or its name and author chunks, and the strings libsndfile finds in other formats.
#pragma once

#include <string>

#include "tags/tag_fields.h"

namespace input {

// Title, artist, album, album artist, composer, track ("n" or "n/N"), date, genre and comment
// as UTF-8; fields the file does not carry stay empty, as does the whole record for a file
// that cannot be read.
tags::TagFields ReadInputTags(const std::string& path);

}  // namespace input
