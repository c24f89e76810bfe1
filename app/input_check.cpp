#include "app/input_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file.h"

std::string UnreadableInputReason(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    // Non-blocking, as the reader opens it; a regular file never waits here.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    ::close(fd);
    return "";
}

std::string UnwritableOutputReason(const std::string& path) {
    platform::OutputFile probe;
    if (probe.Create(path)) {
        probe.Discard();
        return "";
    }
    if (errno == EWOULDBLOCK) return "another run is writing it";
    return std::strerror(errno);
}
