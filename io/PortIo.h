/* The C interface of the port I/O library "io" (libio.so, the io.dll of the
 * instrument's original platform). The program loads the library by name and
 * looks each entry point up by name; every build of the library (simulated
 * instrument, real parallel port) exports the 13 entry points of
 * io/PortEntryPointList.h with C linkage, and may export the optional ones
 * listed there. For each entry point Name the header declares the function
 * and a pointer type NameProc. */
#ifndef VOLTREX_IO_PORTIO_H
#define VOLTREX_IO_PORTIO_H

#include "io/PortEntryPointList.h"

#ifdef __cplusplus
extern "C" {
#endif

#define VOLTREX_IO_EXPORT __attribute__((visibility("default")))

#define VOLTREX_IO_DECLARE(ReturnType, Name, Parameters, Arguments) \
    VOLTREX_IO_EXPORT ReturnType Name Parameters;                   \
    typedef ReturnType(*Name##Proc) Parameters;
VOLTREX_PORT_ENTRY_POINTS(VOLTREX_IO_DECLARE)
VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(VOLTREX_IO_DECLARE)
#undef VOLTREX_IO_DECLARE

#ifdef __cplusplus
}
#endif

#endif
