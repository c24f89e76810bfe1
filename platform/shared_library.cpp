#include "platform/shared_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <utility>

namespace platform {

SharedLibrary::~SharedLibrary() {
    Unload();
}

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        Unload();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

bool SharedLibrary::Load(const std::string& name) {
    Unload();
    handle_ = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        const char* e = dlerror();
        error_ = e ? e : "cannot load " + name;
    }
    return handle_ != nullptr;
}

void SharedLibrary::Unload() {
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

void* SharedLibrary::Symbol(const std::string& name) const {
    return handle_ ? dlsym(handle_, name.c_str()) : nullptr;
}

std::string ExecutableFolder() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "./";
    std::string path(buffer, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace platform
