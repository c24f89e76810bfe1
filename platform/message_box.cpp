#include "platform/message_box.h"

#include <atomic>

#include "platform/console_message_box.h"

namespace platform {

namespace {
// The installed front end. Set by a front end at start-up (or by a test), read by every box.
std::atomic<MessageBoxFrontEnd*> installedFrontEnd{nullptr};
}  // namespace

int MessageBoxRequest::FirstAnswer() const {
    switch (Buttons()) {
        case MB_OKCANCEL:
            return IDOK;
        case MB_YESNO:
            return IDYES;
        default:
            return IDOK;
    }
}

int MessageBoxRequest::SecondAnswer() const {
    switch (Buttons()) {
        case MB_OKCANCEL:
            return IDCANCEL;
        case MB_YESNO:
            return IDNO;
        default:
            return IDOK;
    }
}

int MessageBoxRequest::DefaultAnswer() const {
    return (type & MB_DEFBUTTON_MASK) == MB_DEFBUTTON2 ? SecondAnswer() : FirstAnswer();
}

MessageBoxFrontEnd* SetMessageBoxFrontEnd(MessageBoxFrontEnd* frontEnd) {
    return installedFrontEnd.exchange(frontEnd);
}

int MessageBox(const std::string& text, const std::string& caption, unsigned type,
               const std::string& details) {
    MessageBoxRequest request{text, caption, type, details};
    MessageBoxFrontEnd* frontEnd = installedFrontEnd.load();
    if (frontEnd == nullptr) frontEnd = &ConsoleMessageBox::Standard();
    return frontEnd->Show(request);
}

}  // namespace platform
