// CD-Text as a drive returns it to READ TOC format 0101b: any bytes. The names that come out
// belong to tracks 1-99 and are valid UTF-8 without control characters.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cdda/cd_text.h"

namespace {

void CheckText(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20) std::abort();
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : 0;
        if (n == 0 || i + n > s.size()) std::abort();
        if (n == 2 && (static_cast<unsigned char>(s[i + 1]) & 0xC0) != 0x80) std::abort();
        i += n;
    }
}

void CheckFields(const tags::TagFields& f) {
    for (const std::string* s : {&f.title, &f.artist, &f.album, &f.composer, &f.genre, &f.comment, &f.isrc, &f.catalog})
        CheckText(*s);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string note;
    const cdda::DiscNames names = cdda::ParseCdText(data, size, note);
    CheckFields(names.album);
    for (const auto& [track, fields] : names.tracks) {
        if (track < 1 || track > 99) std::abort();
        CheckFields(fields);
    }
    return 0;
}
