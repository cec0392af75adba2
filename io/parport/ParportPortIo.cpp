// The port library for the real instrument on a PC parallel port under Linux,
// through the ppdev driver (or direct port I/O where only that is allowed).
// Built as lib/parport/libio.so. Installed, it is the library the program and
// the hardware check load by default (through their RUNPATH); in the build
// tree they use it when that folder comes first on LD_LIBRARY_PATH.

#include <unistd.h>

#include <cstring>

#include "io/PortBackend.h"
#include "io/PortIo.h"
#include "io/parport/ParportTable.h"

namespace voltrex::io {

namespace {

// Also called from inside a signal handler (a write that finds the port
// gone): write(2) and strlen only.
void ReportToStandardError(const char* message) {
    const ssize_t written = write(STDERR_FILENO, message, std::strlen(message));
    static_cast<void>(written);
}

// A C library has no handle to hand around: the table of open ports is one
// object for the process. It is constant-initialised (no constructor runs, no
// guard is checked), so even a first call from a signal handler finds it
// ready.
constinit ParportTable ports("/proc", "/dev", true, &ReportToStandardError);

}  // namespace

void ByteOut(unsigned short port, unsigned char value) {
    ports.Out(port, value);
}

unsigned char ByteIn(unsigned short port) {
    return ports.In(port);
}

bool DriverInstalled() {
    return ports.AnyPortUsable();
}

}  // namespace voltrex::io

extern "C" VOLTREX_IO_EXPORT const char* PortAccessProblem(unsigned short port) {
    return voltrex::io::ports.AccessProblem(port);
}
