// Loading the pass-through library and running requests through it.
#include <atomic>
#include <cstdlib>
#include <cstring>

#include <new>
#include "cdda/cd_reader.h"
#include "platform/file.h"
#include "platform/message_box.h"

namespace cdda {

CAspiManager& CAspiManager::Instance() {
    // Never destroyed: a request may still be signalling the event while static objects are
    // being torn down at exit.
    alignas(CAspiManager) static unsigned char storage[sizeof(CAspiManager)];
    static CAspiManager* manager = ::new (storage) CAspiManager();
    return *manager;
}

std::string CAspiManager::LibraryPath() {
    if (const char* p = std::getenv("VELTO_ASPI_LIBRARY"); p && *p) return p;
    // Beside the program in a build, in lib/velto beside its bin folder once installed.
    const std::string beside = platform::ExecutableFolder() + "libwnaspi32.so";
    const std::string installed = platform::ExecutableFolder() + "../lib/velto/libwnaspi32.so";
    return !platform::FileExists(beside) && platform::FileExists(installed) ? installed : beside;
}

void CAspiManager::Unload() {
    library_.Unload();
    supportInfo_ = nullptr;
    send_ = nullptr;
    nodeError_ = nullptr;
}

int CAspiManager::Load(aspi::DWORD& supportInfo) {
    std::lock_guard lock(mutex_);
    if (library_.IsLoaded()) return adapters_;
    if (!library_.Load(LibraryPath())) {
        platform::MessageBox("ASPI Manager not installed!", "", platform::MB_OK);
        return 0;
    }
    supportInfo_ = library_.Function<aspi::GetASPI32SupportInfoFn>("GetASPI32SupportInfo");
    if (!supportInfo_) {
        Unload();
        return 0;
    }
    supportInfo = supportInfo_();
    // The event was made with the manager; it cannot fail to exist here.
    if (((supportInfo >> 8) & 0xFF) != aspi::SS_COMP) {
        Unload();
        adapters_ = 0;
        return 0;
    }
    adapters_ = static_cast<int>(supportInfo & 0xFF);
    send_ = library_.Function<aspi::SendASPI32CommandFn>("SendASPI32Command");
    nodeError_ = library_.Function<aspi::GetDriveNodeErrorFn>("GetDriveNodeError");
    if (!send_) {
        Unload();
        adapters_ = 0;
        return 0;
    }
    return adapters_;
}

void CAspiManager::AbortAllWaits() {
    abortWaits_ = true;
    event_.Set();
}

int CAspiManager::DriveNodeError(std::string& path) {
    if (!nodeError_) return 0;
    char buffer[512] = {};
    const int error = static_cast<int>(nodeError_(buffer, sizeof buffer));
    path = buffer;
    return error;
}

aspi::DWORD CAspiManager::Send(void* srb) {
    return send_ ? send_(srb) : aspi::SS_FAILED_INIT;
}

int CCDReader::Init() {
    CAspiManager& manager = CAspiManager::Instance();
    if (manager.Loaded()) return manager.Adapters();
    return manager.Load(lastStatus_);
}

int CCDReader::GetDeviceType(int adapter, int target, int lun) {
    aspi::SRB_GDEVBlock request{};
    request.SRB_Cmd = aspi::SC_GET_DEV_TYPE;
    request.SRB_HaId = static_cast<aspi::BYTE>(adapter);
    request.SRB_Target = static_cast<aspi::BYTE>(target);
    request.SRB_Lun = static_cast<aspi::BYTE>(lun);
    lastStatus_ = CAspiManager::Instance().Send(&request);
    return lastStatus_ == aspi::SS_COMP ? request.SRB_DeviceType : -1;
}

namespace {

// The library completes the request on another thread: its status byte is read as that
// thread leaves it.
aspi::BYTE RequestStatus(aspi::SRB_ExecSCSICmd& request) {
    return std::atomic_ref<aspi::BYTE>(request.SRB_Status).load(std::memory_order_acquire);
}

}  // namespace

bool CCDReader::Execute(aspi::SRB_ExecSCSICmd& request) {
    CAspiManager& manager = CAspiManager::Instance();
    request.SRB_Flags |= aspi::SRB_EVENT_NOTIFY;
    request.SRB_PostProc = &manager.Event();
    // A request that completed before anyone waited leaves the event set; this one must not
    // take that for its own completion.
    manager.Event().Reset();
    lastStatus_ = manager.Send(&request);
    bool waited = false;
    unsigned waitResult = platform::WAIT_TIMEOUT;
    // Checked after the event was reset: AbortAllWaits sets the flag before the event.
    if (RequestStatus(request) == aspi::SS_PENDING && !manager.AbortingWaits()) {
        waited = true;
        waitResult = manager.Event().Wait(manager.WaitMs());
    }
    const aspi::BYTE status = RequestStatus(request);
    lastSenseKey_ = lastAsc_ = 0;
    if (status == aspi::SS_ERR && request.SRB_TargStat == aspi::STATUS_CHKCOND) {
        lastSenseKey_ = request.SenseArea[2] & 0x0F;
        lastAsc_ = request.SenseArea[12];
    }
    switch (status) {
        case aspi::SS_COMP:
            if (waited && waitResult == platform::WAIT_OBJECT_0) manager.Event().Reset();
            return true;
        case aspi::SS_PENDING:
            Abort(request.SRB_HaId, request);
            return false;
        default:
            return false;
    }
}

void CCDReader::Abort(int adapter, aspi::SRB_ExecSCSICmd& request) {
    aspi::SRB_Abort abort{};
    abort.SRB_Cmd = aspi::SC_ABORT_SRB;
    abort.SRB_HaId = static_cast<aspi::BYTE>(adapter);
    abort.SRB_ToAbort = &request;
    lastStatus_ = CAspiManager::Instance().Send(&abort);
}

}  // namespace cdda
