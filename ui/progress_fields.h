// What both windows show a running job with: the status line and the elapsed and remaining
// times, each a sunken text field, and the row that labels the two times.
#pragma once

#include <QLabel>
#include <string>

class QHBoxLayout;

namespace ui {

// The status line: when its text is wider than the field, the file name in it gives way,
// shortened in the middle, so that what follows it (the percentage) stays in view. The whole
// text is its tool tip then.
class StatusLine : public QLabel {
  public:
    explicit StatusLine(QWidget* parent);
    void SetFullText(const QString& text);
    const QString& FullText() const { return full_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void Fit();
    QString full_;
};

// The status text for a field `width` pixels wide: "Encoding <name> at ..." or "Extracting
// <name> at ..." with the name (between the first blank and the last " at ") shortened in
// the middle until the text fits; any other text is shortened at its end.
QString FitStatusText(const QString& text, const QFontMetrics& metrics, int width);

struct ProgressFields {
    explicit ProgressFields(QWidget* parent);

    // "Elapsed Time:" and "Remaining Time:" with their fields, in one row.
    QHBoxLayout* TimesRow(QWidget* parent) const;
    void SetStatus(const std::string& text) { status->SetFullText(QString::fromStdString(text)); }
    void SetElapsed(const std::string& text) { elapsed->setText(QString::fromStdString(text)); }
    void SetRemaining(const std::string& text) { remaining->setText(QString::fromStdString(text)); }

    StatusLine* status;
    QLabel* elapsed;
    QLabel* remaining;
};

}  // namespace ui
