// The request handling of a SCSI pass-through library: SendASPI32Command's three requests on
// host adapter 0. Device-type requests are answered at once; execute requests are queued and run
// one after the other on the library's worker thread, which fills in the request block, sets its
// status and signals its event; abort requests take a request back.
//
// The worker runs every command on a buffer of its own and copies the data into the caller's
// buffer only when the request completes, so once a request has been aborted the library never
// touches it or its buffer again: the caller may let both go as soon as the abort returns.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/aspi/drives.h"
#include "platform/event.h"
#include "platform/wnaspi32.h"

namespace aspi {

// The largest data transfer one request may ask for.
inline constexpr std::size_t kMaxTransfer = 1 << 20;

class RequestManager {
  public:
    explicit RequestManager(std::shared_ptr<Drives> drives);
    ~RequestManager();
    RequestManager(const RequestManager&) = delete;
    RequestManager& operator=(const RequestManager&) = delete;

    // Puts other drives in place: requests sent from now on go to them. Requests already
    // queued finish on the drives they were sent to.
    void Replace(std::shared_ptr<Drives> drives);

    // SendASPI32Command.
    DWORD Send(void* srb);

  private:
    struct Job {
        SRB_ExecSCSICmd* srb = nullptr;
        platform::Event* event = nullptr;
        std::shared_ptr<Drives> drives;
        int target = 0;
        Direction direction = Direction::None;
        std::array<BYTE, 16> cdb{};
        std::size_t cdbLength = 0;
        std::size_t length = 0;
    };

    std::shared_ptr<Drives> CurrentDrives();
    DWORD GetDeviceType(SRB_GDEVBlock& srb);
    DWORD Submit(SRB_ExecSCSICmd& srb);
    DWORD Abort(SRB_Abort& srb);
    // Under the lock: drops the request from the queue, the held requests and the running one,
    // so that nothing writes to it any more. Whether it was found.
    bool Forget(const void* srb);
    void Work();
    void RunOne(std::unique_lock<std::mutex>& lock, Job job);
    // Under the lock: the caller gets the outcome, then the event.
    void Complete(const Job& job, const Outcome& outcome);

    std::mutex mutex_;
    std::condition_variable queued_;
    std::shared_ptr<Drives> drives_;
    std::deque<Job> queue_;
    std::vector<Job> held_;
    // The request the worker is running; null once it has been taken back.
    const SRB_ExecSCSICmd* running_ = nullptr;
    std::vector<BYTE> buffer_;  // the worker's data buffer
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace aspi
