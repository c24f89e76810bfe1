// libwnaspi32.so: the pass-through library to the machine's CD drives.
//
// SG_IO cannot call back a command that the kernel has started. Aborting a request that a
// drive is working on therefore takes the request back at once (it reads SS_ABORTED, and the
// library writes neither to it nor to its buffer afterwards) while the drive finishes the
// command or the kernel's time-out ends it; requests sent meanwhile wait for it.
#include <memory>

#include "platform/aspi/request_manager.h"
#include "platform/aspi_sg/sg_drives.h"

namespace {

aspi::RequestManager& Manager() {
    static aspi::RequestManager manager(std::make_shared<aspi::SgDrives>());
    return manager;
}

}  // namespace

extern "C" {

aspi::DWORD GetASPI32SupportInfo() {
    Manager();
    return aspi::SupportInfo(aspi::SS_COMP, 1);
}

aspi::DWORD SendASPI32Command(void* srb) {
    return Manager().Send(srb);
}

}  // extern "C"
