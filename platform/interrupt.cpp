#include "platform/interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>

namespace platform {

namespace {

// The signals that ask the program to stop: Ctrl-C, a service manager's or a logout's
// SIGTERM, and the SIGHUP of a terminal that was closed.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// What the interrupt thread calls: the handler of the watcher that lives, if any.
struct InterruptRoute {
    std::mutex mutex;
    std::function<void(int)> handler;
    int count = 0;
    // The signal of the first interrupt, 0 before any; read without the lock, also by handlers.
    std::atomic<int> firstSignal = 0;
    sigset_t routed{};    // the stop signals not ignored when the process started
    std::once_flag started;
};

InterruptRoute& Route() {
    // Never destroyed: the interrupt thread may still take a signal while static objects are
    // being torn down at exit.
    alignas(InterruptRoute) static unsigned char storage[sizeof(InterruptRoute)];
    static InterruptRoute* route = ::new (storage) InterruptRoute();
    return *route;
}

// A program started with a signal ignored (in the background of a script, under nohup) is
// not the user's to stop by it: a blocked signal would be taken all the same, so leave it be.
sigset_t SignalsNotIgnored() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kStopSignals) {
        struct sigaction current {};
        if (sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
        sigaddset(&set, sig);
    }
    return set;
}

// The default action of the signal, taken on this thread: the process ends killed by the
// signal, as the shell or the service manager expects.
[[noreturn]] void EndBySignal(int sig) {
    signal(sig, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, sig);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(sig);
    std::_Exit(128 + sig);
}

void TakeInterrupts(sigset_t set) {
    InterruptRoute& route = Route();
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) continue;
        std::unique_lock lock(route.mutex);
        if (!route.handler) {
            lock.unlock();
            EndBySignal(sig);
        }
        if (route.count == 0) route.firstSignal = sig;
        route.handler(++route.count);
    }
}

}  // namespace

void RouteInterruptsToOneThread() {
    InterruptRoute& route = Route();
    std::call_once(route.started, [&route] {
        // A reader that went away (velto-batch ... | head -1) makes a write fail with EPIPE,
        // which the writer handles, instead of ending the whole batch.
        signal(SIGPIPE, SIG_IGN);
        route.routed = SignalsNotIgnored();
        if (sigisemptyset(&route.routed)) return;
        pthread_sigmask(SIG_BLOCK, &route.routed, nullptr);
        std::thread(TakeInterrupts, route.routed).detach();
    });
    pthread_sigmask(SIG_BLOCK, &route.routed, nullptr);
}

int InterruptExitStatus() {
    const int sig = Route().firstSignal;
    return 128 + (sig ? sig : SIGINT);
}

InterruptWatcher::InterruptWatcher(std::function<void(int)> onInterrupt) {
    RouteInterruptsToOneThread();
    InterruptRoute& route = Route();
    std::lock_guard lock(route.mutex);
    route.handler = std::move(onInterrupt);
    route.count = 0;
    route.firstSignal = 0;
}

InterruptWatcher::~InterruptWatcher() {
    InterruptRoute& route = Route();
    std::lock_guard lock(route.mutex);
    route.handler = nullptr;
}

}  // namespace platform
