#include "job/settings_translation.h"

#include <array>

#include "job/encoding_settings.h"
#include "job/profile_values.h"

namespace {
constexpr std::array<int, 7> kSliderPriorities = {-15, -2, -1, 0, 1, 2, 15};
}

int BitrateIndexForComboIndex(int comboIndex) {
    // An index off the list would give free format (0) or no rate at all.
    if (comboIndex < 0 || comboIndex >= profile::kBitrateComboEntries)
        comboIndex = profile::kBitrate.defaultValue;
    return comboIndex + 1;
}

int DeemphasisCodeForComboIndex(int comboIndex) {
    switch (comboIndex) {
        case 1:
            return 1;
        case 2:
            return 3;
        default:
            return 0;
    }
}

int EncodingModeForComboIndex(int comboIndex) {
    if (comboIndex < 0 || comboIndex >= profile::kEncodingModeComboEntries)
        return profile::kEncodingMode.defaultValue;
    return comboIndex;
}

int PriorityForSliderPosition(int position) {
    if (position < 0 || position >= static_cast<int>(kSliderPriorities.size())) return 0;
    return kSliderPriorities[static_cast<std::size_t>(position)];
}

int BitrateIndexForKbps(int kbps) {
    for (std::size_t i = 1; i < kBitrateTable.size(); ++i)
        if (kBitrateTable[i] == kbps) return static_cast<int>(i);
    return -1;
}

int DeemphasisCodeForSwitchDigit(int digit) {
    return DeemphasisCodeForComboIndex(digit);
}

int PriorityForSwitchDigit(int digit) {
    return PriorityForSliderPosition(digit);
}

void ApplySettingsValues(const profile::SettingsValues& v, bool codecFound, EncodingSettings& s) {
    s.SetBitrateIndex(BitrateIndexForComboIndex(v.bitrate));
    s.Deemphasis = DeemphasisCodeForComboIndex(v.deemphasis);
    s.Copyright = v.copyright;
    s.Original = v.original;
    s.Mono = v.mono;
    s.EncodingMode = EncodingModeForComboIndex(v.encodingMode);
    s.UseCodec = codecFound ? v.useCodec : 0;
    s.InfoHeader = v.infoHeader;
    s.Tags = v.tags;
    s.ReplayGain = v.replayGain;
}
