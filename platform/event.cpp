#include "platform/event.h"

#include <chrono>

namespace platform {

Event::Event(bool manualReset, bool initiallySet) : manualReset_(manualReset), set_(initiallySet) {}

void Event::Set() {
    // Notifying under the lock lets a waiter destroy the event as soon as its wait returns.
    std::lock_guard lock(mutex_);
    set_ = true;
    if (manualReset_)
        signalled_.notify_all();
    else
        signalled_.notify_one();
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    set_ = false;
}

unsigned Event::Wait(unsigned milliseconds) {
    std::unique_lock lock(mutex_);
    auto isSet = [this] { return set_; };
    if (milliseconds == INFINITE) {
        signalled_.wait(lock, isSet);
    } else if (!signalled_.wait_for(lock, std::chrono::milliseconds(milliseconds), isSet)) {
        return WAIT_TIMEOUT;
    }
    if (!manualReset_)
        set_ = false;
    return WAIT_OBJECT_0;
}

bool Event::IsSet() const {
    std::lock_guard lock(mutex_);
    return set_;
}

}  // namespace platform
