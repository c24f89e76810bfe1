#include "platform/display.h"

#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

bool WaylandCompositorAccepts(const std::string& display) {
    std::string path = display;
    if (path.empty() || path[0] != '/') {
        const std::string runtime = Env("XDG_RUNTIME_DIR");
        if (runtime.empty()) return false;
        path = runtime + "/" + display;
    }
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

constexpr const char* kDisplayFailed = "VELTO_DISPLAY_FAILED";

}  // namespace

DisplayProbe::DisplayProbe() {
    if (!Env(kDisplayFailed).empty()) return;
    const std::string qpa = Env("QT_QPA_PLATFORM");
    // A platform chosen by name that needs no display server (offscreen, vnc, ...).
    if (!qpa.empty() && qpa.rfind("xcb", 0) != 0 && qpa.rfind("wayland", 0) != 0) {
        available_ = true;
    } else if (const std::string d = Env("DISPLAY"); !d.empty() && ProbeX(d.c_str())) {
        available_ = true;
    } else if (const std::string w = Env("WAYLAND_DISPLAY"); !w.empty() && WaylandCompositorAccepts(w)) {
        available_ = true;
    }
}

DisplayProbe::~DisplayProbe() {
    Release();
}

// Connects to the X server through the same library the toolkit uses, loaded at run time so
// that a machine without it simply has no X display. The connection is kept until Release.
bool DisplayProbe::ProbeX(const char* display) {
    library_ = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!library_) return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(library_, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(library_, "xcb_connection_has_error"));
    disconnect_ = reinterpret_cast<void (*)(void*)>(dlsym(library_, "xcb_disconnect"));
    if (connect && hasError && disconnect_) connection_ = connect(display, nullptr);
    return connection_ && hasError(connection_) == 0;
}

void DisplayProbe::Release() {
    if (connection_) disconnect_(connection_);
    connection_ = nullptr;
    if (library_) dlclose(library_);
    library_ = nullptr;
}

void MarkDisplayFailed() {
    setenv(kDisplayFailed, "1", 1);
}

}  // namespace platform
