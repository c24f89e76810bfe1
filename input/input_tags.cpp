#include "input/input_tags.h"

#include <sndfile.h>
#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

namespace input {

namespace {

tags::TagFields FromTagLib(const std::string& path) {
    tags::TagFields t;
    TagLib::FileRef ref(path.c_str(), false);
    if (ref.isNull() || !ref.file()) return t;
    const TagLib::PropertyMap properties = ref.file()->properties();
    auto take = [&](const char* key, std::string& field) {
        const auto it = properties.find(key);
        if (it != properties.end() && !it->second.isEmpty()) field = it->second.front().to8Bit(true);
    };
    take("TITLE", t.title);
    take("ARTIST", t.artist);
    take("ALBUM", t.album);
    take("ALBUMARTIST", t.albumArtist);
    take("COMPOSER", t.composer);
    take("TRACKNUMBER", t.track);
    take("DATE", t.date);
    take("GENRE", t.genre);
    take("COMMENT", t.comment);
    return t;
}

tags::TagFields FromSndfile(const std::string& path) {
    tags::TagFields t;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return t;
    auto take = [&](int which, std::string& field) {
        if (const char* s = sf_get_string(file, which)) field = s;
    };
    take(SF_STR_TITLE, t.title);
    take(SF_STR_ARTIST, t.artist);
    take(SF_STR_ALBUM, t.album);
    take(SF_STR_TRACKNUMBER, t.track);
    take(SF_STR_DATE, t.date);
    take(SF_STR_GENRE, t.genre);
    take(SF_STR_COMMENT, t.comment);
    sf_close(file);
    return t;
}

}  // namespace

tags::TagFields ReadInputTags(const std::string& path) {
    // The tag library knows the richer tags; libsndfile also reads the AIFF's own text chunks.
    tags::TagFields t = FromTagLib(path);
    t.FillFrom(FromSndfile(path));
    return t;
}

}  // namespace input
