// Window messages for the Qt front end: the worker's posts and sends, and the calls it makes
// to the user-interface thread (message boxes), are queued here and handled on the thread
// that runs the Qt event loop, from a queued invocation or from DispatchPending() while that
// thread waits for the worker.
#pragma once

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/window.h"

namespace platform {

class QtWindow : public QObject, public WindowHandle {
  public:
    explicit QtWindow(MessageHandler handler, QObject* parent = nullptr);
    ~QtWindow() override;

    void Post(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) override;
    std::intptr_t Send(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) override;
    int DispatchPending() override;

    // Runs fn on the user-interface thread and returns its result; the caller waits. On that
    // thread itself it runs at once. After Close() it returns fallback without running.
    std::intptr_t Call(const std::function<std::intptr_t()>& fn, std::intptr_t fallback = 0);

    // The window is going away: waiting senders get 0, later posts and sends are dropped.
    void Close();

    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }

  private:
    struct Slot;
    struct Pending {
        Message message;
        std::function<std::intptr_t()> call;  // set for Call()
        std::shared_ptr<Slot> slot;           // set for Send() and Call()
    };
    using Clock = std::chrono::steady_clock;

    std::intptr_t Wait(Pending pending);
    // Asks the event loop to drain the queue; under mutex_.
    void ScheduleDrain(bool urgent);
    void Drain();
    bool TakeOne(Pending& out);

    MessageHandler handler_;
    std::thread::id owner_;
    std::mutex mutex_;
    std::deque<Pending> queue_;
    bool drainQueued_ = false;
    bool timerArmed_ = false;
    bool urgent_ = false;
    bool closed_ = false;
    Clock::time_point lastDrain_{};
};

}  // namespace platform
