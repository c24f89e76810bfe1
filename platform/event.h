// Win32-style events: manual or auto reset, waits with a time-out in milliseconds.
#pragma once

#include <condition_variable>
#include <mutex>

namespace platform {

inline constexpr unsigned INFINITE = 0xFFFFFFFFu;
inline constexpr unsigned WAIT_OBJECT_0 = 0;
inline constexpr unsigned WAIT_TIMEOUT = 258;

class Event {
  public:
    explicit Event(bool manualReset = false, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Signals the event. An auto-reset event releases one waiter and resets itself; a
    // manual-reset event stays set and releases every waiter until Reset.
    void Set();
    void Reset();
    // WAIT_OBJECT_0 when signalled within the time-out, WAIT_TIMEOUT otherwise.
    unsigned Wait(unsigned milliseconds = INFINITE);
    bool IsSet() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable signalled_;
    bool manualReset_;
    bool set_;
};

}  // namespace platform
