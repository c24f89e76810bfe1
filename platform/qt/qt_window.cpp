#include "platform/qt/qt_window.h"

#include <QMetaObject>

namespace platform {

namespace {

// The message that carries a Call: lParam points to the request.
constexpr unsigned WM_CALL = WM_USER + 100;

struct CallRequest {
    const std::function<std::intptr_t()>& fn;
    std::intptr_t result = 0;
    bool ran = false;
};

}  // namespace

QtWindow::QtWindow(MessageHandler handler, QObject* parent)
    : QObject(parent), MessageQueueWindow([handler = std::move(handler)](const Message& m) -> std::intptr_t {
          if (m.id != WM_CALL) return handler(m);
          auto* call = reinterpret_cast<CallRequest*>(m.lParam);
          call->result = call->fn();
          call->ran = true;
          return 0;
      }) {
    quietEnd_.setSingleShot(true);
    quietEnd_.setInterval(kQuietPostInterval);
    QObject::connect(&quietEnd_, &QTimer::timeout, this, [this] { Drain(); });
    SetWakeHook([this] {
        QMetaObject::invokeMethod(
            this, [this] { Drain(); }, Qt::QueuedConnection);
    });
}

void QtWindow::Drain() {
    // A post within the quiet interval of the last wake-up wakes nothing. That wake-up's
    // message was handled by a drain no earlier than it, and the timer runs a quiet interval
    // past the last such drain, so it finds the post.
    if (DispatchPending() > 0) quietEnd_.start();
}

std::intptr_t QtWindow::Call(const std::function<std::intptr_t()>& fn, std::intptr_t fallback) {
    CallRequest call{fn};
    Send(WM_CALL, 0, reinterpret_cast<std::intptr_t>(&call));
    return call.ran ? call.result : fallback;
}

}  // namespace platform
