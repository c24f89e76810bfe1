// Whether the desktop window can be shown: a display server the toolkit can reach.
#pragma once

namespace platform {

// True when QT_QPA_PLATFORM names a platform of its own (such as offscreen), when the X server
// that DISPLAY names accepts a connection, or when the Wayland compositor that WAYLAND_DISPLAY
// names accepts one. Asked before the toolkit starts, which ends the process on a display it
// cannot open.
bool DisplayAvailable();

}  // namespace platform
