/* A stand-in port library for the binding tests. PortIn answers 0x5A and
 * PortOut remembers the last value, which PortDWordIn reports back. The
 * "optional" build also has the optional entry points: a board that calls
 * itself "test board" and can only be used at 0x378. */
#include "io/PortIo.h"

static unsigned char lastValue;

VOLTREX_IO_EXPORT void PortOut(unsigned short port, unsigned char value) {
    (void)port;
    lastValue = value;
}
#ifndef FAKE_IO_NOPORTIN
VOLTREX_IO_EXPORT unsigned char PortIn(unsigned short port) {
    (void)port;
    return 0x5A;
}
#endif
VOLTREX_IO_EXPORT void PortWordOut(unsigned short port, unsigned short value) {
    (void)port;
    (void)value;
}
VOLTREX_IO_EXPORT void PortDWordOut(unsigned short port, unsigned int value) {
    (void)port;
    (void)value;
}
VOLTREX_IO_EXPORT unsigned short PortWordIn(unsigned short port) {
    (void)port;
    return 0;
}
VOLTREX_IO_EXPORT unsigned int PortDWordIn(unsigned short port) {
    (void)port;
    return lastValue;
}
VOLTREX_IO_EXPORT void SetPortBit(unsigned short port, unsigned char bit) {
    (void)port;
    (void)bit;
}
VOLTREX_IO_EXPORT void ClrPortBit(unsigned short port, unsigned char bit) {
    (void)port;
    (void)bit;
}
#ifndef FAKE_IO_NOMINOR
VOLTREX_IO_EXPORT void NotPortBit(unsigned short port, unsigned char bit) {
    (void)port;
    (void)bit;
}
#endif
VOLTREX_IO_EXPORT int GetPortBit(unsigned short port, unsigned char bit) {
    (void)port;
    (void)bit;
    return 0;
}
VOLTREX_IO_EXPORT int RightPortShift(unsigned short port, int value) {
    (void)port;
    return value;
}
VOLTREX_IO_EXPORT int LeftPortShift(unsigned short port, int value) {
    (void)port;
    return value;
}
VOLTREX_IO_EXPORT int IsDriverInstalled(void) {
    return 1;
}
#ifdef FAKE_IO_OPTIONAL
VOLTREX_IO_EXPORT const char* PortAccessProblem(unsigned short port) {
    return port == 0x378 ? 0 : "the test board answers only at 0x378.";
}
VOLTREX_IO_EXPORT const char* SimulatedBoardName(void) {
    return "test board";
}
#endif
