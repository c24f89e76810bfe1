// Psychoacoustic model 2: per granule and channel, the masking ratio (threshold / energy) of
// every scalefactor band, the perceptual entropy, and the block type with the window-switching
// carry-over. All of its state lives in the object; one object serves one encoder.
#pragma once

#include <cstdint>

#include "layer3/fft.h"
#include "layer3/psy_tables.h"
#include "layer3/side_info.h"

namespace layer3 {

inline constexpr int kPsyHistory = 1344;  // samples each channel keeps between calls
inline constexpr double kAttackEntropy = 1800.0;

class CPsychoModel {
  public:
    CPsychoModel();  // set up for 44100 Hz

    // Admits 32000, 44100 and 48000 Hz only (another rate ends the process with a message).
    // Starts a file afresh: clears the spectra, partition thresholds, pending block types and
    // band ratios of the previous granules, and parses the tables for the rate.
    void Setup(int samplingFrequency);

    // Analyses 576 new samples of channel ch for one granule. Called for each granule with
    // channel 0 first. history is the channel's sample history (cleared at open); writes the
    // band ratios, the perceptual entropy, and block_type, window_switching_flag and
    // mixed_block_flag of gi.
    void Analyse(int ch, const std::int16_t* samples, std::int16_t (&history)[kPsyHistory],
                 double (&ratio_l)[kLongBands], double (&ratio_s)[kShortBands][kShortWindows], double& pe,
                 GranuleInfo& gi);

    // The block decision alone, with the type pending for channel ch: returns the type that
    // leaves the model and keeps the new one pending (it also refreshes the channel's long or
    // short ratios from the last analysis).
    int DecideBlockType(int ch, double pe);

    const CPsyTables& Tables() const { return tables_; }
    // The last call's long spectrum and unpredictability, for tests and measurements.
    const float* LongEnergy() const { return energy_; }
    const UnitPhasor* LongDirection() const { return direction_; }
    const double* Unpredictability() const { return c_; }

  private:
    struct SpreadRange {
        int first, end;  // the partitions k with s3[b][k] != 0 lie in [first, end)
    };
    static void FindSpreadingRanges(const double (&s3)[kMaxPartitions][kMaxPartitions], int n,
                                    SpreadRange (&ranges)[kMaxPartitions]);
    void RotateGenerations();
    void LongSpectrum(const std::int16_t (&history)[kPsyHistory]);
    void ShortSpectra(const std::int16_t (&history)[kPsyHistory]);
    void ComputeUnpredictability(int ch);
    double Thresholds(int ch);  // partition thresholds; returns pe
    // exp(-SNR) of partition b for its ratio of weighted unpredictability to energy.
    double ThresholdFactor(int b, double ratio) const;
    double SignalToNoise(int b, double tbb) const;
    void LongRatios(int ch);
    void ShortRatios(int ch);

    CPsyTables tables_;
    SpreadRange spread_l_[kMaxPartitions] = {}, spread_s_[kMaxPartitions] = {};
    // The long spreading function by columns, four rows side by side (rows from npart_l on
    // 0), and each group of four rows' union of ranges.
    static constexpr int kRowGroups = (kMaxPartitions + 3) / 4;
    double s3Columns_l_[kMaxPartitions][4 * kRowGroups] = {};
    SpreadRange groupSpread_l_[kRowGroups] = {};
    // ecb and ct of every long partition: its spread energy and spread weighted energy.
    void SpreadLong(double (&ecb)[4 * kRowGroups], double (&ct)[4 * kRowGroups]) const;
    // Per partition: the long threshold's factor for pure noise and for a pure tone, and the
    // short threshold's factor.
    double noiseFactor_[kMaxPartitions] = {}, toneFactor_[kMaxPartitions] = {};
    double shortFactor_[kMaxPartitions] = {};
    CRealFft<1024> fftLong_;
    // One transform per short window: each keeps its spectrum, whose upper lines only a
    // short block's thresholds need, for CompleteEnergies.
    CRealFft<256> fftShort_[3];
    double window_[1024];
    double window_s_[256];

    // Magnitude and direction of lines 0..5 of the long spectrum, two generations per channel.
    float r_[kMaxChannels][2][kLongFftLines];
    UnitPhasor u_sav_[kMaxChannels][2][kLongFftLines];
    int new_ = 0, old_ = 1, oldest_ = 0;

    double nb_1_[kMaxChannels][kMaxPartitions] = {};
    double nb_2_[kMaxChannels][kMaxPartitions] = {};
    int blocktype_old_[kMaxChannels] = {0, 0};
    double ratio_[kMaxChannels][kLongBands] = {};
    double ratio_s_[kMaxChannels][kShortBands][kShortWindows] = {};

    // Work arrays of one call.
    float fftIn_[1024];
    float fftIn_s_[256];
    float energy_[kLongFftLines];
    UnitPhasor direction_[kLongFftLines];
    float energy_s_[3][kShortFftLines];
    UnitPhasor direction_s_[3][kShortFftLines];
    double c_[kLongFftLines];
    double eb_[kMaxPartitions], cb_[kMaxPartitions], thr_[kMaxPartitions];
};

}  // namespace layer3
