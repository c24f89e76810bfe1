#include "platform/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace platform {

InputFile::~InputFile() {
    Close();
}

bool InputFile::Open(const std::string& path) {
    Close();
    // Non-blocking, so that opening a FIFO does not wait for a writer; it is refused below.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    file_ = fdopen(fd, "rb");
    if (!file_) {
        ::close(fd);
        return false;
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
    position_ = 0;
    failed_ = false;
    return true;
}

void InputFile::Close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    position_ = 0;
    size_ = 0;
    failed_ = false;
}

std::size_t InputFile::Read(void* buffer, std::size_t n) {
    if (!file_ || n == 0) return 0;
    std::size_t got = std::fread(buffer, 1, n, file_);
    position_ += got;
    if (got < n) failed_ = true;
    return got;
}

int InputFile::Peek() {
    if (!file_) return -1;
    int c = std::fgetc(file_);
    if (c == EOF) return -1;
    std::ungetc(c, file_);
    return c;
}

bool InputFile::SeekForward(std::uint64_t n) {
    if (!file_) return false;
    std::uint64_t target = position_ + n;
    if (target > static_cast<std::uint64_t>(INT64_MAX) ||
        fseeko(file_, static_cast<off_t>(target), SEEK_SET) != 0) {
        failed_ = true;
        return false;
    }
    position_ = target;
    return true;
}

namespace {

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Opens the temporary file under the lock that marks it as being written. A file of that name
// left by a killed run is taken over and emptied; one that a live run holds is refused.
int OpenLockedTemporary(const std::string& name) {
    // A few rounds: a writer that renames its finished file away between our open and our
    // lock leaves us holding the wrong inode.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0) return -1;
        if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return -1;
        }
        struct stat held {
        }, named{};
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && stat(name.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            if (ftruncate(fd, 0) == 0) return fd;
            ::close(fd);
            return -1;
        }
        ::close(fd);
    }
    return -1;
}

// A hidden unique name for a final name too long to carry the suffix.
int OpenUniqueTemporary(const std::string& folder, std::string& name) {
    std::string tmpl = folder + "/.velto-partial-XXXXXX";
    std::vector<char> buffer(tmpl.begin(), tmpl.end());
    buffer.push_back('\0');
    const int fd = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    name = buffer.data();
    // mkostemp makes the file private; an output is as readable as one fopen would make.
    fchmod(fd, 0644);
    flock(fd, LOCK_EX | LOCK_NB);
    return fd;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);  // best effort: the rename is made durable where the file system allows it
    ::close(fd);
}

}  // namespace

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create(const std::string& path) {
    Close();
    path_ = path;
    failed_ = false;
    struct stat existing {};
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        // A device or a pipe: written in place, as there is no earlier file to keep.
        sealed_ = false;
        writingPath_ = path;
        file_ = std::fopen(path.c_str(), "wb");
        return file_ != nullptr;
    }
    sealed_ = true;
    replacing_ = exists;
    // A link keeps leading where it led: the finished file replaces the file it names.
    renameTarget_ = path;
    if (exists) {
        struct stat link {};
        if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            if (char* resolved = realpath(path.c_str(), nullptr)) {
                renameTarget_ = resolved;
                std::free(resolved);
            }
        }
    }
    if (!OpenTemporary()) return false;
    // The finished file replaces the earlier one with the earlier one's permissions.
    if (exists) fchmod(fileno(file_), existing.st_mode & 07777);
    return true;
}

bool OutputFile::OpenTemporary() {
    writingPath_ = renameTarget_ + kPartialSuffix;
    int fd = OpenLockedTemporary(writingPath_);
    if (fd < 0 && errno == ENAMETOOLONG) fd = OpenUniqueTemporary(FolderOf(renameTarget_), writingPath_);
    if (fd < 0) return false;
    file_ = fdopen(fd, "wb");
    if (!file_) {
        ::close(fd);
        ::unlink(writingPath_.c_str());
        return false;
    }
    return true;
}

std::size_t OutputFile::Write(const void* data, std::size_t n) {
    if (!file_) return 0;
    if (failed_) return 0;
    std::size_t put = std::fwrite(data, 1, n, file_);
    if (put < n) failed_ = true;
    return put;
}

bool OutputFile::WriteAt(std::uint64_t offset, const void* data, std::size_t n) {
    if (!file_ || failed_) return false;
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0 || std::fwrite(data, 1, n, file_) < n ||
        fseeko(file_, 0, SEEK_END) != 0)
        failed_ = true;
    return !failed_;
}

bool OutputFile::Flush() {
    if (!file_ || failed_) return false;
    if (std::fflush(file_) != 0) failed_ = true;
    return !failed_;
}

void OutputFile::CloseStream() {
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
}

bool OutputFile::Close() {
    if (!file_) return !failed_;
    if (std::fflush(file_) != 0) failed_ = true;
    if (fsync(fileno(file_)) != 0 && errno != EINVAL) failed_ = true;
    if (!sealed_) {
        CloseStream();
        return !failed_;
    }
    // Renamed while the lock is still held, so no other run can empty the finished file.
    if (!failed_ && std::rename(writingPath_.c_str(), renameTarget_.c_str()) != 0) failed_ = true;
    if (failed_) ::unlink(writingPath_.c_str());
    CloseStream();
    if (!failed_) SyncFolder(FolderOf(renameTarget_));
    return !failed_;
}

bool OutputFile::CloseWithoutReplacing() {
    if (!file_) return false;
    if (sealed_ && replacing_) {
        Discard();
        return false;
    }
    return Close();
}

void OutputFile::Discard() {
    if (!file_) return;
    std::fclose(file_);
    file_ = nullptr;
    if (sealed_) ::unlink(writingPath_.c_str());
}

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

bool RemoveFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

std::string UnreadableFileReason(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    // Non-blocking, as InputFile opens it; a regular file never waits here.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return "";
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

}  // namespace platform
