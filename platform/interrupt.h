// Ctrl-C (SIGINT) as an event of the program rather than an asynchronous signal: while an
// InterruptWatcher lives, SIGINT is blocked in every thread started after it and delivered to a
// thread of its own, which calls the handler with the count of interrupts so far. The handler
// may take locks and post messages, which a signal handler could not.
#pragma once

#include <functional>
#include <thread>

namespace platform {

class InterruptWatcher {
  public:
    // Construct before starting any other thread, so that they inherit the blocked signal.
    explicit InterruptWatcher(std::function<void(int count)> onInterrupt);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

  private:
    std::function<void(int)> onInterrupt_;
    std::thread watcher_;
};

}  // namespace platform
