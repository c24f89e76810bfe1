// The polyphase analysis filterbank: splits a channel's PCM signal into 32 equal-width
// subbands, 32 new samples at a time, keeping a 512-sample history per channel.
#pragma once

#include <cstdint>

#include "layer3/side_info.h"

namespace layer3 {

inline constexpr int kSubbands = 32;
inline constexpr int kFilterTaps = 512;

class CAnalysisFilterbank {
  public:
    CAnalysisFilterbank();  // builds the matrixing coefficients

    // Clears both channels' histories; called before the first frame of every file.
    void Reset();

    // Takes the 32 samples at `samples` (in time order) into channel ch's history, advances
    // `samples` by 32 and fills z with the windowed history.
    void WindowSubband(const std::int16_t*& samples, double (&z)[kFilterTaps], int ch);

    // Turns a windowed vector into 32 subband samples.
    void FilterSubband(const double (&z)[kFilterTaps], double (&s)[kSubbands]) const;

    // WindowSubband and FilterSubband in one: the same products and sums, bit for bit,
    // without the windowed vector in between.
    void AnalyseSubbands(const std::int16_t*& samples, double (&s)[kSubbands], int ch);

    // The write offset of a channel's history (0..511), for tests.
    int Offset(int ch) const { return off_[ch]; }

  private:
    // The coefficients' columns come in pairs that are equal (k and 32 - k) or opposite
    // (k and 96 - k), and column 48 is 0: the 64 sums of the windowed vector fold into 32
    // first, and a 32 x 32 product does the rest. Built only when the rounded table has those
    // symmetries exactly, which the constructor checks; else the 64-column product serves.
    bool CheckSymmetries() const;
    // Rows i and 31 - i are equal in the even columns and opposite in the odd ones: the even
    // and odd columns' sums of the first 16 rows give all 32 outputs, as their sum and their
    // difference. Used only when the rounded table has that symmetry exactly.
    bool CheckRowSymmetry() const;
    static constexpr int kFolded = 32;
    double m_[kSubbands][64];
    double mt_[64][kSubbands];           // the same coefficients, subband fastest
    double folded_[kFolded][kSubbands];  // the folded columns, subband fastest
    bool foldable_ = false;
    bool rowsPair_ = false;
    // Takes 32 samples into the history and returns the offset of the newest.
    int TakeSamples(const std::int16_t*& samples, int ch);
    // The 32 x 64 (or folded 32 x 32) product of the 64 sums of the windowed vector.
    void Matrixing(const double (&y)[64], double (&s)[kSubbands]) const;
    void PairedRows(const double (&folded)[kFolded], double (&s)[kSubbands]) const;
    // Each channel's history twice over, so that the 512 values from any offset lie in one run.
    double x_[kMaxChannels][2 * kFilterTaps];
    int off_[kMaxChannels];
};

}  // namespace layer3
