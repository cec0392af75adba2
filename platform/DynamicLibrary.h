#pragma once

#include <string>

namespace voltrex {

// A shared library loaded by name at run time (dlopen/dlsym/dlclose).
// A bare name such as "libio.so" is searched by the dynamic loader's rules:
// LD_LIBRARY_PATH first, then the program's RUNPATH ($ORIGIN, the program's
// own folder), then the system folders.
class DynamicLibrary {
  public:
    DynamicLibrary() = default;
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // Loads the library; false when it cannot be loaded (see LastError()).
    // A library already open is closed first.
    bool Open(const std::string& name);

    // The address of an exported symbol, or nullptr when it is not there.
    void* Symbol(const char* name) const;

    // Unloads the library; does nothing when none is open.
    void Close();

    bool IsOpen() const { return handle_ != nullptr; }
    const std::string& LastError() const { return lastError_; }

  private:
    void* handle_ = nullptr;
    std::string lastError_;
};

}  // namespace voltrex
