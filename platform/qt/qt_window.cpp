#include "platform/qt/qt_window.h"

#include <QMetaObject>
#include <QTimer>

namespace platform {

namespace {

// Progress is posted after every frame, thousands of times a second; the window handles the
// posts that arrive within this interval of its last drain together, which no eye can tell
// apart, instead of waking the event loop for each. Sends and calls are handled at once.
constexpr std::chrono::milliseconds kQuietPostInterval{10};

}  // namespace

struct QtWindow::Slot {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::intptr_t result = 0;
};

QtWindow::QtWindow(MessageHandler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)), owner_(std::this_thread::get_id()) {}

QtWindow::~QtWindow() {
    Close();
}

void QtWindow::Close() {
    std::deque<Pending> left;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        left.swap(queue_);
    }
    for (Pending& p : left) {
        if (!p.slot) continue;
        std::lock_guard lock(p.slot->mutex);
        p.slot->finished = true;
        p.slot->done.notify_all();
    }
}

void QtWindow::ScheduleDrain(bool urgent) {
    urgent_ = urgent_ || urgent;
    if (drainQueued_) return;
    drainQueued_ = true;
    QMetaObject::invokeMethod(
        this, [this] { Drain(); }, Qt::QueuedConnection);
}

void QtWindow::Drain() {
    {
        std::lock_guard lock(mutex_);
        drainQueued_ = false;
        const auto sinceLast = Clock::now() - lastDrain_;
        if (!urgent_ && sinceLast < kQuietPostInterval) {
            if (!timerArmed_) {
                timerArmed_ = true;
                const auto wait =
                    std::chrono::duration_cast<std::chrono::milliseconds>(kQuietPostInterval - sinceLast);
                QTimer::singleShot(static_cast<int>(wait.count()) + 1, this, [this] {
                    {
                        std::lock_guard again(mutex_);
                        timerArmed_ = false;
                    }
                    DispatchPending();
                });
            }
            return;
        }
    }
    DispatchPending();
}

void QtWindow::Post(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    queue_.push_back({{id, wParam, lParam}, {}, nullptr});
    if (!timerArmed_) ScheduleDrain(false);
}

std::intptr_t QtWindow::Send(unsigned id, std::uintptr_t wParam, std::intptr_t lParam) {
    if (OnOwnerThread()) return handler_({id, wParam, lParam});
    return Wait({{id, wParam, lParam}, {}, std::make_shared<Slot>()});
}

std::intptr_t QtWindow::Call(const std::function<std::intptr_t()>& fn, std::intptr_t fallback) {
    if (OnOwnerThread()) {
        std::lock_guard lock(mutex_);
        if (closed_) return fallback;
    } else {
        auto slot = std::make_shared<Slot>();
        slot->result = fallback;
        return Wait({{}, fn, slot});
    }
    return fn();
}

std::intptr_t QtWindow::Wait(Pending pending) {
    std::shared_ptr<Slot> slot = pending.slot;
    {
        std::lock_guard lock(mutex_);
        if (closed_) return slot->result;
        queue_.push_back(std::move(pending));
        ScheduleDrain(true);
    }
    std::unique_lock lock(slot->mutex);
    slot->done.wait(lock, [&] { return slot->finished; });
    return slot->result;
}

bool QtWindow::TakeOne(Pending& out) {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) {
        urgent_ = false;
        lastDrain_ = Clock::now();
        return false;
    }
    out = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

int QtWindow::DispatchPending() {
    int count = 0;
    Pending p;
    while (TakeOne(p)) {
        const std::intptr_t result = p.call ? p.call() : handler_(p.message);
        if (p.slot) {
            std::lock_guard lock(p.slot->mutex);
            p.slot->result = result;
            p.slot->finished = true;
            p.slot->done.notify_all();
        }
        ++count;
    }
    return count;
}

}  // namespace platform
