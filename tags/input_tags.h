// The names an input file carries itself, whatever its format: the one place the encoders ask.
#pragma once

#include <string>

#include "input/input_tags.h"
#include "tags/riff_info.h"
#include "tags/tag_fields.h"

namespace tags {

// A WAV's LIST/INFO chunk first; then what the tag library and libsndfile find (a FLAC's
// comments, an AIFF's text chunks, an Ogg file's comments).
inline TagFields InputTags(const std::string& path) {
    TagFields fields = ReadRiffInfo(path);
    fields.FillFrom(input::ReadInputTags(path));
    return fields;
}

}  // namespace tags
