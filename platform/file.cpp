#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

OutputFile::~OutputFile() {
    Close();
}

bool OutputFile::Create(const std::string& path) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    path_ = path;
    failed_ = false;
    return file_ != nullptr;
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

bool OutputFile::Close() {
    if (!file_) return !failed_;
    if (std::fflush(file_) != 0) failed_ = true;
    if (fsync(fileno(file_)) != 0 && errno != EINVAL) failed_ = true;
    if (std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    return !failed_;
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

}  // namespace platform
