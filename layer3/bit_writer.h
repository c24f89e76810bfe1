// The byte-level writer under the frame formatter: appends bit fields most significant bit
// first into a 4096-byte buffer and hands the file 4092-byte blocks. A failed write is
// remembered and reported to the caller, so that a full disk never passes as a finished file.
#pragma once

#include <cstdint>

namespace platform {
class OutputFile;
}

namespace layer3 {

class BitWriter {
  public:
    static constexpr int kBufferSize = 4096;
    static constexpr int kBlockSize = 4092;  // bytes written per full buffer; the newest 4 stay

    // Writes to file until Close; false (and nothing written) when the file is not open.
    bool Open(platform::OutputFile& file);
    bool IsOpen() const { return file_ != nullptr; }

    // Appends the low n bits of value, most significant first. n above 32 is ignored.
    void PutBits(std::uint32_t value, int n);
    // Writes every complete byte held except the newest keep ones.
    void EmptyBuffer(int keep);
    // Writes every byte still held that holds bits (the byte being filled only when it is
    // partly filled) and detaches from the file. Returns false when any write failed.
    bool Close();

    // True once a write to the file has failed; later bytes are dropped.
    bool Failed() const { return failed_; }
    // Bits appended since Open.
    std::int64_t TotalBits() const { return totalBits_; }

  private:
    void NextByte();
    void WriteBytes(int count);

    platform::OutputFile* file_ = nullptr;
    std::uint8_t buffer_[kBufferSize] = {};
    int byte_ = 0;      // index of the byte being filled
    int freeBits_ = 8;  // free bits in it; 8 = empty
    std::int64_t totalBits_ = 0;
    bool failed_ = false;
};

}  // namespace layer3
