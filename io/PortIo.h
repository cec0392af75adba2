/* The C interface of the port I/O library "io" (libio.so, the io.dll of the
 * instrument's original platform). The program loads the library by name and
 * looks each entry point up by name; every build of the library (simulated
 * instrument, real parallel port) exports these 13 functions with C linkage,
 * and may export the optional ones declared after them. */
#ifndef VOLTREX_IO_PORTIO_H
#define VOLTREX_IO_PORTIO_H

#ifdef __cplusplus
extern "C" {
#endif

#define VOLTREX_IO_EXPORT __attribute__((visibility("default")))

VOLTREX_IO_EXPORT void PortOut(unsigned short port, unsigned char value);
VOLTREX_IO_EXPORT void PortWordOut(unsigned short port, unsigned short value);
VOLTREX_IO_EXPORT void PortDWordOut(unsigned short port, unsigned int value);
VOLTREX_IO_EXPORT unsigned char PortIn(unsigned short port);
VOLTREX_IO_EXPORT unsigned short PortWordIn(unsigned short port);
VOLTREX_IO_EXPORT unsigned int PortDWordIn(unsigned short port);
VOLTREX_IO_EXPORT void SetPortBit(unsigned short port, unsigned char bit);
VOLTREX_IO_EXPORT void ClrPortBit(unsigned short port, unsigned char bit);
VOLTREX_IO_EXPORT void NotPortBit(unsigned short port, unsigned char bit);
VOLTREX_IO_EXPORT int GetPortBit(unsigned short port, unsigned char bit);
/* Shift the port's byte one place; value (0 or 1) enters at the freed end and
 * the bit shifted out is returned. */
VOLTREX_IO_EXPORT int RightPortShift(unsigned short port, int value);
VOLTREX_IO_EXPORT int LeftPortShift(unsigned short port, int value);
/* Non-zero when port access works. */
VOLTREX_IO_EXPORT int IsDriverInstalled(void);

/* Optional entry points: a library may lack them, and the program looks each
 * up by name like the others and does without it when it is missing. */

/* Why the port whose data register is at port cannot be used, as one line of
 * text that says what to do about it; NULL when it can be used. Opens (and
 * claims) the port if that was not yet tried, so the program asks before its
 * first write. Never blocks. The text stays valid until the library is
 * unloaded. */
VOLTREX_IO_EXPORT const char* PortAccessProblem(unsigned short port);
/* Exported only by a library that drives something other than a real
 * instrument: what it drives, e.g. "simulated charger". */
VOLTREX_IO_EXPORT const char* SimulatedBoardName(void);

typedef void (*PortOutProc)(unsigned short port, unsigned char value);
typedef void (*PortWordOutProc)(unsigned short port, unsigned short value);
typedef void (*PortDWordOutProc)(unsigned short port, unsigned int value);
typedef unsigned char (*PortInProc)(unsigned short port);
typedef unsigned short (*PortWordInProc)(unsigned short port);
typedef unsigned int (*PortDWordInProc)(unsigned short port);
typedef void (*PortBitProc)(unsigned short port, unsigned char bit);
typedef int (*GetPortBitProc)(unsigned short port, unsigned char bit);
typedef int (*PortShiftProc)(unsigned short port, int value);
typedef int (*IsDriverInstalledProc)(void);
typedef const char* (*PortAccessProblemProc)(unsigned short port);
typedef const char* (*SimulatedBoardNameProc)(void);

#ifdef __cplusplus
}
#endif

#endif
