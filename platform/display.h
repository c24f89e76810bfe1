// Whether the desktop window can be shown: a display server the toolkit can reach.
#pragma once

namespace platform {

// Asked before the toolkit starts, which ends the process on a display it cannot open. True
// when QT_QPA_PLATFORM names a platform of its own (such as offscreen), when the X server that
// DISPLAY names accepts a connection, or when the Wayland compositor that WAYLAND_DISPLAY names
// accepts one; never true in a process restarted after the toolkit failed (see
// MarkDisplayFailed).
//
// The probe's X connection stays open until Release: an X server whose only client closes
// resets, and a toolkit connecting at that moment fails. Release it once the toolkit has its
// own connection.
class DisplayProbe {
  public:
    DisplayProbe();
    ~DisplayProbe();
    DisplayProbe(const DisplayProbe&) = delete;
    DisplayProbe& operator=(const DisplayProbe&) = delete;

    bool Available() const { return available_; }
    void Release();

  private:
    bool ProbeX(const char* display);

    void* library_ = nullptr;
    void* connection_ = nullptr;
    void (*disconnect_)(void*) = nullptr;
    bool available_ = false;
};

// Marks the environment so that a probe in this process, or in one it executes, finds no
// display.
void MarkDisplayFailed();

}  // namespace platform
