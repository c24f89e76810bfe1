#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <future>

namespace platform {

namespace {

int CurrentTid() {
    return static_cast<int>(syscall(SYS_gettid));
}

bool ApplyPriority(int tid, int win32Priority) {
    sched_param param{};
    param.sched_priority = 0;
    if (win32Priority <= THREAD_PRIORITY_IDLE)
        return sched_setscheduler(tid, SCHED_IDLE, &param) == 0;
    // Leaving SCHED_IDLE first, then the nice value. Either may be refused without privilege.
    int policy = sched_getscheduler(tid);
    if (policy != SCHED_OTHER && sched_setscheduler(tid, SCHED_OTHER, &param) != 0)
        return false;
    return setpriority(PRIO_PROCESS, static_cast<id_t>(tid), NiceForPriority(win32Priority)) == 0;
}

}  // namespace

int NiceForPriority(int p) {
    if (p <= THREAD_PRIORITY_IDLE)
        return 19;
    if (p >= THREAD_PRIORITY_TIME_CRITICAL)
        return -20;
    switch (p) {
        case THREAD_PRIORITY_LOWEST:
            return 10;
        case THREAD_PRIORITY_BELOW_NORMAL:
            return 5;
        case THREAD_PRIORITY_ABOVE_NORMAL:
            return -5;
        case THREAD_PRIORITY_HIGHEST:
            return -10;
        default:
            return p < 0 ? 10 : (p > 0 ? -10 : 0);
    }
}

Thread::Thread(std::function<void()> fn, int priority) : priority_(THREAD_PRIORITY_NORMAL) {
    std::promise<void> started;
    std::future<void> hasStarted = started.get_future();
    thread_ = std::thread([this, started = std::move(started), priority, fn = std::move(fn)]() mutable {
        tid_.store(CurrentTid());
        if (ApplyPriority(tid_.load(), priority))
            priority_.store(priority);
        started.set_value();
        fn();
    });
    // The thread's id must be known before anyone may change its priority.
    hasStarted.wait();
}

Thread::~Thread() {
    Join();
}

void Thread::Join() {
    if (thread_.joinable())
        thread_.join();
}

bool Thread::SetPriority(int win32Priority) {
    if (!thread_.joinable())
        return false;
    if (!ApplyPriority(tid_.load(), win32Priority))
        return false;
    priority_.store(win32Priority);
    return true;
}

bool SetCurrentThreadPriority(int win32Priority) {
    return ApplyPriority(CurrentTid(), win32Priority);
}

int CurrentThreadNice() {
    if (sched_getscheduler(0) == SCHED_IDLE)
        return 19;
    errno = 0;
    return getpriority(PRIO_PROCESS, static_cast<id_t>(CurrentTid()));
}

}  // namespace platform
