// Threads with a Win32-style priority that can be changed while they run.
//
// Win32 priorities map to Linux scheduling: -15 (idle) to SCHED_IDLE; -2, -1, 0, 1, 2 to nice
// 10, 5, 0, -5, -10; 15 (time critical) to nice -20. Raising a priority needs privilege; where
// the system refuses, the thread keeps its priority, silently.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

namespace platform {

inline constexpr int THREAD_PRIORITY_IDLE = -15;
inline constexpr int THREAD_PRIORITY_LOWEST = -2;
inline constexpr int THREAD_PRIORITY_BELOW_NORMAL = -1;
inline constexpr int THREAD_PRIORITY_NORMAL = 0;
inline constexpr int THREAD_PRIORITY_ABOVE_NORMAL = 1;
inline constexpr int THREAD_PRIORITY_HIGHEST = 2;
inline constexpr int THREAD_PRIORITY_TIME_CRITICAL = 15;

// The nice value a Win32 priority maps to; SCHED_IDLE for -15 is reported as nice 19.
int NiceForPriority(int win32Priority);

class Thread {
  public:
    Thread() = default;
    // Starts fn on a new thread that first takes the given priority.
    Thread(std::function<void()> fn, int priority);
    ~Thread();  // joins
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Changes the priority of the running thread; returns false where the system refused.
    bool SetPriority(int win32Priority);
    int Priority() const { return priority_.load(); }
    bool Joinable() const { return thread_.joinable(); }
    void Join();

  private:
    std::atomic<int> priority_{THREAD_PRIORITY_NORMAL};
    std::atomic<int> tid_{0};
    std::thread thread_;
};

// Applies a Win32 priority to the calling thread. Returns false where the system refused.
bool SetCurrentThreadPriority(int win32Priority);

// The scheduling the calling thread has now, as a nice value (19 under SCHED_IDLE).
int CurrentThreadNice();

}  // namespace platform
