// The "Settings" page: the stream properties, bit rate, de-emphasis and encoding mode, the
// alert and codec choices, and the encoder priority slider.
#pragma once

#include <QWidget>

class CSettingsPageModel;
class QCheckBox;
class QComboBox;
class QSlider;

namespace ui {

class CSettingsPage : public QWidget {
  public:
    // The model has been initialised from the profile; its values go into the controls.
    CSettingsPage(CSettingsPageModel& model, QWidget* parent);

    void EnablePage(bool enable);

    QCheckBox* copyright;
    QCheckBox* original;
    QCheckBox* mono;
    QCheckBox* alertWhenDone;
    QCheckBox* useCodec;
    QComboBox* bitrate;
    QComboBox* deemphasis;
    QComboBox* encodingMode;
    QSlider* priority;

  private:
    void ShowValues();
    void ShowEnabling();
    void Connect();

    CSettingsPageModel& model_;
};

}  // namespace ui
