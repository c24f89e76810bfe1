// The psychoacoustic model's real FFT: the exact unnormalised DFT of N real samples, given as
// energy (Re^2 + Im^2) and phase (atan2(Im, Re)) of lines 0..N/2. Lines whose energy is at most
// 0.0005 get energy 0.0005 and phase 0. Inputs and outputs are single precision.
// The phase costs more than the rest of the transform, so a caller that reads it only for the
// lowest lines can ask for those alone; the others then get phase 0.
#pragma once

#include <array>
#include <cstddef>

namespace layer3 {

template <std::size_t N>
class CRealFft {
    static_assert(N >= 8 && (N & (N - 1)) == 0, "the size must be a power of two");

  public:
    static constexpr std::size_t kLines = N / 2 + 1;

    CRealFft();
    void Transform(const float (&x)[N], float (&energy)[kLines], float (&phase)[kLines],
                   std::size_t phaseLines = kLines);

  private:
    static constexpr std::size_t kHalf = N / 2;
    // N/2-point complex transform of the packed input (even samples real, odd imaginary).
    void ComplexTransform();
    // Line k of the real spectrum from Z[a] and Z[b] with the split twiddle (c, s).
    void SplitLine(std::size_t k, std::size_t a, std::size_t b, double c, double s, float (&energy)[kLines],
                   float (&phase)[kLines], bool withPhase) const;

    std::array<std::size_t, kHalf> bitReverse_{};
    std::array<double, kHalf / 2> stageCos_{}, stageSin_{};  // cos, sin(2 pi l / (N/2))
    std::array<double, kHalf> splitCos_{}, splitSin_{};      // cos, sin(2 pi k / N)
    std::array<double, kHalf> twiddleCos_{}, twiddleSin_{};  // per stage, in butterfly order
    std::array<double, kHalf> re_{}, im_{};
};

extern template class CRealFft<1024>;
extern template class CRealFft<256>;

}  // namespace layer3
