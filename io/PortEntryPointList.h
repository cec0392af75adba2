/* The entry points of the port I/O library "io", each named once. Everything
 * that names them derives from these two lists: the declarations and the
 * function pointer types of io/PortIo.h, the program's look-up table, the
 * libraries' definitions and export lists, the tests' stand-in library and
 * the test of what a build exports. Adding an entry point is one line here
 * (and its definition in the library).
 *
 * Each line is X(ReturnType, Name, Parameters, Arguments): Parameters is the
 * parenthesised parameter list with names, Arguments the same names in
 * parentheses, ready to pass on. Plain C, so that C code can include it. */
#ifndef VOLTREX_IO_PORTENTRYPOINTLIST_H
#define VOLTREX_IO_PORTENTRYPOINTLIST_H

/* The 13 entry points every build exports, in the order the program looks
 * them up.
 *   PortOut, PortIn         one byte to and from an I/O port
 *   PortWord..., PortDWord... that many consecutive ports, least significant
 *                           byte first
 *   SetPortBit, ClrPortBit, NotPortBit, GetPortBit
 *                           one bit (0-7) of a port's byte
 *   RightPortShift, LeftPortShift
 *                           shift the port's byte one place; value (0 or 1)
 *                           enters at the freed end and the bit shifted out
 *                           is returned
 *   IsDriverInstalled       non-zero when port access works */
#define VOLTREX_PORT_ENTRY_POINTS(X)                                                 \
    X(void, PortOut, (unsigned short port, unsigned char value), (port, value))      \
    X(void, PortWordOut, (unsigned short port, unsigned short value), (port, value)) \
    X(void, PortDWordOut, (unsigned short port, unsigned int value), (port, value))  \
    X(unsigned char, PortIn, (unsigned short port), (port))                          \
    X(unsigned short, PortWordIn, (unsigned short port), (port))                     \
    X(unsigned int, PortDWordIn, (unsigned short port), (port))                      \
    X(void, SetPortBit, (unsigned short port, unsigned char bit), (port, bit))       \
    X(void, ClrPortBit, (unsigned short port, unsigned char bit), (port, bit))       \
    X(void, NotPortBit, (unsigned short port, unsigned char bit), (port, bit))       \
    X(int, GetPortBit, (unsigned short port, unsigned char bit), (port, bit))        \
    X(int, RightPortShift, (unsigned short port, int value), (port, value))          \
    X(int, LeftPortShift, (unsigned short port, int value), (port, value))           \
    X(int, IsDriverInstalled, (void), ())

/* Optional entry points: a library may lack them, and the program looks each
 * up by name like the others and does without it when it is missing.
 *   PortAccessProblem   why the port whose data register is at port cannot be
 *                       used, as one line of text that says what to do about
 *                       it; NULL when it can be used. Opens (and claims) the
 *                       port if that was not yet tried, so the program asks
 *                       before its first write. Never blocks. The text stays
 *                       valid until the library is unloaded.
 *   SimulatedBoardName  exported only by a library that drives something
 *                       other than a real instrument: what it drives, e.g.
 *                       "simulated charger".
 *   SimulatedMeterReading
 *                       exported only by the simulated library: what a
 *                       multimeter on the simulated board shows now at the
 *                       probe (one of the VOLTREX_METER_ numbers below), in
 *                       volts or amperes, with its resolution and noise; not
 *                       a number for any other probe. */
#define VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(X)                        \
    X(const char*, PortAccessProblem, (unsigned short port), (port)) \
    X(const char*, SimulatedBoardName, (void), ())                   \
    X(double, SimulatedMeterReading, (int probe), (probe))

/* The probes of SimulatedMeterReading. */
#define VOLTREX_METER_CONVERTER_OUTPUT 0  /* D-to-A output against ground, V */
#define VOLTREX_METER_PACK_VOLTAGE 1      /* across the pack's terminals, V */
#define VOLTREX_METER_NEGATIVE_TERMINAL 2 /* negative terminal against ground, V */
#define VOLTREX_METER_SERIES_CURRENT 3    /* in series with the pack, A */

#endif
