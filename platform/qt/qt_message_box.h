// Message boxes of the desktop window: QMessageBox on the user-interface thread. A box asked
// for from the worker is handed to that thread through the window's queue, and the worker
// waits for the answer; the thread then shows it even while it waits for the worker itself.
#pragma once

#include "platform/message_box.h"

namespace platform {

class QtWindow;

class QtMessageBox : public MessageBoxFrontEnd {
  public:
    // Installs itself for its lifetime. Boxes from other threads go through window; without
    // one they are handed to the application object's thread.
    explicit QtMessageBox(QtWindow* window = nullptr);
    ~QtMessageBox() override;
    QtMessageBox(const QtMessageBox&) = delete;
    QtMessageBox& operator=(const QtMessageBox&) = delete;

    void SetWindow(QtWindow* window) { window_ = window; }
    int Show(const MessageBoxRequest& request) override;

    // Shows the box modally on the calling (user-interface) thread.
    static int ShowNow(const MessageBoxRequest& request);

  private:
    QtWindow* window_;
    MessageBoxFrontEnd* previous_;
};

// The default beep of the desktop.
void Beep();

}  // namespace platform
