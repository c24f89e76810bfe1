#include "platform/aspi_sg/sg_drives.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/aspi/scsi.h"

namespace aspi {

namespace {

// The host status values of the SCSI midlayer (DID_*), as SG_IO reports them.
constexpr unsigned kDidOk = 0x00, kDidNoConnect = 0x01, kDidBusBusy = 0x02, kDidTimeOut = 0x03,
                   kDidBadTarget = 0x04, kDidReset = 0x08;
// The driver status (DRIVER_*): its low three bits are the error; DRIVER_SENSE (0x08) only says
// that sense data came back, and the high nibble holds suggestions.
constexpr unsigned kDriverErrorMask = 0x07, kDriverTimeout = 0x06;

BYTE AdapterStatus(unsigned host) {
    switch (host) {
        case kDidNoConnect:
        case kDidBadTarget:
            return HASTAT_SEL_TO;
        case kDidTimeOut:
            return HASTAT_COMMAND_TIMEOUT;
        case kDidReset:
            return HASTAT_BUS_RESET;
        case kDidBusBusy:
        default:
            return HASTAT_BUS_FREE;
    }
}

int Ioctl(int fd, sg_io_hdr_t& header) {
    int result;
    do {
        result = ioctl(fd, SG_IO, &header);
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace

Outcome OutcomeOf(const sg_io_hdr_t& header, std::span<const BYTE> sense) {
    Outcome outcome;
    outcome.targStat = header.status;
    outcome.senseLength =
        std::min({static_cast<std::size_t>(header.sb_len_wr), sense.size(), outcome.sense.size()});
    std::copy_n(sense.begin(), outcome.senseLength, outcome.sense.begin());
    const unsigned driverError = header.driver_status & kDriverErrorMask;
    if (header.host_status != kDidOk)
        outcome.haStat = AdapterStatus(header.host_status);
    else if (driverError == kDriverTimeout)
        outcome.haStat = HASTAT_TIMEOUT;
    else if (driverError != 0)
        outcome.haStat = HASTAT_BUS_FREE;
    if (outcome.haStat != HASTAT_OK || header.status != STATUS_GOOD) {
        outcome.status = SS_ERR;
        return outcome;
    }
    const int resid = std::clamp(header.resid, 0, static_cast<int>(header.dxfer_len));
    outcome.transferred = header.dxfer_len - static_cast<unsigned>(resid);
    return outcome;
}

int SgDrives::OpenNode(const std::string& path) {
    return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

SgDrives::SgDrives(std::string nodePrefix, Opener open)
    : nodePrefix_(std::move(nodePrefix)), open_(std::move(open)) {
    descriptors_.fill(-1);
}

SgDrives::~SgDrives() {
    for (int fd : descriptors_)
        if (fd >= 0) close(fd);
}

int SgDrives::Descriptor(int target) {
    if (target < 0 || target >= kTargets) return -1;
    std::lock_guard lock(mutex_);
    int& fd = descriptors_[target];
    if (fd < 0) {
        fd = open_(nodePrefix_ + std::to_string(target));
        openErrors_[target] = fd < 0 ? errno : 0;
    }
    return fd;
}

std::optional<NodeError> SgDrives::UnopenableNode() {
    for (int target = 0; target < kTargets; ++target) {
        if (Descriptor(target) >= 0) continue;
        std::lock_guard lock(mutex_);
        // A node that is not there is no drive, and nothing to explain.
        const int error = openErrors_[target];
        if (error != ENOENT && error != ENOTDIR)
            return NodeError{nodePrefix_ + std::to_string(target), error};
    }
    return std::nullopt;
}

bool SgDrives::Present(int target, int lun) {
    return lun == 0 && Descriptor(target) >= 0;
}

std::optional<BYTE> SgDrives::DeviceType(int target, int lun) {
    if (!Present(target, lun)) return std::nullopt;
    std::array<BYTE, scsi::kInquiryLength> inquiry{};
    const std::array<BYTE, 6> cdb{scsi::kInquiry, 0, 0, 0, static_cast<BYTE>(inquiry.size()), 0};
    const Outcome outcome = Execute({target, cdb, Direction::In, inquiry});
    // A peripheral qualifier other than 0 says that no device is connected there.
    if (outcome.status != SS_COMP || outcome.transferred < 1 || (inquiry[0] >> 5) != 0) return std::nullopt;
    return static_cast<BYTE>(inquiry[0] & 0x1F);
}

Outcome SgDrives::Execute(const Command& command) {
    const int fd = Descriptor(command.target);
    if (fd < 0) return Outcome::AdapterError(HASTAT_SEL_TO);
    std::array<BYTE, 32> sense{};
    std::array<BYTE, 16> cdb{};
    std::copy(command.cdb.begin(), command.cdb.end(), cdb.begin());
    sg_io_hdr_t header{};
    header.interface_id = 'S';
    header.cmd_len = static_cast<unsigned char>(command.cdb.size());
    header.cmdp = cdb.data();
    header.dxfer_direction = command.data.empty()                 ? SG_DXFER_NONE
                             : command.direction == Direction::In ? SG_DXFER_FROM_DEV
                                                                  : SG_DXFER_TO_DEV;
    header.dxferp = command.data.data();
    header.dxfer_len = static_cast<unsigned>(command.data.size());
    header.sbp = sense.data();
    header.mx_sb_len = static_cast<unsigned char>(sense.size());
    header.timeout = kCommandTimeoutMs;
    if (Ioctl(fd, header) < 0)
        return Outcome::AdapterError(errno == ENODEV || errno == ENXIO ? HASTAT_SEL_TO : HASTAT_BUS_FREE);
    return OutcomeOf(header, sense);
}

}  // namespace aspi
