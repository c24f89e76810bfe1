// The mix of more than two channels down to stereo with the ITU-R BS.775 coefficients: the
// fronts as they are, the centre and the surrounds at -3 dB, the low-frequency channel left
// out, and everything scaled so that full-scale input cannot clip.
#pragma once

#include <string>
#include <vector>

namespace input {

// Where a channel sits, as far as the mix needs to know.
enum class Speaker { Left, Right, Centre, Lfe, LeftSurround, RightSurround, BackCentre, Other };

// The usual order of a file's channels when it does not name them: the front pair, the
// centre, the low-frequency channel, then the surrounds (3 = L R C, 4 = L R Ls Rs,
// 5 = L R C Ls Rs, 6 = L R C LFE Ls Rs, 7 = ... Cs Ls Rs, 8 = ... Lb Rb Ls Rs).
std::vector<Speaker> DefaultLayout(int channels);

struct StereoMix {
    // Per source channel, its weight in the left and in the right output.
    std::vector<float> left, right;

    // Mixes frames of interleaved source samples into interleaved stereo.
    void Apply(const float* in, int frames, float* out) const;
};

StereoMix MixToStereo(const std::vector<Speaker>& layout);

// "5.1", "7.1" or "4.0" for a layout, as the Files page names it.
std::string LayoutName(const std::vector<Speaker>& layout);

}  // namespace input
