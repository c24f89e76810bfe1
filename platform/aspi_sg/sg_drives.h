// Real drives through the Linux SG_IO ioctl: target t of host adapter 0 is /dev/sr<t>, LUN 0.
// A device node that does not exist, that this user may not open or that does not answer
// INQUIRY is no device.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "platform/aspi/drives.h"

namespace aspi {

// How long the kernel lets one command run before it gives up on it.
inline constexpr unsigned kCommandTimeoutMs = 20000;

// The outcome of a command from what SG_IO reports: the SCSI status, the host adapter's and the
// driver's status and the sense data decide.
Outcome OutcomeOf(const sg_io_hdr_t& header, std::span<const BYTE> sense);

// A device node that is there but could not be opened.
struct NodeError {
    std::string path;
    int error = 0;  // errno of the open
};

class SgDrives final : public Drives {
  public:
    // Opens a device node: a descriptor, or -1 with errno set. Tests give their own, to show
    // what a user without the right to a node meets even when they run as root.
    using Opener = std::function<int(const std::string& path)>;
    static int OpenNode(const std::string& path);

    // nodePrefix + target names a drive's device node.
    explicit SgDrives(std::string nodePrefix = "/dev/sr", Opener open = OpenNode);
    ~SgDrives() override;
    SgDrives(const SgDrives&) = delete;
    SgDrives& operator=(const SgDrives&) = delete;

    std::optional<BYTE> DeviceType(int target, int lun) override;
    bool Present(int target, int lun) override;
    Outcome Execute(const Command& command) override;

    // The first target whose node is there but could not be opened (permissions, most
    // often), or nothing. Why no drive was found when none was.
    std::optional<NodeError> UnopenableNode();

  private:
    // The open device node of a target, opened on first use; -1 when there is none. A node,
    // once open, stays open until the library goes, so that no request ever finds its
    // descriptor closed under it.
    int Descriptor(int target);

    std::string nodePrefix_;
    Opener open_;
    std::mutex mutex_;
    std::array<int, kTargets> descriptors_;
    std::array<int, kTargets> openErrors_{};  // errno of each target's last failed open
};

}  // namespace aspi
