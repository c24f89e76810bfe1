#include "platform/window.h"

#include <algorithm>
#include <chrono>

namespace platform {

struct SendSlot {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::intptr_t result = 0;
};

MessageQueueWindow::MessageQueueWindow(MessageHandler handler)
    : handler_(std::move(handler)), owner_(std::this_thread::get_id()) {}

MessageQueueWindow::~MessageQueueWindow() {
    Close();
}

void MessageQueueWindow::Close() {
    // Senders still waiting are released with a result of 0: the window is gone.
    std::deque<Pending> left;
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
        left.swap(queue_);
    }
    for (auto& p : left) {
        if (!p.slot) continue;
        std::lock_guard lock(p.slot->mutex);
        p.slot->finished = true;
        p.slot->done.notify_all();
    }
}

void MessageQueueWindow::Post(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard lock(mutex_);
    if (closing_) return;
    queue_.push_back({{id, wParam, lParam}, nullptr});
    if (Clock::now() - lastWake_ >= kQuietPostInterval) WakeOwner();
}

void MessageQueueWindow::SetWakeHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    wakeHook_ = std::move(hook);
}

void MessageQueueWindow::WakeOwner() {
    lastWake_ = Clock::now();
    changed_.notify_all();
    if (wakeHook_) wakeHook_();
}

bool MessageQueueWindow::WaitUntil(std::unique_lock<std::mutex>& lock, Clock::time_point deadline,
                                   const std::function<bool()>& ready) {
    for (;;) {
        if (ready()) return true;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        // A post in the quiet interval did not notify: look again when the interval ends.
        const Clock::time_point quietEnd = lastWake_ + kQuietPostInterval;
        if (now < quietEnd)
            changed_.wait_until(lock, std::min(quietEnd, deadline));
        else if (deadline == Clock::time_point::max())
            changed_.wait(lock);
        else
            changed_.wait_until(lock, deadline);
    }
}

std::intptr_t MessageQueueWindow::Send(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) {
    if (std::this_thread::get_id() == owner_) return handler_({id, wParam, lParam});
    auto slot = std::make_shared<SendSlot>();
    {
        std::lock_guard lock(mutex_);
        if (closing_) return 0;
        queue_.push_back({{id, wParam, lParam}, slot});
        WakeOwner();
    }
    std::unique_lock lock(slot->mutex);
    slot->done.wait(lock, [&] { return slot->finished; });
    return slot->result;
}

bool MessageQueueWindow::TakeOne(Pending& out) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return false;
    out = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void MessageQueueWindow::Dispatch(Pending& pending) {
    std::intptr_t result = handler_(pending.message);
    if (!pending.slot) return;
    std::lock_guard lock(pending.slot->mutex);
    pending.slot->result = result;
    pending.slot->finished = true;
    pending.slot->done.notify_all();
}

int MessageQueueWindow::DispatchPending() {
    int count = 0;
    Pending pending;
    while (TakeOne(pending)) {
        Dispatch(pending);
        ++count;
    }
    return count;
}

void MessageQueueWindow::Wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    WakeOwner();
}

void MessageQueueWindow::RunUntil(const std::function<bool()>& done) {
    for (;;) {
        Pending pending;
        while (TakeOne(pending)) {
            Dispatch(pending);
            if (done()) return;
        }
        if (done()) return;
        std::unique_lock lock(mutex_);
        WaitUntil(lock, Clock::time_point::max(), [this] { return !queue_.empty() || woken_; });
        woken_ = false;
    }
}

int MessageQueueWindow::DispatchFor(unsigned milliseconds) {
    {
        std::unique_lock lock(mutex_);
        WaitUntil(lock, Clock::now() + std::chrono::milliseconds(milliseconds),
                  [this] { return !queue_.empty(); });
    }
    return DispatchPending();
}

}  // namespace platform
