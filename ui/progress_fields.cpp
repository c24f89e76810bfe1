#include "ui/progress_fields.h"

#include <QHBoxLayout>

namespace ui {

namespace {

QLabel* SunkenField(const char* name, QWidget* parent) {
    auto* field = new QLabel(parent);
    field->setObjectName(name);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setMinimumWidth(80);
    return field;
}

}  // namespace

ProgressFields::ProgressFields(QWidget* parent)
    : status(SunkenField("status", parent)),
      elapsed(SunkenField("elapsed", parent)),
      remaining(SunkenField("remaining", parent)) {}

QHBoxLayout* ProgressFields::TimesRow(QWidget* parent) const {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Elapsed Time:", parent));
    row->addWidget(elapsed);
    row->addSpacing(12);
    row->addWidget(new QLabel("Remaining Time:", parent));
    row->addWidget(remaining);
    row->addStretch(1);
    return row;
}

}  // namespace ui
