// The "DAE" page: the extraction mode and the two sector counts with their spin arrows.
#pragma once

#include <QAbstractSpinBox>
#include <QLineEdit>
#include <QWidget>
#include <functional>

class QRadioButton;

namespace cdda {
class CDaePage;
}

namespace ui {

// An edit field with spin arrows whose text is the user's to type (the page checks it when
// its data are taken over); the arrows and the arrow keys call onStep.
class SpinEdit : public QAbstractSpinBox {
  public:
    explicit SpinEdit(QWidget* parent);
    std::function<void(int)> onStep;
    void stepBy(int steps) override;
    QString Text() const;
    void SetText(const QString& text);
    void SelectAllText();
    // The edit field, as the user types into it.
    QLineEdit* Edit() const { return lineEdit(); }

  protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
};

class CDaePage : public QWidget {
  public:
    // The logic has been initialised from the profile.
    CDaePage(cdda::CDaePage& logic, QWidget* parent);

    void EnablePage(bool enable);
    // Takes the fields over; false after the message, with the page's field in error selected.
    bool TakeOver();

    QRadioButton* normal;
    QRadioButton* buffered;
    QRadioButton* jitter;
    SpinEdit* readSectors;
    SpinEdit* synchSectors;

  private:
    void ShowTexts();

    cdda::CDaePage& logic_;
};

}  // namespace ui
