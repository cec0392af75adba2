// The port library for the real instrument on a PC parallel port under Linux,
// through the ppdev driver (or direct port I/O where only that is allowed).
// Built as lib/parport/libio.so; the program uses it when that folder comes
// first on LD_LIBRARY_PATH.

#include <unistd.h>

#include <cstring>

#include "io/PortByteOps.h"
#include "io/PortIo.h"
#include "io/parport/ParportTable.h"

namespace voltrex::io {

namespace {

void ReportToStandardError(const char* message) {
    const ssize_t written = write(STDERR_FILENO, message, std::strlen(message));
    static_cast<void>(written);
}

// A C library has no handle to hand around: the table of open ports is one
// object for the process. It is constant-initialised (no constructor runs, no
// guard is checked), so even a first call from a signal handler finds it
// ready.
constinit ParportTable ports("/proc", "/dev", true, &ReportToStandardError);

void ByteOut(unsigned short port, unsigned char value) {
    ports.Out(port, value);
}

unsigned char ByteIn(unsigned short port) {
    return ports.In(port);
}

using Ops = PortByteOps<ByteOut, ByteIn>;

}  // namespace

}  // namespace voltrex::io

using voltrex::io::Ops;

extern "C" {

void PortOut(unsigned short port, unsigned char value) {
    voltrex::io::ByteOut(port, value);
}
void PortWordOut(unsigned short port, unsigned short value) {
    Ops::WordOut(port, value);
}
void PortDWordOut(unsigned short port, unsigned int value) {
    Ops::DWordOut(port, value);
}
unsigned char PortIn(unsigned short port) {
    return voltrex::io::ByteIn(port);
}
unsigned short PortWordIn(unsigned short port) {
    return Ops::WordIn(port);
}
unsigned int PortDWordIn(unsigned short port) {
    return Ops::DWordIn(port);
}
void SetPortBit(unsigned short port, unsigned char bit) {
    Ops::SetBit(port, bit);
}
void ClrPortBit(unsigned short port, unsigned char bit) {
    Ops::ClrBit(port, bit);
}
void NotPortBit(unsigned short port, unsigned char bit) {
    Ops::NotBit(port, bit);
}
int GetPortBit(unsigned short port, unsigned char bit) {
    return Ops::GetBit(port, bit);
}
int RightPortShift(unsigned short port, int value) {
    return Ops::RightShift(port, value);
}
int LeftPortShift(unsigned short port, int value) {
    return Ops::LeftShift(port, value);
}
int IsDriverInstalled(void) {
    return voltrex::io::ports.AnyPortUsable() ? 1 : 0;
}

}  // extern "C"
