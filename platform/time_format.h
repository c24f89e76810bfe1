// Whole seconds shown as "%H:%M:%S"; the hours are those within the day (90000 s is 01:00:00),
// as formatting a count of seconds as a time of day gives.
#pragma once

#include <ctime>
#include <string>

namespace platform {

std::string FormatSeconds(long long seconds);

// Wall-clock time in whole seconds.
std::time_t NowSeconds();

}  // namespace platform
