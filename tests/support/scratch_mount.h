// Small file systems for fault tests: a tmpfs of a few kilobytes that fills up, or one made
// read-only, so that a full disk and an unwritable folder can be met even as root (where
// permissions do not bite). The mounts live in a mount namespace of the test process's own,
// so they vanish with it however it ends. Where mounting is not allowed, Mounted() is false
// and Why() says so, for the test to skip with.
#pragma once

#include <cstdint>
#include <string>

namespace testfs {

class ScratchMount {
  public:
    // Mounts a tmpfs of sizeBytes over the (existing, empty) folder.
    ScratchMount(const std::string& folder, std::uint64_t sizeBytes);
    ~ScratchMount();
    ScratchMount(const ScratchMount&) = delete;
    ScratchMount& operator=(const ScratchMount&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Why() const { return why_; }
    // Remounts it read-only: every create, write and rename then fails with EROFS.
    bool MakeReadOnly();
    // Makes the folder unwritable: remounted read-only, or, where nothing was mounted and the
    // process is not root, by taking away its write permission. False when the remount failed
    // or when neither can work (root without a mount: permissions do not stop root).
    bool MakeUnwritable();
    // Fills the file system with a filler file and then frees `leave` bytes of it.
    bool FillLeaving(std::uint64_t leave);

  private:
    std::string folder_;
    std::uint64_t size_;
    bool mounted_ = false;
    std::string why_;
};

}  // namespace testfs
