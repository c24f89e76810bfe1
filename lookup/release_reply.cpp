#include "lookup/release_reply.h"

#include <nlohmann/json.hpp>

namespace lookup {

namespace {

using Json = nlohmann::json;

std::string Text(const Json& object, const char* key) {
    if (!object.is_object()) return "";
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : "";
}

const Json& Array(const Json& object, const char* key) {
    static const Json kEmpty = Json::array();
    if (!object.is_object()) return kEmpty;
    const auto it = object.find(key);
    return it != object.end() && it->is_array() ? *it : kEmpty;
}

// An artist credit as it is printed: each name followed by its join phrase.
std::string Credit(const Json& object) {
    std::string credit;
    for (const Json& part : Array(object, "artist-credit"))
        credit += Text(part, "name") + Text(part, "joinphrase");
    return credit;
}

// The medium that holds the disc, or the first one when none says so.
const Json* MediumOf(const Json& release, const std::string& discId) {
    const Json& media = Array(release, "media");
    for (const Json& medium : media)
        for (const Json& disc : Array(medium, "discs"))
            if (Text(disc, "id") == discId) return &medium;
    return media.empty() ? nullptr : &media[0];
}

Release ReadRelease(const Json& r, const std::string& discId) {
    Release release{Text(r, "id"), Text(r, "title"), Credit(r), Text(r, "date"), Text(r, "country"), {}};
    tags::TagFields& album = release.names.album;
    album.album = release.title;
    album.artist = release.artist;
    album.date = release.date;
    album.musicBrainzAlbumId = release.id;
    album.musicBrainzDiscId = discId;
    const Json* medium = MediumOf(r, discId);
    if (!medium) return release;
    for (const Json& track : Array(*medium, "tracks")) {
        if (!track.is_object()) continue;
        const auto position = track.find("position");
        if (position == track.end() || !position->is_number_integer()) continue;
        const int n = position->get<int>();
        if (n < 1 || n > 99) continue;
        tags::TagFields& t = release.names.tracks[n];
        t.title = Text(track, "title");
        if (t.title.empty()) t.title = Text(track.value("recording", Json::object()), "title");
        t.artist = Credit(track);
    }
    return release;
}

}  // namespace

std::vector<Release> ParseReleaseReply(const std::string& body, const std::string& discId,
                                       std::string& error) {
    error.clear();
    const Json reply = Json::parse(body, nullptr, false);
    if (reply.is_discarded() || !reply.is_object()) {
        error = "the reply is not JSON";
        return {};
    }
    if (!Text(reply, "error").empty()) {
        error = Text(reply, "error");
        return {};
    }
    std::vector<Release> releases;
    for (const Json& r : Array(reply, "releases"))
        if (r.is_object()) releases.push_back(ReadRelease(r, discId));
    return releases;
}

}  // namespace lookup
