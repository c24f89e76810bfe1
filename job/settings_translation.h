// How the Settings page's controls and the command line's switches translate into values of
// the encoding settings record.
#pragma once

// Bit-rate combo entry k ("32 Kbps" .. "320 Kbps") is bitrate_index k + 1; an index off the
// list is taken as the default entry, 128 Kbps.
int BitrateIndexForComboIndex(int comboIndex);
// Header emphasis code of the de-emphasis combo entry: "None" 0, "50/15 usec" 1, "CCITT" 3;
// any other entry gives 0.
int DeemphasisCodeForComboIndex(int comboIndex);
// The encoding-mode combo entry is the mode itself; an index off the list gives the default, 1.
int EncodingModeForComboIndex(int comboIndex);
// Win32 thread priority of the "Encoder Priority" slider position 0..6 (Idle .. Max); a
// position outside the slider gives normal priority.
int PriorityForSliderPosition(int position);

// Command line: -b<kbps> gives the table index of a listed bit rate, otherwise -1 (the bit
// rate stays 128 kbps).
int BitrateIndexForKbps(int kbps);
// Command line: -e1 gives emphasis code 1, -e2 code 3, anything else 0.
int DeemphasisCodeForSwitchDigit(int digit);
// Command line: -p0..-p6 as the slider positions, except that anything but 0, 1, 2, 4, 5, 6
// gives normal priority.
int PriorityForSwitchDigit(int digit);

struct EncodingSettings;
namespace profile {
struct SettingsValues;
}

// Puts the Settings page's values (or the profile's) into the record as Go does; UseCodec
// stays 0 when no codec was found.
void ApplySettingsValues(const profile::SettingsValues& values, bool codecFound, EncodingSettings& settings);

// The slider position the Settings page starts at: normal priority.
inline constexpr int kDefaultPrioritySliderPosition = 3;
