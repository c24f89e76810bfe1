#include "cdda/disc_names.h"

#include <algorithm>

namespace cdda {

namespace {

bool Blank(const tags::TagFields& f) {
    return f.title.empty() && f.artist.empty() && f.album.empty() && f.albumArtist.empty() &&
           f.composer.empty() && f.date.empty() && f.genre.empty() && f.comment.empty() && f.track.empty() &&
           f.isrc.empty() && f.catalog.empty() && f.musicBrainzAlbumId.empty() && f.musicBrainzDiscId.empty();
}

}  // namespace

bool DiscNames::Empty() const {
    return Blank(album) &&
           std::all_of(tracks.begin(), tracks.end(), [](const auto& t) { return Blank(t.second); });
}

const tags::TagFields& TrackNames(const DiscNames& names, int track) {
    static const tags::TagFields kNone;
    const auto it = names.tracks.find(track);
    return it == names.tracks.end() ? kNone : it->second;
}

tags::TagFields DiscNames::TrackTags(int track, int trackCount) const {
    tags::TagFields tags = TrackNames(*this, track);
    tags.album = album.album;
    tags.albumArtist = album.artist;
    if (tags.artist.empty()) tags.artist = album.artist;
    if (tags.genre.empty()) tags.genre = album.genre;
    if (tags.date.empty()) tags.date = album.date;
    tags.catalog = album.catalog;
    tags.musicBrainzAlbumId = album.musicBrainzAlbumId;
    tags.musicBrainzDiscId = album.musicBrainzDiscId;
    tags.track = std::to_string(track);
    if (trackCount > 0) tags.track.append("/").append(std::to_string(trackCount));
    return tags;
}

void DiscNames::FillFrom(const DiscNames& other) {
    album.FillFrom(other.album);
    for (const auto& [track, fields] : other.tracks)
        tracks[track].FillFrom(fields);
}

}  // namespace cdda
