#include "job/settings_page.h"

#include "job/settings_translation.h"

void CSettingsPageModel::Initialise(const profile::AppProfile& profile, bool batchRunning) {
    values_ = profile::ReadSettings(profile, codecFound_);
    if (!codecFound_) values_.useCodec = 0;
    slider_ = kDefaultPrioritySliderPosition;
    hasWindow_ = true;
    enabled_ = !batchRunning;
}

int CSettingsPageModel::GetPriority() const {
    return hasWindow_ ? PriorityForSliderPosition(slider_) : 0;
}

int CSettingsPageModel::GetDeemphasisCode() const {
    return hasWindow_ ? DeemphasisCodeForComboIndex(values_.deemphasis) : 0;
}

int CSettingsPageModel::GetEncodingMode() const {
    return hasWindow_ ? EncodingModeForComboIndex(values_.encodingMode) : 1;
}

SettingsPageEnabling CSettingsPageModel::Enabling() const {
    SettingsPageEnabling e;
    e.streamProperties = enabled_;
    e.lists = enabled_;
    // The codec box follows the codec alone: a batch never greys it, a missing codec always.
    e.useCodec = codecFound_;
    return e;
}
