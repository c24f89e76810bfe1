#include "app/input_check.h"

#include <cerrno>
#include <cstring>

#include "platform/file.h"

std::string UnreadableInputReason(const std::string& path) {
    return platform::UnreadableFileReason(path);
}

std::string UnwritableOutputReason(const std::string& path) {
    // A folder, a FIFO (which would hold the writer until something reads it) or a socket.
    if (platform::IsFolder(path)) return "it is a folder";
    if (platform::FileExists(path) && !platform::IsRegularFileOrDevice(path)) return "it is not a regular file";
    platform::OutputFile probe;
    if (probe.Create(path)) {
        probe.Discard();
        return "";
    }
    if (errno == EWOULDBLOCK) return "another run is writing it";
    return std::strerror(errno);
}
