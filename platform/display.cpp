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

// Opens and closes a connection to the X server through the same library the toolkit uses,
// loaded at run time so that a machine without it simply has no X display.
bool XServerAccepts(const std::string& display) {
    void* xcb = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!xcb) return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(dlsym(xcb, "xcb_disconnect"));
    bool ok = false;
    if (connect && hasError && disconnect) {
        void* c = connect(display.c_str(), nullptr);
        ok = c && hasError(c) == 0;
        if (c) disconnect(c);
    }
    dlclose(xcb);
    return ok;
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

}  // namespace

bool DisplayAvailable() {
    const std::string qpa = Env("QT_QPA_PLATFORM");
    // A platform chosen by name that needs no display server (offscreen, vnc, ...).
    if (!qpa.empty() && qpa.rfind("xcb", 0) != 0 && qpa.rfind("wayland", 0) != 0) return true;
    if (const std::string d = Env("DISPLAY"); !d.empty() && XServerAccepts(d)) return true;
    if (const std::string w = Env("WAYLAND_DISPLAY"); !w.empty() && WaylandCompositorAccepts(w)) return true;
    return false;
}

}  // namespace platform
