#include "layer3/bit_writer.h"

#include <cstring>

#include "platform/file.h"

namespace layer3 {

bool BitWriter::Open(platform::OutputFile& file) {
    file_ = file.IsOpen() ? &file : nullptr;
    buffer_[0] = 0;
    byte_ = 0;
    freeBits_ = 8;
    totalBits_ = 0;
    failed_ = false;
    return file_ != nullptr;
}

void BitWriter::PutBits(std::uint32_t value, int n) {
    if (n <= 0 || n > 32) return;
    totalBits_ += n;
    std::uint64_t bits = value & ((std::uint64_t{1} << n) - 1);
    // Away from the buffer's end, the byte being filled and the next seven are written as one
    // big-endian word: at most 7 + 32 bits are in use, and the bytes past the last one that
    // takes bits get zeros, as they would once they are reached.
    if (byte_ + 8 <= kBufferSize) {
        const int used = 8 - freeBits_;
        const std::uint64_t word = (std::uint64_t{buffer_[byte_]} << 56) | (bits << (64 - used - n));
        for (int k = 0; k < 8; ++k)
            buffer_[byte_ + k] = static_cast<std::uint8_t>(word >> (56 - 8 * k));
        byte_ += (used + n) / 8;
        freeBits_ = 8 - (used + n) % 8;
        return;
    }
    // Whole free tails of bytes first, the high bits of what is left each time.
    while (n >= freeBits_) {
        n -= freeBits_;
        buffer_[byte_] = static_cast<std::uint8_t>(buffer_[byte_] | (bits >> n));
        bits &= (std::uint64_t{1} << n) - 1;
        NextByte();
    }
    if (n > 0) {
        freeBits_ -= n;
        buffer_[byte_] = static_cast<std::uint8_t>(buffer_[byte_] | (bits << freeBits_));
    }
}

void BitWriter::NextByte() {
    if (++byte_ == kBufferSize) EmptyBuffer(kBufferSize - kBlockSize);
    buffer_[byte_] = 0;
    freeBits_ = 8;
}

void BitWriter::EmptyBuffer(int keep) {
    if (keep < 0) keep = 0;
    const int count = byte_ - keep;
    if (count <= 0) return;
    WriteBytes(count);
    // The kept bytes and the byte being filled move to the front.
    std::memmove(buffer_, buffer_ + count, static_cast<std::size_t>(keep + (byte_ < kBufferSize ? 1 : 0)));
    byte_ -= count;
}

void BitWriter::WriteBytes(int count) {
    if (!file_ || failed_) return;
    if (file_->Write(buffer_, static_cast<std::size_t>(count)) != static_cast<std::size_t>(count))
        failed_ = true;
}

bool BitWriter::Close() {
    if (!file_) return !failed_;
    // A byte that holds no bits is no part of any frame: a decoder would take it for damage.
    WriteBytes(freeBits_ < 8 ? byte_ + 1 : byte_);
    file_ = nullptr;
    buffer_[0] = 0;
    byte_ = 0;
    freeBits_ = 8;
    return !failed_;
}

}  // namespace layer3
