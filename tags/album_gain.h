// The album's gain and peak added to MP3s that are already finished, when the last track of
// the album is known: each file is written anew beside itself and renamed over the old one, so
// that a crash or a full disk leaves the old file as it was.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tags/loudness.h"

namespace tags {

// Adds REPLAYGAIN_ALBUM_GAIN and _PEAK to the file's ID3v2 tag and the album gain to its Info
// frame, where it has them. False when the file could not be read or written again; it is
// then unchanged.
bool WriteAlbumGain(const std::string& path, const AlbumLoudness& album);

// One finished MP3 of an album and the loudness measured while it was encoded.
struct AlbumTrack {
    std::string path;
    std::shared_ptr<const LoudnessMeter> loudness;
};
// Measures the tracks as one album and writes its gain into each; returns the files that could
// not be rewritten.
std::vector<std::string> WriteAlbumGains(const std::vector<AlbumTrack>& tracks);

}  // namespace tags
