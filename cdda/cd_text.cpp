#include "cdda/cd_text.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/crc16.h"
#include "platform/latin1.h"

namespace cdda {

namespace {

// Pack types.
constexpr std::uint8_t kTitle = 0x80, kPerformer = 0x81, kSongwriter = 0x82, kComposer = 0x83,
                       kMessage = 0x85, kGenre = 0x87, kCodes = 0x8E, kSizeInfo = 0x8F;
constexpr int kBlocks = 8;
constexpr int kTextBytes = 12;  // of each pack

// The genres of the pack's genre code, in code order from 1.
constexpr std::array<const char*, 29> kGenres = {"",
                                                 "",
                                                 "Adult Contemporary",
                                                 "Alternative Rock",
                                                 "Childrens Music",
                                                 "Classical",
                                                 "Contemporary Christian",
                                                 "Country",
                                                 "Dance",
                                                 "Easy Listening",
                                                 "Erotic",
                                                 "Folk",
                                                 "Gospel",
                                                 "Hip Hop",
                                                 "Jazz",
                                                 "Latin",
                                                 "Musical",
                                                 "New Age",
                                                 "Opera",
                                                 "Operetta",
                                                 "Pop Music",
                                                 "Rap",
                                                 "Reggae",
                                                 "Rock Music",
                                                 "Rhythm & Blues",
                                                 "Sound Effects",
                                                 "Spoken Word",
                                                 "World Music",
                                                 ""};

struct Pack {
    std::uint8_t type, track, sequence, flags;
    const std::uint8_t* text;

    int Block() const { return (flags >> 4) & 0x07; }
    bool DoubleByte() const { return flags & 0x80; }
};

bool CrcHolds(const std::uint8_t* pack) {
    const std::uint16_t crc = static_cast<std::uint16_t>(~platform::Crc16Ccitt(pack, 16));
    return pack[16] == (crc >> 8) && pack[17] == (crc & 0xFF);
}

// A name's text in UTF-8, without the control characters a name cannot hold.
std::string Latin1ToUtf8(const std::string& text) {
    std::string printable;
    for (char ch : text)
        if (static_cast<unsigned char>(ch) >= 0x20) printable += ch;
    return platform::Latin1ToUtf8(printable);
}

// The strings of one pack type, by track number: each NUL ends a track's string and the next
// begins the following track's. Each pack that starts a string says whose it is, so a lost
// pack costs only the strings it touched. A lone TAB repeats the previous track's string.
std::vector<std::pair<int, std::string>> Strings(const std::vector<Pack>& packs) {
    std::vector<std::pair<int, std::string>> strings;
    std::string current;
    int track = 0, expected = -1;
    for (const Pack& p : packs) {
        int at = 0;
        if (p.sequence != expected) {
            // The first pack, or one after a lost pack: start afresh from what this one says.
            current.clear();
            track = p.track & 0x7F;
            if ((p.flags & 0x0F) > 0) {
                // It begins inside a string whose start is lost: the next string is whole.
                while (at < kTextBytes && p.text[at] != 0)
                    ++at;
                ++at;
                ++track;
            }
        }
        for (; at < kTextBytes; ++at) {
            if (p.text[at] != 0) {
                current += static_cast<char>(p.text[at]);
                continue;
            }
            if (current == "\t" && !strings.empty() && strings.back().first == track - 1)
                current = strings.back().second;
            if (track <= 99) strings.emplace_back(track, current);
            current.clear();
            ++track;
        }
        expected = p.sequence + 1;
    }
    return strings;
}

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size, std::string& note) : note_(note) {
        if (size < 4) return;
        // The header says how much the drive filled; a length that claims more than arrived
        // stops at what arrived.
        const std::size_t filled = std::min<std::size_t>(size, 2 + ((std::size_t{data[0]} << 8) | data[1]));
        int bad = 0;
        for (std::size_t at = 4; at + kCdTextPackBytes <= filled; at += kCdTextPackBytes) {
            const std::uint8_t* p = data + at;
            if (p[0] < kTitle || p[0] > kSizeInfo) continue;
            if (!CrcHolds(p)) {
                ++bad;
                continue;
            }
            packs_.push_back({p[0], p[1], p[2], p[3], p + 4});
        }
        if (bad > 0) Note(std::to_string(bad) + " CD-Text pack(s) with a wrong CRC were left out");
    }

    DiscNames Names() {
        DiscNames names;
        const int block = ChooseBlock();
        if (block < 0) return names;
        for (auto [type, field] : {std::pair{kTitle, &tags::TagFields::title},
                                   {kPerformer, &tags::TagFields::artist},
                                   {kSongwriter, &tags::TagFields::composer},
                                   {kComposer, &tags::TagFields::composer},
                                   {kMessage, &tags::TagFields::comment},
                                   {kCodes, &tags::TagFields::isrc}}) {
            for (const auto& [track, raw] : Strings(Of(block, type))) {
                std::string text = Latin1ToUtf8(raw);
                if (text.empty()) continue;
                if (track == 0) {
                    tags::TagFields& a = names.album;
                    if (type == kTitle) a.album = text;
                    if (type == kPerformer) a.artist = text;
                    if (type == kSongwriter || type == kComposer) a.composer = text;
                    if (type == kMessage) a.comment = text;
                    if (type == kCodes) a.catalog = text;
                } else {
                    // The composer wins over the songwriter, as it is the more specific.
                    std::string& slot = names.tracks[track].*field;
                    if (slot.empty() || type == kComposer) slot = text;
                }
            }
        }
        names.album.genre = Genre(block);
        return names;
    }

  private:
    void Note(const std::string& text) { note_ += (note_.empty() ? "" : "; ") + text; }

    std::vector<Pack> Of(int block, std::uint8_t type) const {
        std::vector<Pack> out;
        for (const Pack& p : packs_)
            if (p.Block() == block && p.type == type) out.push_back(p);
        return out;
    }

    // The character code of a block as its size information gives it: 0x00 ISO 8859-1, 0x01
    // ASCII, 0x80 and up double-byte codes. A block without that pack is taken as ISO 8859-1.
    int CharacterCode(int block) const {
        for (const Pack& p : Of(block, kSizeInfo))
            if (p.sequence == FirstSequence(block, kSizeInfo)) return p.text[0];
        return 0;
    }

    int FirstSequence(int block, std::uint8_t type) const {
        int first = 256;
        for (const Pack& p : Of(block, type))
            first = std::min<int>(first, p.sequence);
        return first;
    }

    // The first block in a one-byte code; the others are other languages of the same text.
    int ChooseBlock() {
        for (int block = 0; block < kBlocks; ++block) {
            const bool present =
                std::any_of(packs_.begin(), packs_.end(), [&](const Pack& p) { return p.Block() == block; });
            if (!present) continue;
            const bool doubleByte =
                CharacterCode(block) >= 0x80 || std::any_of(packs_.begin(), packs_.end(), [&](const Pack& p) {
                    return p.Block() == block && p.DoubleByte();
                });
            if (!doubleByte) return block;
            Note("CD-Text block " + std::to_string(block) + " is in a double-byte code and was passed over");
        }
        return -1;
    }

    // The genre pack: a two-byte code, then text that refines it.
    std::string Genre(int block) const {
        std::string raw;
        for (const Pack& p : Of(block, kGenre))
            raw.append(reinterpret_cast<const char*>(p.text), kTextBytes);
        if (raw.size() < 2) return "";
        const int code = (static_cast<unsigned char>(raw[0]) << 8) | static_cast<unsigned char>(raw[1]);
        const std::string text = Latin1ToUtf8(raw.substr(2, raw.find('\0', 2) - 2));
        if (!text.empty()) return text;
        return code >= 1 && code <= static_cast<int>(kGenres.size()) ? kGenres[code - 1] : "";
    }

    std::vector<Pack> packs_;
    std::string& note_;
};

}  // namespace

DiscNames ParseCdText(const std::uint8_t* data, std::size_t size, std::string& note) {
    note.clear();
    return Reader(data, size, note).Names();
}

}  // namespace cdda
