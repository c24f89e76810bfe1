#include "lookup/lookup_thread.h"

#include <algorithm>
#include <iterator>

namespace lookup {

LookupThread::~LookupThread() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
}

void LookupThread::Start(const cdda::TrackEntry (&table)[cdda::kMaxTracks], Deliver deliver) {
    Request request{{}, std::move(deliver)};
    std::copy(std::begin(table), std::end(table), request.table);
    {
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(request));
    }
    if (!thread_.joinable()) thread_ = std::jthread([this](std::stop_token stop) { Run(stop); });
    queued_.notify_one();
}

void LookupThread::Run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (queued_.wait(lock, stop, [this] { return !requests_.empty(); })) {
        Request request = std::move(requests_.front());
        requests_.pop_front();
        lock.unlock();
        LookupResult result = lookup_.LookUp(request.table, stop);
        if (!stop.stop_requested()) request.deliver(std::move(result));
        lock.lock();
    }
}

}  // namespace lookup
