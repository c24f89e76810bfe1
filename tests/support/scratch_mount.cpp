#include "tests/support/scratch_mount.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace testfs {

namespace {

// Once per process: a private mount namespace, so nothing mounted here reaches the machine.
bool PrivateMounts(std::string& why) {
    static const std::string failure = [] {
        if (unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("private mounts: ") + std::strerror(errno);
        return std::string();
    }();
    why = failure;
    return failure.empty();
}

std::string SizeOption(std::uint64_t size) {
    return "size=" + std::to_string(size) + ",mode=0777";
}

}  // namespace

ScratchMount::ScratchMount(const std::string& folder, std::uint64_t sizeBytes)
    : folder_(folder), size_(sizeBytes) {
    if (!PrivateMounts(why_)) return;
    if (mount("tmpfs", folder.c_str(), "tmpfs", 0, SizeOption(size_).c_str()) != 0) {
        why_ = std::string("mount tmpfs: ") + std::strerror(errno);
        return;
    }
    mounted_ = true;
}

ScratchMount::~ScratchMount() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
}

bool ScratchMount::MakeReadOnly() {
    return mounted_ &&
           mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, SizeOption(size_).c_str()) == 0;
}

bool ScratchMount::MakeUnwritable() {
    if (mounted_) return MakeReadOnly();
    return geteuid() != 0 && chmod(folder_.c_str(), 0555) == 0;
}

bool ScratchMount::FillLeaving(std::uint64_t leave) {
    const std::string filler = folder_ + "/filler";
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::vector<char> block(4096, 'f');
    off_t written = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block.data(), block.size());
        if (n <= 0) break;
        written += n;
    }
    const bool full = errno == ENOSPC;
    const off_t keep = written > static_cast<off_t>(leave) ? written - static_cast<off_t>(leave) : 0;
    const bool ok = full && ftruncate(fd, keep) == 0;
    ::close(fd);
    return ok;
}

}  // namespace testfs
