#include "platform/aspi/request_manager.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

namespace aspi {

namespace {

DWORD Finish(BYTE& statusField, BYTE status) {
    statusField = status;
    return status;
}

// The status byte is what a caller polls: it is written last, once everything else is in place.
void Publish(BYTE& statusField, BYTE status) {
    std::atomic_ref<BYTE>(statusField).store(status, std::memory_order_release);
}

bool Valid(int target, int lun) {
    return target >= 0 && target < kTargets && lun >= 0;
}

}  // namespace

RequestManager::RequestManager(std::shared_ptr<Drives> drives)
    : drives_(std::move(drives)), worker_([this] { Work(); }) {}

RequestManager::~RequestManager() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    worker_.join();
}

void RequestManager::Replace(std::shared_ptr<Drives> drives) {
    std::lock_guard lock(mutex_);
    drives_ = std::move(drives);
}

std::shared_ptr<Drives> RequestManager::CurrentDrives() {
    std::lock_guard lock(mutex_);
    return drives_;
}

DWORD RequestManager::Send(void* srb) {
    if (srb == nullptr) return SS_INVALID_SRB;
    auto* header = static_cast<SRB_Header*>(srb);
    switch (header->SRB_Cmd) {
        case SC_GET_DEV_TYPE:
            return GetDeviceType(*static_cast<SRB_GDEVBlock*>(srb));
        case SC_EXEC_SCSI_CMD:
            return Submit(*static_cast<SRB_ExecSCSICmd*>(srb));
        case SC_ABORT_SRB:
            return Abort(*static_cast<SRB_Abort*>(srb));
        default:
            return Finish(header->SRB_Status, SS_INVALID_CMD);
    }
}

DWORD RequestManager::GetDeviceType(SRB_GDEVBlock& srb) {
    if (srb.SRB_HaId != 0) return Finish(srb.SRB_Status, SS_INVALID_HA);
    std::optional<BYTE> type;
    if (Valid(srb.SRB_Target, srb.SRB_Lun)) type = CurrentDrives()->DeviceType(srb.SRB_Target, srb.SRB_Lun);
    if (!type) return Finish(srb.SRB_Status, SS_NO_DEVICE);
    srb.SRB_DeviceType = *type;
    return Finish(srb.SRB_Status, SS_COMP);
}

DWORD RequestManager::Submit(SRB_ExecSCSICmd& srb) {
    const BYTE flags = srb.SRB_Flags;
    const bool in = flags & SRB_DIR_IN, out = flags & SRB_DIR_OUT;
    const bool notify = flags & SRB_EVENT_NOTIFY;
    if (srb.SRB_HaId != 0) return Finish(srb.SRB_Status, SS_INVALID_HA);
    if (srb.SRB_CDBLen == 0 || srb.SRB_CDBLen > sizeof(srb.CDBByte) || (in && out) ||
        (notify && srb.SRB_PostProc == nullptr))
        return Finish(srb.SRB_Status, SS_INVALID_SRB);

    Job job;
    job.srb = &srb;
    job.event = notify ? static_cast<platform::Event*>(srb.SRB_PostProc) : nullptr;
    job.target = srb.SRB_Target;
    job.direction = in ? Direction::In : out ? Direction::Out : Direction::None;
    job.length = job.direction == Direction::None ? 0 : srb.SRB_BufLen;
    job.cdbLength = srb.SRB_CDBLen;
    std::copy_n(srb.CDBByte, job.cdbLength, job.cdb.begin());
    if (job.length > 0 && srb.SRB_BufPointer == nullptr) return Finish(srb.SRB_Status, SS_INVALID_SRB);
    if (job.length > kMaxTransfer) return Finish(srb.SRB_Status, SS_BUFFER_TO_BIG);

    job.drives = CurrentDrives();
    if (!Valid(srb.SRB_Target, srb.SRB_Lun) || !job.drives->Present(srb.SRB_Target, srb.SRB_Lun))
        return Finish(srb.SRB_Status, SS_NO_DEVICE);

    {
        std::lock_guard lock(mutex_);
        // A block sent again while the library still holds it is the caller's memory again:
        // the earlier request is dropped, and nothing of it will be written there.
        Forget(&srb);
        srb.SRB_Status = SS_PENDING;
        // One event usually serves a caller's every request; a signal left over from a request
        // that the caller saw complete without waiting must not end the wait for this one.
        if (job.event) job.event->Reset();
        queue_.push_back(std::move(job));
    }
    queued_.notify_one();
    return SS_PENDING;
}

DWORD RequestManager::Abort(SRB_Abort& srb) {
    if (srb.SRB_HaId != 0) return Finish(srb.SRB_Status, SS_INVALID_HA);
    std::lock_guard lock(mutex_);
    // The pointer is only compared with the requests held here, never followed otherwise: it may
    // name a request that has long completed.
    if (srb.SRB_ToAbort == nullptr || !Forget(srb.SRB_ToAbort)) return Finish(srb.SRB_Status, SS_ABORT_FAIL);
    // The aborted request is not signalled: its caller has stopped waiting, and a signal on a
    // shared event would only end its next wait early.
    Publish(static_cast<SRB_ExecSCSICmd*>(srb.SRB_ToAbort)->SRB_Status, SS_ABORTED);
    return Finish(srb.SRB_Status, SS_COMP);
}

bool RequestManager::Forget(const void* srb) {
    auto same = [srb](const Job& job) { return job.srb == srb; };
    bool found = false;
    if (auto it = std::find_if(queue_.begin(), queue_.end(), same); it != queue_.end()) {
        queue_.erase(it);
        found = true;
    }
    if (auto it = std::find_if(held_.begin(), held_.end(), same); it != held_.end()) {
        held_.erase(it);
        found = true;
    }
    if (running_ != nullptr && running_ == srb) {
        running_ = nullptr;
        found = true;
    }
    return found;
}

void RequestManager::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_) return;
        Job job = std::move(queue_.front());
        queue_.pop_front();
        RunOne(lock, std::move(job));
    }
}

void RequestManager::RunOne(std::unique_lock<std::mutex>& lock, Job job) {
    running_ = job.srb;
    if (buffer_.size() < job.length) buffer_.resize(job.length);
    const std::span<BYTE> data(buffer_.data(), job.length);
    if (job.direction == Direction::Out) std::memcpy(data.data(), job.srb->SRB_BufPointer, job.length);

    lock.unlock();
    const Outcome outcome =
        job.drives->Execute({job.target, std::span(job.cdb.data(), job.cdbLength), job.direction, data});
    lock.lock();

    if (running_ != job.srb) return;  // taken back while it ran
    running_ = nullptr;
    if (outcome.held) {
        job.drives.reset();
        held_.push_back(std::move(job));
    } else {
        Complete(job, outcome);
    }
}

void RequestManager::Complete(const Job& job, const Outcome& outcome) {
    SRB_ExecSCSICmd& srb = *job.srb;
    if (job.direction == Direction::In) {
        const std::size_t n = std::min(outcome.transferred, job.length);
        if (n > 0) std::memcpy(srb.SRB_BufPointer, buffer_.data(), n);
    }
    srb.SRB_HaStat = outcome.haStat;
    srb.SRB_TargStat = outcome.targStat;
    const std::size_t senseLength =
        std::min({outcome.senseLength, static_cast<std::size_t>(srb.SRB_SenseLen), sizeof(srb.SenseArea)});
    std::copy_n(outcome.sense.begin(), senseLength, srb.SenseArea);
    Publish(srb.SRB_Status, outcome.status);
    if (job.event) job.event->Set();
}

}  // namespace aspi
