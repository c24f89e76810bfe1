// ISO 8859-1 text as UTF-8: each character above 0x7F becomes its two-byte sequence.
#pragma once

#include <string>

namespace platform {

inline std::string Latin1ToUtf8(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace platform
