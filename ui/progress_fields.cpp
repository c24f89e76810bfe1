#include "ui/progress_fields.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <algorithm>

namespace ui {

namespace {

void MakeSunken(QLabel* field, const char* name) {
    field->setObjectName(name);
    field->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    field->setMinimumWidth(80);
}

QLabel* SunkenField(const char* name, QWidget* parent) {
    auto* field = new QLabel(parent);
    MakeSunken(field, name);
    return field;
}

}  // namespace

QString FitStatusText(const QString& text, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const qsizetype nameStart = text.indexOf(' ') + 1;
    const qsizetype nameEnd = text.lastIndexOf(" at ");
    if (nameStart <= 0 || nameEnd <= nameStart) return metrics.elidedText(text, Qt::ElideRight, width);
    const QString head = text.left(nameStart);
    const QString tail = text.mid(nameEnd);
    const int room = width - metrics.horizontalAdvance(head) - metrics.horizontalAdvance(tail);
    return head + metrics.elidedText(text.mid(nameStart, nameEnd - nameStart), Qt::ElideMiddle, room) + tail;
}

StatusLine::StatusLine(QWidget* parent) : QLabel(parent) {
    MakeSunken(this, "status");
    // A long text never widens the window: the field takes the width the window gives it.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusLine::SetFullText(const QString& text) {
    if (text == full_) return;
    full_ = text;
    Fit();
}

void StatusLine::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Fit();
}

void StatusLine::Fit() {
    const int width = contentsRect().width() - 2 * margin() - 2 * indent();
    const QString shown = FitStatusText(full_, fontMetrics(), std::max(width, 0));
    setText(shown);
    setToolTip(shown == full_ ? QString() : full_);
}

ProgressFields::ProgressFields(QWidget* parent)
    : status(new StatusLine(parent)),
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
