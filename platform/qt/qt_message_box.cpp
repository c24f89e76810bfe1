#include "platform/qt/qt_message_box.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include "platform/qt/qt_window.h"

namespace platform {

namespace {

QMessageBox::Icon IconFor(unsigned icon) {
    switch (icon) {
        case MB_ICONHAND:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONEXCLAMATION:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

}  // namespace

QtMessageBox::QtMessageBox(QtWindow* window) : window_(window), previous_(SetMessageBoxFrontEnd(this)) {}

QtMessageBox::~QtMessageBox() {
    SetMessageBoxFrontEnd(previous_);
}

int QtMessageBox::ShowNow(const MessageBoxRequest& request) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QString::fromStdString(request.caption));
    box.setText(QString::fromStdString(request.text));
    if (!request.details.empty()) box.setDetailedText(QString::fromStdString(request.details));
    if (request.Icon() == MB_USERICON && !QApplication::windowIcon().isNull())
        box.setIconPixmap(QApplication::windowIcon().pixmap(32, 32));
    else
        box.setIcon(IconFor(request.Icon()));
    QPushButton* first = nullptr;
    QPushButton* second = nullptr;
    switch (request.Buttons()) {
        case MB_OKCANCEL:
            first = box.addButton(QMessageBox::Ok);
            second = box.addButton(QMessageBox::Cancel);
            break;
        case MB_YESNO:
            first = box.addButton(QMessageBox::Yes);
            second = box.addButton(QMessageBox::No);
            break;
        default:
            first = box.addButton(QMessageBox::Ok);
            break;
    }
    const bool secondIsDefault = second && request.DefaultAnswer() == request.SecondAnswer();
    box.setDefaultButton(secondIsDefault ? second : first);
    // Escape gives the negative answer, or OK when it is the only button.
    box.setEscapeButton(second ? second : first);
    box.exec();
    return box.clickedButton() == second && second ? request.SecondAnswer() : request.FirstAnswer();
}

int QtMessageBox::Show(const MessageBoxRequest& request) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) return ShowNow(request);
    if (window_)
        return static_cast<int>(
            window_->Call([&] { return std::intptr_t{ShowNow(request)}; }, request.DefaultAnswer()));
    int answer = request.DefaultAnswer();
    QMetaObject::invokeMethod(
        app, [&] { answer = ShowNow(request); }, Qt::BlockingQueuedConnection);
    return answer;
}

void Beep() {
    QApplication::beep();
}

}  // namespace platform
