// The names a file carries: what an input's own tags, a CD's text or a disc lookup give, and
// what the MP3's tag is written from. Every field is UTF-8; an empty field is not written.
#pragma once

#include <string>

namespace tags {

struct TagFields {
    std::string title;
    std::string artist;
    std::string album;
    std::string albumArtist;
    std::string composer;
    std::string date;
    std::string genre;
    std::string comment;
    // "n" or "n/N".
    std::string track;
    std::string isrc;
    std::string catalog;
    std::string musicBrainzAlbumId;
    std::string musicBrainzDiscId;

    // Fills every empty field of this record from the other one: the first source named wins.
    void FillFrom(const TagFields& other) {
        auto fill = [](std::string& mine, const std::string& theirs) {
            if (mine.empty()) mine = theirs;
        };
        fill(title, other.title);
        fill(artist, other.artist);
        fill(album, other.album);
        fill(albumArtist, other.albumArtist);
        fill(composer, other.composer);
        fill(date, other.date);
        fill(genre, other.genre);
        fill(comment, other.comment);
        fill(track, other.track);
        fill(isrc, other.isrc);
        fill(catalog, other.catalog);
        fill(musicBrainzAlbumId, other.musicBrainzAlbumId);
        fill(musicBrainzDiscId, other.musicBrainzDiscId);
    }
};

}  // namespace tags
