// libwnaspi32.so: the pass-through library to the machine's CD drives.
//
// SG_IO cannot call back a command that the kernel has started. Aborting a request that a
// drive is working on therefore takes the request back at once (it reads SS_ABORTED, and the
// library writes neither to it nor to its buffer afterwards) while the drive finishes the
// command or the kernel's time-out ends it; requests sent meanwhile wait for it.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/aspi/request_manager.h"
#include "platform/aspi_sg/sg_drives.h"

namespace {

// The device nodes are /dev/sr0 to /dev/sr6; VELTO_DEVICE_ROOT names another folder for
// /dev (tests build a device tree of their own there).
std::string NodePrefix() {
    const char* root = std::getenv("VELTO_DEVICE_ROOT");
    return std::string(root && *root ? root : "/dev") + "/sr";
}

std::shared_ptr<aspi::SgDrives> TheDrives() {
    static const auto drives = std::make_shared<aspi::SgDrives>(NodePrefix());
    return drives;
}

aspi::RequestManager& Manager() {
    static aspi::RequestManager manager(TheDrives());
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

aspi::DWORD GetDriveNodeError(char* path, aspi::DWORD size) {
    const std::optional<aspi::NodeError> node = TheDrives()->UnopenableNode();
    if (!node) return 0;
    if (path && size > 0) {
        std::strncpy(path, node->path.c_str(), size - 1);
        path[size - 1] = '\0';
    }
    return static_cast<aspi::DWORD>(node->error);
}

}  // extern "C"
