// Ctrl-C (SIGINT), and SIGTERM and SIGHUP which ask the same of a program (a service manager,
// a logout, a terminal closed), as events of the program rather than asynchronous signals.
// SIGPIPE is ignored, so that a reader going away is a failed write. Each program blocks the
// signals first thing in main, so that every thread started afterwards, by the
// program or by a library it loads, inherits the block, and one thread of the process takes
// each of them with sigwait. While an InterruptWatcher lives, that thread calls the watcher's
// handler with the count of interrupts so far; the handler may take locks and post messages,
// which a signal handler could not. Without a watcher an interrupt ends the process as the signal
// does by default, and a process started with one of them ignored keeps ignoring it.
#pragma once

#include <functional>

namespace platform {

// Call first thing in main, before any library is loaded or any thread is started: a thread
// that starts with the signals unblocked may be the one the kernel picks, and then it ends the
// process. Blocks them in the calling thread and starts the thread that takes them; calling it
// again only blocks them in the calling thread.
void RouteInterruptsToOneThread();

// The exit status of a program that stopped for an interrupt: 128 + the signal of the first
// interrupt the last watcher took (130 for Ctrl-C, 143 for SIGTERM, 129 for SIGHUP).
int InterruptExitStatus();

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
