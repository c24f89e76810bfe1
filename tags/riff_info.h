// The names a WAV file carries in its LIST/INFO chunk, as a tag record. Text is taken as UTF-8
// where it is valid UTF-8 and as Latin-1 otherwise; a field ends at its first zero byte or at
// the end of its chunk, whichever comes first. Damaged chunks give what could be read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tags/tag_fields.h"

namespace tags {

// The fields of a RIFF file's LIST/INFO chunks; empty when there are none or the file cannot be
// read. Never reads more than a bounded amount, whatever the chunks claim.
TagFields ReadRiffInfo(const std::string& path);
// The fields of the body of one LIST/INFO chunk (the bytes after "INFO"), added to fields.
void ParseInfoList(const std::uint8_t* data, std::size_t size, TagFields& fields);
// The bytes as UTF-8: themselves when they are valid UTF-8, else read as Latin-1.
std::string TextAsUtf8(const std::uint8_t* data, std::size_t size);

}  // namespace tags
