// Ctrl-C (SIGINT) as an event of the program rather than an asynchronous signal. Each program
// blocks the signal first thing in main, so that every thread started afterwards, by the
// program or by a library it loads, inherits the block, and one thread of the process takes
// each SIGINT with sigwait. While an InterruptWatcher lives, that thread calls the watcher's
// handler with the count of interrupts so far; the handler may take locks and post messages,
// which a signal handler could not. Without a watcher an interrupt ends the process as SIGINT
// does by default, and a process started with SIGINT ignored keeps ignoring it.
#pragma once

#include <functional>

namespace platform {

// Call first thing in main, before any library is loaded or any thread is started: a thread
// that starts with SIGINT unblocked may be the one the kernel picks, and then it ends the
// process. Blocks SIGINT in the calling thread and starts the thread that takes it; calling it
// again only blocks the signal in the calling thread.
void RouteInterruptsToOneThread();

class InterruptWatcher {
  public:
    // Takes over the interrupts until destroyed. Routes them first if main did not; threads
    // started before that are not covered. The handler runs on the interrupt thread, never
    // while the destructor runs, so it must not wait for the thread that destroys the watcher.
    explicit InterruptWatcher(std::function<void(int count)> onInterrupt);
    ~InterruptWatcher();
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;
};

}  // namespace platform
