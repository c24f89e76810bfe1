#include "input/channel_mix.h"

#include <algorithm>
#include <cmath>

namespace input {

namespace {

constexpr float kMinus3dB = 0.70710678f;

struct Weights {
    float left, right;
};

Weights WeightsOf(Speaker s) {
    switch (s) {
        case Speaker::Left:
            return {1.0f, 0.0f};
        case Speaker::Right:
            return {0.0f, 1.0f};
        case Speaker::Centre:
            return {kMinus3dB, kMinus3dB};
        case Speaker::Lfe:
            return {0.0f, 0.0f};
        case Speaker::LeftSurround:
            return {kMinus3dB, 0.0f};
        case Speaker::RightSurround:
            return {0.0f, kMinus3dB};
        // A single surround feeds both sides, each at -3 dB of its -3 dB share.
        case Speaker::BackCentre:
            return {0.5f, 0.5f};
        case Speaker::Other:
            return {0.5f, 0.5f};
    }
    return {0.0f, 0.0f};
}

}  // namespace

std::vector<Speaker> DefaultLayout(int channels) {
    using S = Speaker;
    switch (channels) {
        case 1:
            return {S::Centre};
        case 2:
            return {S::Left, S::Right};
        case 3:
            return {S::Left, S::Right, S::Centre};
        case 4:
            return {S::Left, S::Right, S::LeftSurround, S::RightSurround};
        case 5:
            return {S::Left, S::Right, S::Centre, S::LeftSurround, S::RightSurround};
        case 6:
            return {S::Left, S::Right, S::Centre, S::Lfe, S::LeftSurround, S::RightSurround};
        case 7:
            return {S::Left, S::Right, S::Centre, S::Lfe, S::BackCentre, S::LeftSurround, S::RightSurround};
        case 8:
            return {S::Left,         S::Right,         S::Centre,       S::Lfe,
                    S::LeftSurround, S::RightSurround, S::LeftSurround, S::RightSurround};
        default:
            break;
    }
    std::vector<Speaker> layout(static_cast<std::size_t>(std::max(channels, 0)), S::Other);
    if (channels > 2) layout[0] = S::Left, layout[1] = S::Right;
    return layout;
}

StereoMix MixToStereo(const std::vector<Speaker>& layout) {
    StereoMix mix;
    float leftSum = 0.0f, rightSum = 0.0f;
    for (Speaker s : layout) {
        const Weights w = WeightsOf(s);
        mix.left.push_back(w.left);
        mix.right.push_back(w.right);
        leftSum += w.left;
        rightSum += w.right;
    }
    // The loudest possible output (every channel at full scale, in phase) must stay in range.
    const float loudest = std::max({leftSum, rightSum, 1.0f});
    for (float& w : mix.left)
        w /= loudest;
    for (float& w : mix.right)
        w /= loudest;
    return mix;
}

void StereoMix::Apply(const float* in, int frames, float* out) const {
    const std::size_t channels = left.size();
    for (int f = 0; f < frames; ++f, in += channels) {
        float l = 0.0f, r = 0.0f;
        for (std::size_t c = 0; c < channels; ++c) {
            l += left[c] * in[c];
            r += right[c] * in[c];
        }
        *out++ = l;
        *out++ = r;
    }
}

std::string LayoutName(const std::vector<Speaker>& layout) {
    const auto lfe = std::count(layout.begin(), layout.end(), Speaker::Lfe);
    return std::to_string(layout.size() - static_cast<std::size_t>(lfe)) + "." + std::to_string(lfe);
}

}  // namespace input
