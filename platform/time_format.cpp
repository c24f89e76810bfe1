#include "platform/time_format.h"

#include <cstdio>

namespace platform {

std::string FormatSeconds(long long seconds) {
    if (seconds < 0)
        seconds = 0;
    long long inDay = seconds % 86400;
    char text[16];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", inDay / 3600, inDay / 60 % 60, inDay % 60);
    return text;
}

std::time_t NowSeconds() {
    return std::time(nullptr);
}

}  // namespace platform
