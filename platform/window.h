// Window messages sent or posted from another thread.
//
// A window handle delivers messages to a handler on its user-interface thread. Post queues and
// never blocks; Send blocks until the handler has run on that thread and returns its result
// (called on the user-interface thread itself, it runs the handler at once, as Win32 does).
// Each front end supplies the loop that dispatches them: MessageQueueWindow below serves the
// console and the tests; the Qt front end provides its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace platform {

inline constexpr unsigned WM_USER = 0x0400;

// A post made within this time of the owning thread's last wake-up is queued without waking it
// again: the thread is still handling messages, or its wait ends when the interval does. A
// worker posts its progress after every frame, thousands of times a second, and waking the
// window's thread for each took about a twelfth of the program's CPU time; the window cannot
// show more than a hundred changes a second anyway. Sends and Wake() always wake at once.
inline constexpr std::chrono::milliseconds kQuietPostInterval{10};

struct Message {
    unsigned id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

using MessageHandler = std::function<std::intptr_t(const Message&)>;

class WindowHandle {
  public:
    virtual ~WindowHandle() = default;
    virtual void Post(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual std::intptr_t Send(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) = 0;
    // Handles the messages waiting for the window; only on its user-interface thread, where a
    // wait must not hold up a sender. The number handled.
    virtual int DispatchPending() = 0;
};

// A message queue drained by the thread that constructed it.
class MessageQueueWindow : public WindowHandle {
  public:
    explicit MessageQueueWindow(MessageHandler handler);
    ~MessageQueueWindow() override;

    void Post(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) override;
    std::intptr_t Send(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) override;

    // Dispatches every queued message; returns how many ran. Call on the owning thread.
    int DispatchPending() override;
    // Dispatches messages until done() is true, waiting for new ones in between. done() is
    // checked after every message and whenever Wake() is called.
    void RunUntil(const std::function<bool()>& done);
    // Wakes RunUntil so that it checks its condition again.
    void Wake();
    // Dispatches messages for at most the given time or until one arrives and is handled.
    int DispatchFor(unsigned milliseconds);
    // Called, under the queue's lock, each time the owning thread is woken: a front end whose
    // thread waits in an event loop of its own schedules DispatchPending() from it (and must not
    // dispatch inside it).
    void SetWakeHook(std::function<void()> hook);
    // The window is going away: waiting senders get 0, later posts and sends are dropped. The
    // destructor does this too.
    void Close();

  private:
    struct Pending {
        Message message;
        // Set for a Send: the sender waits for the result.
        std::shared_ptr<struct SendSlot> slot;
    };
    using Clock = std::chrono::steady_clock;
    bool TakeOne(Pending& out);
    void Dispatch(Pending& pending);
    // Wakes the owning thread and starts a new interval of quiet posts. Under mutex_.
    void WakeOwner();
    // Waits under the lock until ready() or the deadline, checking again at the end of each
    // interval of quiet posts. False at the deadline.
    bool WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline,
                   const std::function<bool()>& ready);

    MessageHandler handler_;
    std::thread::id owner_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Pending> queue_;
    // When the owning thread was last woken; posts within kQuietPostInterval of it do not wake
    // it again.
    Clock::time_point lastWake_{};
    bool woken_ = false;
    bool closing_ = false;
    std::function<void()> wakeHook_;
};

}  // namespace platform
