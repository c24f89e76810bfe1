// The Settings page without its widgets: its values, the entries of its three lists, the
// getters Go and the progress handler call, and which controls are enabled when.
#pragma once

#include <array>

#include "job/job_views.h"
#include "job/profile_values.h"

inline constexpr std::array<const char*, 14> kBitrateEntries = {
    "32 Kbps",  "40 Kbps",  "48 Kbps",  "56 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps",
    "112 Kbps", "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps", "256 Kbps", "320 Kbps"};
inline constexpr std::array<const char*, 3> kDeemphasisEntries = {"None", "50/15 usec", "CCITT"};
inline constexpr std::array<const char*, 4> kEncodingModeEntries = {
    "ISO mode", "Minimize Audible Distortion(Default)", "Minimize # of Distorted Bands",
    "Minimize Total Distortion"};

// Which of the page's controls take input.
struct SettingsPageEnabling {
    bool streamProperties = true;  // "&Copyright", "&Original", "&Make Mono"
    bool lists = true;             // bit rate, de-emphasis and encoding mode
    bool useCodec = true;
    bool prioritySlider = true;
    bool alertWhenDone = true;
};

class CSettingsPageModel : public SettingsPageView {
  public:
    explicit CSettingsPageModel(bool codecFound) : codecFound_(codecFound) {}

    // The page's window is created: the "Settings" values from the profile, the slider at
    // normal priority, and the controls as enabled as a batch that may be running allows.
    void Initialise(const profile::AppProfile& profile, bool batchRunning);

    profile::SettingsValues& Current() { return values_; }
    void SetSliderPosition(int position) { slider_ = position; }
    bool CodecFound() const { return codecFound_; }

    // Win32 thread priority of the slider; 0 without a window.
    int GetPriority() const;
    // Header emphasis code; 0 without a window.
    int GetDeemphasisCode() const;
    // 1 without a window.
    int GetEncodingMode() const;

    void EnablePage(bool enable) { enabled_ = enable; }
    SettingsPageEnabling Enabling() const;

    // SettingsPageView.
    bool HasWindow() const override { return hasWindow_; }
    profile::SettingsValues Values() override { return values_; }
    int PrioritySliderPosition() const override { return slider_; }

  private:
    bool codecFound_;
    bool hasWindow_ = false;
    bool enabled_ = true;
    profile::SettingsValues values_;
    int slider_ = 3;
};
