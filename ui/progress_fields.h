// What both windows show a running job with: the status line and the elapsed and remaining
// times, each a sunken text field, and the row that labels the two times.
#pragma once

#include <QLabel>
#include <string>

class QHBoxLayout;

namespace ui {

struct ProgressFields {
    explicit ProgressFields(QWidget* parent);

    // "Elapsed Time:" and "Remaining Time:" with their fields, in one row.
    QHBoxLayout* TimesRow(QWidget* parent) const;
    void SetStatus(const std::string& text) { status->setText(QString::fromStdString(text)); }
    void SetElapsed(const std::string& text) { elapsed->setText(QString::fromStdString(text)); }
    void SetRemaining(const std::string& text) { remaining->setText(QString::fromStdString(text)); }

    QLabel* status;
    QLabel* elapsed;
    QLabel* remaining;
};

}  // namespace ui
