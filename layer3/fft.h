// The psychoacoustic model's real FFT: the exact unnormalised DFT of N real samples, given as
// energy (Re^2 + Im^2) of lines 0..N/2 and, for the lines asked for, the line's direction: its
// value over its magnitude, a unit phasor. Lines whose energy is at most 0.0005 get energy
// 0.0005 and the direction (1, 0), i.e. phase 0. Inputs and energies are single precision.
// The model compares phases only through angle differences, which products of unit phasors
// give without an arctangent, a sine or a cosine. A caller that needs the direction only for
// the lowest lines asks for those alone; the others are not written.
#pragma once

#include <array>
#include <cstddef>

namespace layer3 {

// A unit phasor (cos phi, sin phi).
struct UnitPhasor {
    double re = 1.0, im = 0.0;
};

template <std::size_t N>
class CRealFft {
    static_assert(N >= 8 && (N & (N - 1)) == 0, "the size must be a power of two");

  public:
    static constexpr std::size_t kLines = N / 2 + 1;

    CRealFft();
    void Transform(const float (&x)[N], float (&energy)[kLines], UnitPhasor (&direction)[kLines],
                   std::size_t directionLines = kLines);
    // The same with the energies of lines 0..energyLines - 1 alone (at least directionLines);
    // CompleteEnergies gives the others later from what this transform kept, until the next.
    void Transform(const float (&x)[N], float (&energy)[kLines], UnitPhasor (&direction)[kLines],
                   std::size_t directionLines, std::size_t energyLines);
    void CompleteEnergies(float (&energy)[kLines]);

  private:
    static constexpr std::size_t kHalf = N / 2;
    // N/2-point complex transform of the packed input (even samples real, odd imaginary).
    void ComplexTransform(const float (&x)[N]);
    // Line k of the real spectrum from Z[a] and Z[b] with the split twiddle (c, s).
    void SplitLine(std::size_t k, std::size_t a, std::size_t b, double c, double s, float (&energy)[kLines],
                   UnitPhasor (&direction)[kLines], bool withDirection) const;

    std::array<std::size_t, kHalf> bitReverse_{};
    std::array<double, kHalf / 2> stageCos_{}, stageSin_{};  // cos, sin(2 pi l / (N/2))
    std::array<double, kHalf> splitCos_{}, splitSin_{};      // cos, sin(2 pi k / N)
    std::array<double, kHalf> twiddleCos_{}, twiddleSin_{};  // per stage, in butterfly order
    std::array<double, kHalf> re_{}, im_{};
    std::size_t energyLines_ = kLines;  // the lines the last transform gave energies for
};

extern template class CRealFft<1024>;
extern template class CRealFft<256>;

}  // namespace layer3
