// A list of bit fields (value, length 1..32) written most significant bit first: the frame
// formatter gathers each part of a frame in one before it knows where the bits will land.
// The list keeps its storage when cleared, so a frame after the first allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace layer3 {

struct BitField {
    std::uint32_t value;
    std::uint16_t length;
};

class BitFieldList {
  public:
    explicit BitFieldList(std::size_t capacity = 0) { entries_.reserve(capacity); }

    // Appends the low length bits of value. A length of 0 (or above 32) stores nothing.
    void Add(std::uint32_t value, int length) {
        if (length <= 0 || length > 32) return;
        if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.size() + 9);
        const std::uint32_t mask = length == 32 ? 0xFFFFFFFFu : (1u << length) - 1;
        entries_.push_back({value & mask, static_cast<std::uint16_t>(length)});
        bits_ += length;
    }
    // Appends count bits of one value (0 or all ones), in pieces of at most 32 bits.
    void AddRun(bool ones, int count) {
        for (; count > 0; count -= 32)
            Add(ones ? 0xFFFFFFFFu : 0u, count < 32 ? count : 32);
    }
    void Clear() {
        entries_.clear();
        bits_ = 0;
    }
    // Copies other's entries, reusing this list's storage.
    void CopyFrom(const BitFieldList& other) {
        entries_.assign(other.entries_.begin(), other.entries_.end());
        bits_ = other.bits_;
    }

    std::size_t Count() const { return entries_.size(); }
    int Bits() const { return bits_; }
    auto begin() const { return entries_.begin(); }
    auto end() const { return entries_.end(); }

  private:
    std::vector<BitField> entries_;
    int bits_ = 0;
};

}  // namespace layer3
