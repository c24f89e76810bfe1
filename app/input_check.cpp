#include "app/input_check.h"

#include <cerrno>
#include <cstring>

#include "platform/file.h"

std::string UnreadableInputReason(const std::string& path) {
    return platform::UnreadableFileReason(path);
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
