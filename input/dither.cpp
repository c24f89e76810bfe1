#include "input/dither.h"

#include <cmath>

namespace input {

namespace {

constexpr std::uint32_t kSeed = 0x2545F491u;
constexpr float kFullScale = 32768.0f;

}  // namespace

void TriangularDither::Reset() {
    state_ = kSeed;
    clipped_ = 0;
}

float TriangularDither::NextUniform() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<float>(state_ >> 8) * (1.0f / 16777216.0f);
}

void TriangularDither::Quantise(const float* in, std::int16_t* out, int count) {
    for (int i = 0; i < count; ++i) {
        const float scaled = in[i] * kFullScale;
        // Only a signal beyond full scale (+-1.0) counts as clipped: not the dither noise at the
        // edge, nor the top 24-bit value, which lies less than a 16-bit step under +1.0.
        if (scaled > kFullScale || scaled < -kFullScale) ++clipped_;
        // The difference of two uniform values: triangular noise of +-1 step.
        const float noisy = scaled + NextUniform() - NextUniform();
        // A float file may hold NaN, which no integer conversion may see.
        const float rounded = std::isnan(noisy) ? 0.0f : std::nearbyint(noisy);
        out[i] = static_cast<std::int16_t>(rounded > 32767.0f    ? 32767.0f
                                           : rounded < -32768.0f ? -32768.0f
                                                                 : rounded);
    }
}

}  // namespace input
