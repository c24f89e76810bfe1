#include <gtest/gtest.h>

#include "job/encoding_settings.h"
#include "job/settings_translation.h"

TEST(EncodingSettings, StartsWithTheDefaults) {
    EncodingSettings s;
    EXPECT_EQ(s.version, 1);
    EXPECT_EQ(s.Bitrate, 128);
    EXPECT_EQ(s.bitrateIndex, 9);
    EXPECT_EQ(s.EncodingMode, 1);
    EXPECT_EQ(s.mode, 0);
    EXPECT_EQ(s.Mono, 0);
    EXPECT_EQ(s.UseCodec, 0);
    EXPECT_TRUE(s.currentFile.empty());
    EXPECT_EQ(encodingSettings.Bitrate, 128);
}

TEST(EncodingSettings, ResetRestoresOnlyTheUsersChoicesAndHeaderConstants) {
    EncodingSettings s;
    s.SetBitrateIndex(14);
    s.Mono = 1;
    s.Copyright = s.Original = 1;
    s.Deemphasis = 3;
    s.EncodingMode = 3;
    s.mode = 3;
    s.UseCodec = 1;
    s.nsectors = 26;
    s.frameCount = 12;
    s.samplingFrequencyHz = 48000;
    s.currentFile = "a.wav";
    s.ResetToDefaults();
    EXPECT_EQ(s.Bitrate, 128);
    EXPECT_EQ(s.bitrateIndex, 9);
    EXPECT_EQ(s.Mono + s.Copyright + s.Original + s.Deemphasis + s.mode, 0);
    EXPECT_EQ(s.EncodingMode, 1);
    // Never touched by the defaults.
    EXPECT_EQ(s.UseCodec, 1);
    EXPECT_EQ(s.nsectors, 26);
    EXPECT_EQ(s.frameCount, 12);
    EXPECT_EQ(s.samplingFrequencyHz, 48000);
    EXPECT_EQ(s.currentFile.get(), "a.wav");
}

TEST(EncodingSettings, BitrateIndexOutsideTheTableChangesNothing) {
    EncodingSettings s;
    EXPECT_EQ(s.SetBitrateIndex(15), -1);
    EXPECT_EQ(s.SetBitrateIndex(-1), -1);
    EXPECT_EQ(s.Bitrate, 128);
    EXPECT_EQ(s.bitrateIndex, 9);
    EXPECT_EQ(s.SetBitrateIndex(14), 320);
    EXPECT_EQ(s.SetBitrateIndex(1), 32);
    EXPECT_EQ(s.bitrateIndex, 1);
}

TEST(EncodingSettings, SamplingFrequencyIndexAndFallback) {
    EncodingSettings s;
    EXPECT_EQ(s.SetSamplingFrequency(32000), 2);
    EXPECT_EQ(s.SetSamplingFrequency(48000), 1);
    EXPECT_EQ(s.samplingFrequencyHz, 48000);
    EXPECT_EQ(s.SetSamplingFrequency(22050), 0);
    EXPECT_EQ(s.samplingFrequencyHz, 44100);
}

TEST(EncodingSettings, CopiesCarryCountersAndCurrentFile) {
    EncodingSettings s;
    s.batchFramesDone = 5;
    ++s.batchFramesDone;
    s.currentFile = "/x/y.wav";
    EncodingSettings copy = s;
    EXPECT_EQ(copy.batchFramesDone, 6);
    EXPECT_EQ(copy.currentFile.get(), "/x/y.wav");
}

TEST(SettingsTranslation, ControlsAndSwitchesGiveRecordValues) {
    // Bit-rate combo entry k is index k + 1: the default entry 8 is 128 kbps.
    EncodingSettings s;
    EXPECT_EQ(s.SetBitrateIndex(BitrateIndexForComboIndex(8)), 128);
    EXPECT_EQ(s.SetBitrateIndex(BitrateIndexForComboIndex(13)), 320);
    // "CCITT" is header code 3, never 2.
    EXPECT_EQ(DeemphasisCodeForComboIndex(0), 0);
    EXPECT_EQ(DeemphasisCodeForComboIndex(1), 1);
    EXPECT_EQ(DeemphasisCodeForComboIndex(2), 3);
    EXPECT_EQ(DeemphasisCodeForComboIndex(3), 0);
    EXPECT_EQ(EncodingModeForComboIndex(2), 2);
    const int slider[] = {-15, -2, -1, 0, 1, 2, 15};
    for (int pos = 0; pos < 7; ++pos)
        EXPECT_EQ(PriorityForSliderPosition(pos), slider[pos]);
    EXPECT_EQ(PriorityForSliderPosition(kDefaultPrioritySliderPosition), 0);
    EXPECT_EQ(PriorityForSliderPosition(9), 0);

    EXPECT_EQ(BitrateIndexForKbps(192), 11);
    EXPECT_EQ(BitrateIndexForKbps(100), -1);
    EXPECT_EQ(BitrateIndexForKbps(0), -1);
    EXPECT_EQ(DeemphasisCodeForSwitchDigit(2), 3);
    EXPECT_EQ(DeemphasisCodeForSwitchDigit(7), 0);
    EXPECT_EQ(PriorityForSwitchDigit(0), -15);
    EXPECT_EQ(PriorityForSwitchDigit(3), 0);
    EXPECT_EQ(PriorityForSwitchDigit(6), 15);
    EXPECT_EQ(PriorityForSwitchDigit(8), 0);
}
