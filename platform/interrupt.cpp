#include "platform/interrupt.h"

#include <pthread.h>
#include <signal.h>

namespace platform {

namespace {
// SIGUSR2 tells the watcher to finish when the object goes.
sigset_t WatchedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGUSR2);
    return set;
}
}  // namespace

InterruptWatcher::InterruptWatcher(std::function<void(int)> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    watcher_ = std::thread([this, set] {
        int count = 0;
        for (;;) {
            int sig = 0;
            if (sigwait(&set, &sig) != 0)
                continue;
            if (sig == SIGUSR2)
                return;
            onInterrupt_(++count);
        }
    });
}

InterruptWatcher::~InterruptWatcher() {
    pthread_kill(watcher_.native_handle(), SIGUSR2);
    watcher_.join();
    sigset_t set = WatchedSignals();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

}  // namespace platform
