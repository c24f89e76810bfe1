#include "platform/interrupt.h"

#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <mutex>
#include <new>
#include <thread>

namespace platform {

namespace {

// What the interrupt thread calls: the handler of the watcher that lives, if any.
struct InterruptRoute {
    std::mutex mutex;
    std::function<void(int)> handler;
    int count = 0;
    bool ignored = false;  // SIGINT was ignored when the process started
    std::once_flag started;
};

InterruptRoute& Route() {
    // Never destroyed: the interrupt thread may still take a signal while static objects are
    // being torn down at exit.
    alignas(InterruptRoute) static unsigned char storage[sizeof(InterruptRoute)];
    static InterruptRoute* route = ::new (storage) InterruptRoute();
    return *route;
}

sigset_t InterruptSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    return set;
}

// The default action of SIGINT, taken on this thread: the process ends killed by the signal,
// as the shell expects of a program the user interrupted.
[[noreturn]] void EndAsInterrupted() {
    signal(SIGINT, SIG_DFL);
    const sigset_t set = InterruptSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(SIGINT);
    std::_Exit(128 + SIGINT);
}

void TakeInterrupts(sigset_t set) {
    InterruptRoute& route = Route();
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0 || sig != SIGINT) continue;
        std::unique_lock lock(route.mutex);
        if (!route.handler) {
            lock.unlock();
            EndAsInterrupted();
        }
        route.handler(++route.count);
    }
}

}  // namespace

void RouteInterruptsToOneThread() {
    InterruptRoute& route = Route();
    std::call_once(route.started, [&route] {
        struct sigaction current {};
        // A program started with SIGINT ignored (in the background of a script) is not the
        // user's to interrupt: a blocked signal would be taken all the same, so leave it be.
        route.ignored = sigaction(SIGINT, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
        if (route.ignored) return;
        const sigset_t set = InterruptSet();
        pthread_sigmask(SIG_BLOCK, &set, nullptr);
        std::thread(TakeInterrupts, set).detach();
    });
    if (route.ignored) return;
    const sigset_t set = InterruptSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

InterruptWatcher::InterruptWatcher(std::function<void(int)> onInterrupt) {
    RouteInterruptsToOneThread();
    InterruptRoute& route = Route();
    std::lock_guard lock(route.mutex);
    route.handler = std::move(onInterrupt);
    route.count = 0;
}

InterruptWatcher::~InterruptWatcher() {
    InterruptRoute& route = Route();
    std::lock_guard lock(route.mutex);
    route.handler = nullptr;
}

}  // namespace platform
