// The names an input file carries itself, whatever its format: the one place the encoders ask.
#pragma once

#include <string>

#include "tags/riff_info.h"
#include "tags/tag_fields.h"

namespace tags {

inline TagFields InputTags(const std::string& path) {
    return ReadRiffInfo(path);
}

}  // namespace tags
