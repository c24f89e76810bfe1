#include "platform/aspi_image/cd_text_packs.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/crc16.h"

namespace aspi {

namespace {

constexpr int kPackBytes = 18, kTextBytes = 12;
constexpr int kMaxPacks = 256;  // in one block
constexpr BYTE kTypeFirst = 0x80, kGenre = 0x87, kCodes = 0x8E, kSizeInfo = 0x8F;
constexpr BYTE kEnglish = 0x09;

// UTF-8 to ISO 8859-1; what that code cannot hold becomes '?'.
std::string Latin1(const std::string& utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else if ((c & 0xC0) == 0xC0) {
            out += '?';
        }
    }
    return out;
}

class PackWriter {
  public:
    // One pack type's strings, album first, then each track's, every one ended by NUL.
    void Add(BYTE type, const std::vector<std::string>& strings, BYTE firstTrack) {
        if (std::all_of(strings.begin(), strings.end(), [](const std::string& s) { return s.empty(); }))
            return;
        std::string stream;
        std::vector<std::size_t> starts;
        for (const std::string& s : strings) {
            starts.push_back(stream.size());
            stream += Latin1(s);
            stream += '\0';
        }
        for (std::size_t at = 0; at < stream.size(); at += kTextBytes) {
            // The string the pack's first character belongs to, and how much of it came before.
            const std::size_t k = static_cast<std::size_t>(
                                      std::upper_bound(starts.begin(), starts.end(), at) - starts.begin()) -
                                  1;
            const BYTE track = k == 0 ? 0 : static_cast<BYTE>(firstTrack + k - 1);
            const int carried = static_cast<int>(std::min<std::size_t>(at - starts[k], 15));
            Pack(type, track, static_cast<BYTE>(carried), stream.substr(at, kTextBytes));
        }
    }

    void AddGenre(const std::string& genre) {
        if (genre.empty()) return;
        // Code 1, "not used": the text says it all.
        Pack(kGenre, 0, 0, std::string("\0\x01", 2) + Latin1(genre) + '\0');
    }

    // The size information closes the block: character code, tracks, packs of each type,
    // the block's last sequence number and its language.
    std::vector<BYTE> Finish(BYTE firstTrack, BYTE lastTrack) {
        if (packs_.empty()) return {};
        std::array<BYTE, 36> info{};
        info[1] = firstTrack;
        info[2] = lastTrack;
        for (std::size_t at = 0; at < packs_.size(); at += kPackBytes)
            ++info[4 + (packs_[at] - kTypeFirst)];
        info[4 + (kSizeInfo - kTypeFirst)] = 3;
        info[20] = static_cast<BYTE>(count_ + 2);
        info[28] = kEnglish;
        for (int k = 0; k < 3; ++k)
            Pack(kSizeInfo, static_cast<BYTE>(k), 0,
                 std::string(info.begin() + 12 * k, info.begin() + 12 * (k + 1)), true);
        return packs_;
    }

  private:
    void Pack(BYTE type, BYTE track, BYTE carried, const std::string& text, bool sizeInfo = false) {
        // The size information's three packs always fit: text stops short of them.
        if (count_ >= kMaxPacks - (sizeInfo ? 0 : 3)) return;
        std::array<BYTE, kPackBytes> pack{};
        pack[0] = type;
        pack[1] = track;
        pack[2] = static_cast<BYTE>(count_++);
        pack[3] = carried;  // block 0, one-byte characters
        std::copy_n(text.begin(), std::min<std::size_t>(text.size(), kTextBytes), pack.begin() + 4);
        const std::uint16_t crc = static_cast<std::uint16_t>(~platform::Crc16Ccitt(pack.data(), 16));
        pack[16] = static_cast<BYTE>(crc >> 8);
        pack[17] = static_cast<BYTE>(crc);
        packs_.insert(packs_.end(), pack.begin(), pack.end());
    }

    std::vector<BYTE> packs_;
    int count_ = 0;
};

}  // namespace

std::vector<BYTE> BuildCdTextPacks(const DiscText& text, BYTE firstTrack, BYTE lastTrack) {
    PackWriter writer;
    auto strings = [&](auto field) {
        std::vector<std::string> out{field(text.album, text.catalog)};
        for (int t = firstTrack; t <= lastTrack; ++t) {
            const auto it = std::find_if(text.tracks.begin(), text.tracks.end(),
                                         [&](const TrackText& tt) { return tt.track == t; });
            out.push_back(it == text.tracks.end() ? "" : field(it->text, it->isrc));
        }
        return out;
    };
    writer.Add(0x80, strings([](const CueText& t, const std::string&) { return t.title; }), firstTrack);
    writer.Add(0x81, strings([](const CueText& t, const std::string&) { return t.performer; }), firstTrack);
    writer.Add(0x82, strings([](const CueText& t, const std::string&) { return t.songwriter; }), firstTrack);
    writer.Add(0x83, strings([](const CueText& t, const std::string&) { return t.composer; }), firstTrack);
    writer.Add(0x85, strings([](const CueText& t, const std::string&) { return t.message; }), firstTrack);
    writer.Add(kCodes, strings([](const CueText&, const std::string& code) { return code; }), firstTrack);
    writer.AddGenre(text.album.genre);
    return writer.Finish(firstTrack, lastTrack);
}

}  // namespace aspi
