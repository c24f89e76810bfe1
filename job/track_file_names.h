// The names of extracted CD tracks, from a template such as "%a/%A/%n %t": %n the track number in
// two digits (also written "%02d"), %t its title, %a its artist, %A the album, %% a percent sign.
// A '/' of the template makes folders under the extraction folder.
#pragma once

#include <set>
#include <string>

#include "tags/tag_fields.h"

inline constexpr const char* kDefaultTrackNameTemplate = "Track %02d";

// The track's name without extension, relative to the extraction folder. A template that names
// a field the track lacks gives the default name. Field text that cannot stand in a file name
// ('/', NUL, control characters) becomes '_'; each part of the path stays short enough for a
// file system to take it with a four-character extension; no part is "." or "..".
std::string TrackFileStem(const std::string& nameTemplate, int track, const tags::TagFields& names);

// Names the tracks of one batch: a name that an earlier track of the batch took is numbered
// apart, "Name (2)", "Name (3)" ...
class TrackFileNamer {
  public:
    explicit TrackFileNamer(std::string nameTemplate) : template_(std::move(nameTemplate)) {}
    std::string Next(int track, const tags::TagFields& names);

  private:
    std::string template_;
    std::set<std::string> taken_;
};
