#include "ui/dae_page.h"

#include <QButtonGroup>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "cdda/dae_page.h"

namespace ui {

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setAccelerated(false);
    setKeyboardTracking(true);
}

void SpinEdit::stepBy(int steps) {
    if (onStep) onStep(steps);
}

QString SpinEdit::Text() const {
    return lineEdit()->text();
}

void SpinEdit::SetText(const QString& text) {
    if (lineEdit()->text() != text) lineEdit()->setText(text);
}

void SpinEdit::SelectAllText() {
    setFocus();
    lineEdit()->selectAll();
}

CDaePage::CDaePage(cdda::CDaePage& logic, QWidget* parent) : QWidget(parent), logic_(logic) {
    auto* modeBox = new QGroupBox("Extraction Mode", this);
    normal = new QRadioButton("Normal", modeBox);
    buffered = new QRadioButton("Buffered", modeBox);
    jitter = new QRadioButton("Jitter Correction", modeBox);
    normal->setObjectName("normal");
    buffered->setObjectName("buffered");
    jitter->setObjectName("jitter");
    auto* group = new QButtonGroup(this);
    group->addButton(normal, 0);
    group->addButton(buffered, 1);
    group->addButton(jitter, 2);
    auto* modes = new QVBoxLayout(modeBox);
    modes->addWidget(normal);
    modes->addWidget(buffered);
    modes->addWidget(jitter);

    readSectors = new SpinEdit(this);
    synchSectors = new SpinEdit(this);
    readSectors->setObjectName("readSectors");
    synchSectors->setObjectName("synchSectors");
    readSectors->setFixedWidth(70);
    synchSectors->setFixedWidth(70);
    auto* fields = new QFormLayout;
    fields->addRow(new QLabel("# Read Sectors", this), readSectors);
    fields->addRow(new QLabel("# Synch Sectors", this), synchSectors);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(modeBox);
    layout->addLayout(fields);
    layout->addStretch(1);

    const int mode = logic_.Values().mode;
    if (QAbstractButton* b = group->button(mode >= 0 && mode <= 2 ? mode : 0)) b->setChecked(true);
    ShowTexts();

    connect(group, &QButtonGroup::idClicked, this, [this](int id) { logic_.SetMode(id); });
    connect(readSectors->Edit(), &QLineEdit::textChanged, this,
            [this](const QString& t) { logic_.SetReadSectorsText(t.toStdString()); });
    connect(synchSectors->Edit(), &QLineEdit::textChanged, this,
            [this](const QString& t) { logic_.SetSynchSectorsText(t.toStdString()); });
    readSectors->onStep = [this](int steps) {
        logic_.OnReadSectorsSpin(steps);
        ShowTexts();
    };
    synchSectors->onStep = [this](int steps) {
        logic_.OnSynchSectorsSpin(steps);
        ShowTexts();
    };
}

void CDaePage::ShowTexts() {
    readSectors->SetText(QString::fromStdString(logic_.ReadSectorsText()));
    synchSectors->SetText(QString::fromStdString(logic_.SynchSectorsText()));
}

void CDaePage::EnablePage(bool enable) {
    for (QWidget* w : findChildren<QWidget*>())
        w->setEnabled(enable);
}

bool CDaePage::TakeOver() {
    if (logic_.TakeOver()) return true;
    if (logic_.FieldInError() == cdda::CDaePage::kReadSectors) readSectors->SelectAllText();
    if (logic_.FieldInError() == cdda::CDaePage::kSynchSectors) synchSectors->SelectAllText();
    return false;
}

}  // namespace ui
