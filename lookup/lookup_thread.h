// Looks discs up one after another on a thread of its own, for a program that must not wait for
// the network. The owner's destructor abandons the lookup in flight (a request waiting for its
// turn or for the server ends at once) and those still queued, and joins the thread: nothing of
// a lookup runs after it, and no result is delivered.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

#include "lookup/disc_lookup.h"

namespace lookup {

class LookupThread {
  public:
    // Called on the lookup thread with each result. It must not wait for the owner's thread,
    // which may be waiting in the destructor.
    using Deliver = std::function<void(LookupResult)>;

    LookupThread() = default;
    ~LookupThread();
    LookupThread(const LookupThread&) = delete;
    LookupThread& operator=(const LookupThread&) = delete;

    // Queues a lookup of the table; the thread starts with the first.
    void Start(const cdda::TrackEntry (&table)[cdda::kMaxTracks], Deliver deliver);

  private:
    struct Request {
        cdda::TrackEntry table[cdda::kMaxTracks];
        Deliver deliver;
    };
    void Run(std::stop_token stop);

    DiscLookup lookup_;
    std::mutex mutex_;
    std::condition_variable_any queued_;
    std::deque<Request> requests_;
    // Last, so that the thread has ended before anything it uses goes.
    std::jthread thread_;
};

}  // namespace lookup
