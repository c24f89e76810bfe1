// The window message that carries progress from the worker to the window.
#pragma once

#include "platform/window.h"

inline constexpr unsigned WM_JOB_PROGRESS = platform::WM_USER + 1;
