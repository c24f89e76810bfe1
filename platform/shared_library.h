// Run-time loading of shared libraries.
#pragma once

#include <string>

namespace platform {

class SharedLibrary {
  public:
    SharedLibrary() = default;
    ~SharedLibrary();
    SharedLibrary(SharedLibrary&& other) noexcept;
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    // Loads the library by name (searched as the dynamic loader does) or by path.
    bool Load(const std::string& name);
    void Unload();
    bool IsLoaded() const { return handle_ != nullptr; }
    // The loader's last error text, for diagnostics.
    const std::string& Error() const { return error_; }

    void* Symbol(const std::string& name) const;
    template <typename F>
    F Function(const std::string& name) const {
        return reinterpret_cast<F>(Symbol(name));
    }

  private:
    void* handle_ = nullptr;
    std::string error_;
};

// The folder of the running executable, with a trailing '/'.
std::string ExecutableFolder();

}  // namespace platform
