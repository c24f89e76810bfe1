#include "ui/settings_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QVBoxLayout>

#include "job/settings_page.h"

namespace ui {

namespace {

template <std::size_t N>
QComboBox* MakeList(const std::array<const char*, N>& entries, const char* name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    for (const char* e : entries)
        combo->addItem(e);
    return combo;
}

// A check box with its text on the left of the box.
QCheckBox* TextLeftCheckBox(const char* text, const char* name, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setLayoutDirection(Qt::RightToLeft);
    return box;
}

}  // namespace

CSettingsPage::CSettingsPage(CSettingsPageModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    auto* stream = new QGroupBox("Stream Properties", this);
    copyright = TextLeftCheckBox("&Copyright", "copyright", stream);
    original = TextLeftCheckBox("&Original", "original", stream);
    mono = TextLeftCheckBox("&Make Mono", "mono", stream);
    auto* streamLayout = new QVBoxLayout(stream);
    streamLayout->addWidget(copyright);
    streamLayout->addWidget(original);
    streamLayout->addWidget(mono);
    streamLayout->addStretch(1);

    bitrate = MakeList(kBitrateEntries, "bitrate", this);
    deemphasis = MakeList(kDeemphasisEntries, "deemphasis", this);
    encodingMode = MakeList(kEncodingModeEntries, "encodingMode", this);
    auto* lists = new QFormLayout;
    lists->addRow(new QLabel("Bit Rate", this), bitrate);
    lists->addRow(new QLabel("Deemphasis", this), deemphasis);
    lists->addRow(new QLabel("Encoding Mode (built in encoder)", this), encodingMode);

    auto* priorityBox = new QGroupBox("Encoder Priority", this);
    priority = new QSlider(Qt::Horizontal, priorityBox);
    priority->setObjectName("priority");
    priority->setRange(0, 6);
    priority->setPageStep(1);
    priority->setTickPosition(QSlider::TicksBelow);
    priority->setTickInterval(1);
    auto* priorityLayout = new QHBoxLayout(priorityBox);
    priorityLayout->addWidget(new QLabel("Idle", priorityBox));
    priorityLayout->addWidget(priority, 1);
    priorityLayout->addWidget(new QLabel("Max", priorityBox));

    alertWhenDone = new QCheckBox("Alert when done", this);
    alertWhenDone->setObjectName("alertWhenDone");
    useCodec = new QCheckBox("Use Codec", this);
    useCodec->setObjectName("useCodec");

    auto* top = new QHBoxLayout;
    top->addWidget(stream);
    top->addLayout(lists, 1);
    auto* checks = new QHBoxLayout;
    checks->addWidget(alertWhenDone);
    checks->addWidget(useCodec);
    checks->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(priorityBox);
    layout->addLayout(checks);
    layout->addStretch(1);

    ShowValues();
    ShowEnabling();
    Connect();
}

void CSettingsPage::ShowValues() {
    const profile::SettingsValues& v = model_.Current();
    copyright->setChecked(v.copyright != 0);
    original->setChecked(v.original != 0);
    mono->setChecked(v.mono != 0);
    alertWhenDone->setChecked(v.alertWhenDone != 0);
    useCodec->setChecked(v.useCodec != 0);
    bitrate->setCurrentIndex(v.bitrate);
    deemphasis->setCurrentIndex(v.deemphasis);
    encodingMode->setCurrentIndex(v.encodingMode);
    priority->setValue(model_.PrioritySliderPosition());
}

void CSettingsPage::Connect() {
    profile::SettingsValues& v = model_.Current();
    const auto bindBox = [this](QCheckBox* box, int& value) {
        connect(box, &QCheckBox::toggled, this, [v = &value](bool on) { *v = on ? 1 : 0; });
    };
    bindBox(copyright, v.copyright);
    bindBox(original, v.original);
    bindBox(mono, v.mono);
    bindBox(alertWhenDone, v.alertWhenDone);
    bindBox(useCodec, v.useCodec);
    const auto bindList = [this](QComboBox* combo, int& value) {
        connect(combo, &QComboBox::currentIndexChanged, this, [v = &value](int index) { *v = index; });
    };
    bindList(bitrate, v.bitrate);
    bindList(deemphasis, v.deemphasis);
    bindList(encodingMode, v.encodingMode);
    connect(priority, &QSlider::valueChanged, this,
            [this](int position) { model_.SetSliderPosition(position); });
}

void CSettingsPage::EnablePage(bool enable) {
    model_.EnablePage(enable);
    ShowEnabling();
}

void CSettingsPage::ShowEnabling() {
    const SettingsPageEnabling e = model_.Enabling();
    copyright->setEnabled(e.streamProperties);
    original->setEnabled(e.streamProperties);
    mono->setEnabled(e.streamProperties);
    bitrate->setEnabled(e.lists);
    deemphasis->setEnabled(e.lists);
    encodingMode->setEnabled(e.lists);
    useCodec->setEnabled(e.useCodec);
    priority->setEnabled(e.prioritySlider);
    alertWhenDone->setEnabled(e.alertWhenDone);
}

}  // namespace ui
