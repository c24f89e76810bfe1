// The psychoacoustic model's calculation partitions, thresholds in quiet, spreading functions
// and scalefactor band mapping, parsed from the table text for one sampling frequency.
#pragma once

#include <span>

#include "layer3/tables/psy_data.h"

namespace layer3 {

inline constexpr int kMaxPartitions = 63;
inline constexpr int kLongFftLines = 513;   // lines 0..512 of the 1024-point spectrum
inline constexpr int kShortFftLines = 129;  // lines 0..128 of the 256-point spectrum
inline constexpr int kPsyLongBands = 21;
inline constexpr int kPsyShortBands = 12;

class CPsyTables {
  public:
    // Walks the whole text once and keeps the sets whose header frequency equals
    // samplingFrequency. A defect in the text is written to standard output and ends the
    // process with exit code -1.
    void Parse(int samplingFrequency, std::span<const char* const> text = layer3::tables::kPsyData);

    // Long-block partitions.
    int npart_l = 0;
    int numlines_l[kMaxPartitions] = {};
    int partition_l[kLongFftLines] = {};  // -1: the line belongs to no partition
    double minval[kMaxPartitions] = {};
    double qthr_l[kMaxPartitions] = {};
    double norm_l[kMaxPartitions] = {};
    double bval_l[kMaxPartitions] = {};

    // Short-block partitions.
    int npart_s = 0;
    int numlines_s[kMaxPartitions] = {};
    int partition_s[kShortFftLines] = {};
    double qthr_s[kMaxPartitions] = {};
    double norm_s[kMaxPartitions] = {};
    double SNR_s[kMaxPartitions] = {};
    double bval_s[kMaxPartitions] = {};

    // Spreading functions, s3[i][j]: how much of partition j's energy reaches partition i.
    double s3_l[kMaxPartitions][kMaxPartitions] = {};
    double s3_s[kMaxPartitions][kMaxPartitions] = {};

    // Scalefactor bands: first and last partition and their weights.
    int cbw_l[kPsyLongBands] = {}, bu_l[kPsyLongBands] = {}, bo_l[kPsyLongBands] = {};
    double w1_l[kPsyLongBands] = {}, w2_l[kPsyLongBands] = {};
    int cbw_s[kPsyShortBands] = {}, bu_s[kPsyShortBands] = {}, bo_s[kPsyShortBands] = {};
    double w1_s[kPsyShortBands] = {}, w2_s[kPsyShortBands] = {};

  private:
    struct Cursor;
    void Clear();
    template <typename ReadRow>
    void ParsePartitionSets(Cursor& in, int samplingFrequency, int& npart, ReadRow readRow);
    void ParseLongPartitions(Cursor& in, int samplingFrequency);
    void ParseShortPartitions(Cursor& in, int samplingFrequency);
    void ParseBands(Cursor& in, int samplingFrequency, bool isLong);
};

// The spreading function between two partitions at Bark values bi (maskee) and bj (masker).
double SpreadingFunction(double bi, double bj, bool maskerBelow);

}  // namespace layer3
