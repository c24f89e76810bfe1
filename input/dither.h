// Brings samples of more than 16 bits down to 16 with triangular dither. The noise comes from
// a generator with a fixed seed, so a file gives the same bytes every time it is encoded.
#pragma once

#include <cstdint>

namespace input {

class TriangularDither {
  public:
    TriangularDither() { Reset(); }
    // Starts the noise over, as for a new file, and clears the count of clipped samples.
    void Reset();
    // Full scale is +-1.0. Values beyond the 16-bit range are clamped; those beyond full scale
    // are counted.
    void Quantise(const float* in, std::int16_t* out, int count);
    // Samples that lay beyond full scale (+-1.0) before the noise was added.
    std::int64_t Clipped() const { return clipped_; }

  private:
    // One uniform value in [0, 1) from a 32-bit xorshift generator.
    float NextUniform();

    std::uint32_t state_ = 0;
    std::int64_t clipped_ = 0;
};

}  // namespace input
