// A CUE sheet as ripping programs write it: the data files its FILE lines name (relative to the
// sheet's folder), the tracks with their indexes inside those files, silences that PREGAP and
// POSTGAP add, and the disc's text (TITLE, PERFORMER, SONGWRITER, CATALOG, ISRC, some REM lines).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace aspi {

struct CueText {
    std::string title, performer, songwriter, composer, genre, message;
};

struct CueIndex {
    int number = 1;
    int file = 0;             // which of the sheet's files the position is in
    std::int32_t sector = 0;  // position inside that file, in 2352-byte sectors
};

struct CueTrack {
    int number = 0;
    bool audio = true;
    bool preEmphasis = false, copyPermitted = false, fourChannel = false;  // FLAGS PRE, DCP, 4CH
    std::int32_t pregapSectors = 0, postgapSectors = 0;                    // silence not in the files
    std::vector<CueIndex> indexes;                                         // in the order given
    CueText text;
    std::string isrc;

    // INDEX 01, where the track begins in the table of contents.
    const CueIndex* Start() const;
    // The first index the track has (INDEX 00 when the sheet gives a pregap).
    const CueIndex& First() const { return indexes.front(); }
};

enum class CueFileType { Binary, Wave };

struct CueFile {
    std::string path;  // as given in the sheet, resolved against the sheet's folder
    CueFileType type = CueFileType::Binary;
};

struct CueSheet {
    std::vector<CueFile> files;
    std::vector<CueTrack> tracks;
    CueText disc;
    std::string catalog;
};

// Parses a sheet's text; `folder` is what relative FILE paths are taken against. On a sheet that
// cannot be used, nothing, with the reason in `why`.
std::optional<CueSheet> ParseCueSheet(const std::string& text, const std::string& folder, std::string& why);

// "mm:ss:ff" (75 frames a second) as a sector count; nothing when malformed.
std::optional<std::int32_t> ParseMsf(const std::string& text);

}  // namespace aspi
