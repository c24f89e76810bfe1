// Window messages for the Qt front end: the queue of the console and the tests, drained on the
// thread that runs the Qt event loop, from a queued invocation when a post or send wakes it or
// from DispatchPending() while that thread waits for the worker. The worker's calls to the
// user-interface thread (message boxes) travel the same way.
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "platform/window.h"

namespace platform {

class QtWindow : public QObject, public MessageQueueWindow {
  public:
    explicit QtWindow(MessageHandler handler, QObject* parent = nullptr);
    // Closes the queue before its timer goes, so that no sender wakes a window half gone.
    ~QtWindow() override { Close(); }

    // Runs fn on the user-interface thread and returns its result; the caller waits. On that
    // thread itself it runs at once. After Close() it returns fallback without running.
    std::intptr_t Call(const std::function<std::intptr_t()>& fn, std::intptr_t fallback = 0);

  private:
    // Handles what is queued; while messages keep coming, looks again when the quiet interval
    // of posts ends, so that a post that did not wake the loop is not left waiting.
    void Drain();

    // Restarted by every drain that handled messages: it fires a quiet interval after the last.
    QTimer quietEnd_;
};

}  // namespace platform
