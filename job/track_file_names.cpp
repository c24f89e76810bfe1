#include "job/track_file_names.h"

#include <cstdio>
#include <vector>

namespace {

// A file name may hold 255 bytes; the last part of the path keeps room for " (NNN)" and
// ".wav", a folder's for nothing more.
constexpr std::size_t kMaxFolderBytes = 254;
constexpr std::size_t kMaxFileBytes = 255 - 4 - 6;

std::string TwoDigits(int n) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

// A field's text as part of one path component.
std::string Safe(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        out += c < 0x20 || c == 0x7F || ch == '/' ? '_' : ch;
    }
    return out;
}

// Cut to at most `bytes` bytes without splitting a UTF-8 character.
std::string CutUtf8(std::string s, std::size_t bytes) {
    if (s.size() <= bytes) return s;
    std::size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80)
        --end;
    s.resize(end);
    return s;
}

// Expands the template; false when it names a field the track lacks.
bool Expand(const std::string& tmpl, int track, const tags::TagFields& names, std::string& out) {
    for (std::size_t i = 0; i < tmpl.size(); ++i) {
        if (tmpl[i] != '%' || i + 1 == tmpl.size()) {
            out += tmpl[i];
            continue;
        }
        const std::string field = tmpl.substr(i + 1, 3) == "02d" ? "n" : tmpl.substr(i + 1, 1);
        const std::string* text = field == "t"   ? &names.title
                                  : field == "a" ? &names.artist
                                  : field == "A" ? &names.album
                                                 : nullptr;
        if (field == "n") {
            out += TwoDigits(track);
        } else if (field == "%") {
            out += '%';
        } else if (text) {
            if (text->empty()) return false;
            out += Safe(*text);
        } else {
            out.append(1, '%').append(field);  // not a field: kept as written
        }
        i += tmpl.substr(i + 1, 3) == "02d" ? 3 : 1;
    }
    return true;
}

// The parts of the path: none empty, none "." or "..", none too long.
std::string Tidy(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= path.size()) {
        std::size_t slash = path.find('/', from);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(from, slash - from);
        from = slash + 1;
        if (part.empty()) continue;
        if (part == "." || part == "..") part = "_";
        parts.push_back(std::move(part));
    }
    std::string out;
    for (std::size_t k = 0; k < parts.size(); ++k) {
        const bool last = k + 1 == parts.size();
        if (k > 0) out += '/';
        out += CutUtf8(parts[k], last ? kMaxFileBytes : kMaxFolderBytes);
    }
    return out;
}

}  // namespace

std::string TrackFileStem(const std::string& nameTemplate, int track, const tags::TagFields& names) {
    std::string expanded;
    if (!Expand(nameTemplate, track, names, expanded)) expanded.clear();
    std::string stem = Tidy(expanded);
    if (stem.empty()) stem = "Track " + TwoDigits(track);
    return stem;
}

std::string TrackFileNamer::Next(int track, const tags::TagFields& names) {
    const std::string stem = TrackFileStem(template_, track, names);
    std::string name = stem;
    for (int n = 2; taken_.count(name); ++n)
        name = stem + " (" + std::to_string(n) + ")";
    taken_.insert(name);
    return name;
}
