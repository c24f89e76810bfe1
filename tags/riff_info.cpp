#include "tags/riff_info.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/file.h"

namespace tags {

namespace {

// More than any list of names needs; a larger chunk is read only this far.
constexpr std::uint32_t kMaxListBytes = 1u << 20;
// Chunks examined before the reader gives up on a file of endless tiny chunks.
constexpr int kMaxChunks = 4096;

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool IsValidUtf8(const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n;) {
        const std::uint8_t c = p[i];
        std::size_t extra = 0;
        std::uint32_t min = 0, cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not UTF-8.
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

std::string* FieldFor(const std::uint8_t* id, TagFields& f, bool& isTrack) {
    struct Entry {
        const char* id;
        std::string TagFields::*field;
    };
    static const Entry kEntries[] = {{"INAM", &TagFields::title}, {"IART", &TagFields::artist},
                                     {"IPRD", &TagFields::album}, {"ICRD", &TagFields::date},
                                     {"IGNR", &TagFields::genre}, {"ICMT", &TagFields::comment},
                                     {"ITRK", &TagFields::track}, {"IPRT", &TagFields::track}};
    for (const Entry& e : kEntries)
        if (std::memcmp(id, e.id, 4) == 0) {
            isTrack = e.field == &TagFields::track;
            return &(f.*e.field);
        }
    return nullptr;
}

}  // namespace

std::string TextAsUtf8(const std::uint8_t* data, std::size_t size) {
    size = static_cast<std::size_t>(std::find(data, data + size, 0) - data);
    while (size > 0 && (data[size - 1] == ' ' || data[size - 1] == '\t' || data[size - 1] == '\r' ||
                        data[size - 1] == '\n'))
        --size;
    if (IsValidUtf8(data, size)) return std::string(reinterpret_cast<const char*>(data), size);
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = data[i];
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else {
            text += static_cast<char>(0xC0 | c >> 6);
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

void ParseInfoList(const std::uint8_t* data, std::size_t size, TagFields& fields) {
    std::size_t at = 0;
    while (at + 8 <= size) {
        const std::uint8_t* id = data + at;
        // A field that claims more than the list holds ends with the list.
        const std::size_t length = std::min<std::size_t>(Le32(data + at + 4), size - at - 8);
        bool isTrack = false;
        if (std::string* field = FieldFor(id, fields, isTrack); field && field->empty()) {
            *field = TextAsUtf8(data + at + 8, length);
        }
        at += 8 + length + (length & 1);
    }
}

TagFields ReadRiffInfo(const std::string& path) {
    TagFields fields;
    platform::InputFile file;
    if (!file.Open(path)) return fields;
    std::uint8_t head[12];
    if (file.Read(head, 12) != 12 || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return fields;
    std::vector<std::uint8_t> list;
    for (int chunk = 0; chunk < kMaxChunks && file.Position() + 8 <= file.Size(); ++chunk) {
        std::uint8_t header[8];
        if (file.Read(header, 8) != 8) break;
        const std::uint32_t length = Le32(header + 4);
        const std::uint64_t next = file.Position() + length + (length & 1);
        if (std::memcmp(header, "LIST", 4) == 0 && length >= 4) {
            const std::uint64_t left = file.Size() - file.Position();
            list.resize(static_cast<std::size_t>(std::min<std::uint64_t>({length, kMaxListBytes, left})));
            list.resize(file.Read(list.data(), list.size()));
            if (list.size() >= 4 && std::memcmp(list.data(), "INFO", 4) == 0)
                ParseInfoList(list.data() + 4, list.size() - 4, fields);
        }
        if (next > file.Position() && !file.SeekForward(next - file.Position())) break;
    }
    return fields;
}

}  // namespace tags
