#include "platform/aspi_image/cue_sheet.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "platform/latin1.h"

namespace aspi {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ValidUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80           ? 0
                          : (c >> 5) == 0x6  ? 1
                          : (c >> 4) == 0xE  ? 2
                          : (c >> 3) == 0x1E ? 3
                                             : -1;
        if (extra < 0 || i + static_cast<std::size_t>(extra) >= s.size()) return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += static_cast<std::size_t>(extra) + 1;
    }
    return true;
}

// Sheets are written in UTF-8 or in the writer's 8-bit code page; the latter is taken as
// ISO 8859-1, which covers what CD-Text can hold.
std::string ToUtf8(const std::string& s) {
    return ValidUtf8(s) ? s : platform::Latin1ToUtf8(s);
}

// The words of one line; a quoted word keeps its blanks and loses its quotes.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        } else if (line[i] == '"') {
            const std::size_t end = line.find('"', i + 1);
            words.push_back(line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1));
            i = end == std::string::npos ? line.size() : end + 1;
        } else {
            std::size_t end = i;
            while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end])))
                ++end;
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return words;
}

// Everything after the first `skip` words, unquoted: REM lines carry free text.
std::string Rest(const std::vector<std::string>& words, std::size_t skip) {
    std::string rest;
    for (std::size_t k = skip; k < words.size(); ++k)
        rest += (rest.empty() ? "" : " ") + words[k];
    return rest;
}

std::string Resolve(const std::string& folder, std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');  // sheets written on Windows
    if (name.empty() || name[0] == '/' || folder.empty()) return name;
    return folder + "/" + name;
}

class Parser {
  public:
    explicit Parser(std::string folder) : folder_(std::move(folder)) {}

    // False with the reason in why_ when the line makes the sheet unusable.
    bool Line(const std::vector<std::string>& w) {
        const std::string key = Upper(w[0]);
        if (key == "FILE") return File(w);
        if (key == "TRACK") return Track(w);
        if (key == "INDEX") return Index(w);
        if (key == "PREGAP" || key == "POSTGAP") return Gap(key, w);
        if (key == "FLAGS") return Flags(w);
        if (key == "TITLE" || key == "PERFORMER" || key == "SONGWRITER")
            return Text(key, w.size() > 1 ? w[1] : "");
        if (key == "REM") return Remark(w);
        if (key == "CATALOG" && w.size() > 1) sheet_.catalog = w[1];
        if (key == "ISRC" && w.size() > 1 && !sheet_.tracks.empty()) sheet_.tracks.back().isrc = w[1];
        return true;  // CDTEXTFILE and whatever else a writer adds says nothing about the audio
    }

    bool Finish() {
        if (sheet_.tracks.empty()) return Fail("the sheet names no track");
        for (const CueTrack& t : sheet_.tracks)
            if (!t.Start()) return Fail("track " + std::to_string(t.number) + " has no INDEX 01");
        return true;
    }

    CueSheet& Sheet() { return sheet_; }
    const std::string& Why() const { return why_; }

  private:
    bool Fail(std::string why) {
        why_ = std::move(why);
        return false;
    }

    bool File(const std::vector<std::string>& w) {
        if (w.size() < 2) return Fail("a FILE line names no file");
        const std::string type = w.size() > 2 ? Upper(w[2]) : "BINARY";
        if (type != "BINARY" && type != "WAVE")
            return Fail("FILE \"" + w[1] + "\" is of type " + type + "; only BINARY and WAVE files are read");
        sheet_.files.push_back(
            {Resolve(folder_, w[1]), type == "WAVE" ? CueFileType::Wave : CueFileType::Binary});
        return true;
    }

    bool Track(const std::vector<std::string>& w) {
        if (sheet_.files.empty()) return Fail("a TRACK comes before any FILE");
        const int number = w.size() > 1 ? std::atoi(w[1].c_str()) : 0;
        const int previous = sheet_.tracks.empty() ? 0 : sheet_.tracks.back().number;
        if (number < 1 || number > 99 || (previous != 0 && number != previous + 1))
            return Fail("TRACK " + (w.size() > 1 ? w[1] : std::string()) + " is out of sequence");
        const std::string mode = w.size() > 2 ? Upper(w[2]) : "";
        if (mode != "AUDIO" && mode != "MODE1/2352" && mode != "MODE2/2352")
            return Fail("track " + std::to_string(number) + " is of mode " + mode +
                        "; only AUDIO, MODE1/2352 and MODE2/2352 tracks are read");
        CueTrack track;
        track.number = number;
        track.audio = mode == "AUDIO";
        sheet_.tracks.push_back(track);
        return true;
    }

    bool Index(const std::vector<std::string>& w) {
        if (sheet_.tracks.empty()) return Fail("an INDEX comes before any TRACK");
        const auto at = w.size() > 2 ? ParseMsf(w[2]) : std::nullopt;
        const int number = w.size() > 1 ? std::atoi(w[1].c_str()) : -1;
        if (!at || number < 0 || number > 99) return Fail("a malformed INDEX line");
        sheet_.tracks.back().indexes.push_back({number, static_cast<int>(sheet_.files.size()) - 1, *at});
        return true;
    }

    bool Gap(const std::string& key, const std::vector<std::string>& w) {
        const auto length = w.size() > 1 ? ParseMsf(w[1]) : std::nullopt;
        if (!length || sheet_.tracks.empty()) return Fail("a malformed " + key + " line");
        (key == "PREGAP" ? sheet_.tracks.back().pregapSectors : sheet_.tracks.back().postgapSectors) =
            *length;
        return true;
    }

    bool Flags(const std::vector<std::string>& w) {
        if (sheet_.tracks.empty()) return true;
        CueTrack& t = sheet_.tracks.back();
        for (std::size_t k = 1; k < w.size(); ++k) {
            const std::string flag = Upper(w[k]);
            t.copyPermitted |= flag == "DCP";
            t.preEmphasis |= flag == "PRE";
            t.fourChannel |= flag == "4CH";
        }
        return true;
    }

    CueText& CurrentText() { return sheet_.tracks.empty() ? sheet_.disc : sheet_.tracks.back().text; }

    bool Text(const std::string& key, const std::string& value) {
        CueText& text = CurrentText();
        (key == "TITLE" ? text.title : key == "PERFORMER" ? text.performer : text.songwriter) = ToUtf8(value);
        return true;
    }

    // REM GENRE and REM COMPOSER, as several ripping programs write them; REM COMMENT names the
    // program that wrote the sheet, not the disc.
    bool Remark(const std::vector<std::string>& w) {
        if (w.size() < 3) return true;
        const std::string key = Upper(w[1]);
        CueText& text = CurrentText();
        if (key == "GENRE") text.genre = ToUtf8(Rest(w, 2));
        if (key == "COMPOSER") text.composer = ToUtf8(Rest(w, 2));
        return true;
    }

    std::string folder_;
    CueSheet sheet_;
    std::string why_;
};

}  // namespace

const CueIndex* CueTrack::Start() const {
    const auto it =
        std::find_if(indexes.begin(), indexes.end(), [](const CueIndex& i) { return i.number == 1; });
    return it == indexes.end() ? nullptr : &*it;
}

std::optional<std::int32_t> ParseMsf(const std::string& text) {
    int m = -1, s = -1, f = -1;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d:%d:%d%c", &m, &s, &f, &tail) != 3) return std::nullopt;
    if (m < 0 || m > 99 || s < 0 || s > 59 || f < 0 || f > 74) return std::nullopt;
    return (m * 60 + s) * 75 + f;
}

std::optional<CueSheet> ParseCueSheet(const std::string& text, const std::string& folder, std::string& why) {
    Parser parser(folder);
    std::istringstream in(text.starts_with("\xEF\xBB\xBF") ? text.substr(3) : text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> words = Words(line);
        if (words.empty()) continue;
        if (!parser.Line(words)) {
            why = "line " + std::to_string(number) + ": " + parser.Why();
            return std::nullopt;
        }
    }
    if (!parser.Finish()) {
        why = parser.Why();
        return std::nullopt;
    }
    return std::move(parser.Sheet());
}

}  // namespace aspi
