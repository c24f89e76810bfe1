// ID3v2.3 tags, the version read most widely (car stereos and older players included), made
// with TagLib: the file's names, the encoder's name and version, and free-text fields such as
// the ReplayGain values. A tag is rendered to bytes and placed at the front of the MP3 by its
// writer, with room to spare so that it can be rendered again at the same size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tags/tag_fields.h"

namespace tags {

// Free-text (TXXX) fields: description and value.
using UserTexts = std::vector<std::pair<std::string, std::string>>;

// "Velto 0.1": what the tag gives as the encoder (TSSE).
std::string EncoderName();

// The tag of the fields, the user texts and, when withEncoder, the encoder's name; unpadded.
std::vector<std::uint8_t> RenderId3v23(const TagFields& fields, const UserTexts& texts,
                                       bool withEncoder = true);
// The size of the ID3v2 tag that data begins with (header and body), or 0 when it begins
// with none.
std::size_t Id3TagSize(const std::uint8_t* data, std::size_t size);
// Where the frames of an ID3v2.3 tag end and its padding begins.
std::size_t Id3FramesEnd(const std::vector<std::uint8_t>& tag);
// Makes the tag exactly size bytes long with padding; false (and the tag unchanged) when its
// frames need more.
bool PadId3Tag(std::vector<std::uint8_t>& tag, std::size_t size);
// Adds the frames of another rendered tag to tag, inside its padding when they fit there.
void AppendId3Frames(std::vector<std::uint8_t>& tag, const std::vector<std::uint8_t>& framesOf);

}  // namespace tags
