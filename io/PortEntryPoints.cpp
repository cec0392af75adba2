// The 13 exported entry points of the port library, on top of the byte access
// of the build they are linked into (io/PortBackend.h).

#include "io/PortBackend.h"
#include "io/PortByteOps.h"
#include "io/PortIo.h"

namespace {
using Ops = voltrex::io::PortByteOps<voltrex::io::ByteOut, voltrex::io::ByteIn>;
}

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
    return voltrex::io::DriverInstalled() ? 1 : 0;
}

}  // extern "C"
