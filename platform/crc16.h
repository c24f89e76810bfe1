// The CRC that guards each CD-Text pack: CRC-16 with the CCITT polynomial x^16 + x^12 + x^5 + 1,
// starting from zero, stored inverted and most significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline std::uint16_t Crc16Ccitt(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < size; ++i) {
        crc = static_cast<std::uint16_t>(crc ^ (data[i] << 8));
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

}  // namespace platform
