#pragma once

#include <string>

#include "instrument/LibraryPort.h"
#include "instrument/PortEntryPoints.h"
#include "platform/DynamicLibrary.h"

namespace voltrex {

// The name under which the program loads the port library.
inline constexpr const char* PortLibraryName = "libio.so";

// The port I/O library, loaded once and kept until the object (owned by the
// program for its whole run) is destroyed at exit.
class PortLibrary {
  public:
    PortLibrary() = default;
    ~PortLibrary() { ReleasePortLibrary(); }
    PortLibrary(const PortLibrary&) = delete;
    PortLibrary& operator=(const PortLibrary&) = delete;

    // Loads the library and looks its entry points up by name. Returns 0 on
    // success, 1 when the library cannot be loaded or lacks PortOut or PortIn,
    // the two the program calls (an empty one would crash the first write).
    // The other eleven, and the optional entry points, may be missing.
    int BindPortLibrary(const std::string& name = PortLibraryName);

    // Unloads the library; the entry points become empty.
    void ReleasePortLibrary();

    bool IsBound() const { return library_.IsOpen(); }
    const PortEntryPoints& EntryPoints() const { return entries_; }
    // The bound library as the instrument's port; usable while it is bound.
    LibraryPort& AsPort() { return port_; }
    // Why the last bind failed, for diagnostics.
    const std::string& LastError() const { return lastError_; }

  private:
    DynamicLibrary library_;
    PortEntryPoints entries_;
    LibraryPort port_;
    std::string lastError_;
};

}  // namespace voltrex
