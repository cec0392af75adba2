#pragma once

#include "io/parport/SystemCalls.h"

namespace voltrex::io {

// The Linux parallel port driver lists each port under
// <procRoot>/sys/dev/parport/parportN/ with a file base-addr holding decimal
// numbers separated by a tab, e.g. "888\t1912" for the port at 0x378 (the
// second is the ECP register block), and a file devices/active naming the
// device that has the port claimed ("none" when nobody has). The port is then
// /dev/parportN through the ppdev module.
//
// Everything here uses only open/read/close and the caller's buffers, no heap:
// the port library may look a port up on the way to an emergency switch-off.

// Ports are numbered from 0 in the order the driver found them; a machine has
// a handful at most, and the numbers may have gaps after a hot unplug.
inline constexpr int HighestPortNumber = 63;

// The first number of a base-addr file's text, or -1 when there is none.
long ParseBaseAddress(const char* text);

// The first base address listed for parportN, or -1 when there is no such
// port.
long BaseAddressOfParport(const char* procRoot, int n, const SystemCalls& calls = RealSystemCalls);

// The N of the parportN whose first base address is base, or -1.
int FindParportForBase(const char* procRoot, unsigned base,
                       const SystemCalls& calls = RealSystemCalls);

// Reads up to size - 1 bytes of a small file (a /proc entry) into buffer and
// terminates them, with trailing white space cut off. False when the file
// cannot be opened or read.
bool ReadSmallFile(const char* path, char* buffer, unsigned size,
                   const SystemCalls& calls = RealSystemCalls);

// Writes "<root>/<prefix><n><suffix>" into buffer (always terminated);
// false when it did not fit.
bool FormatIndexedPath(char* buffer, unsigned size, const char* root, const char* prefix, long n,
                       const char* suffix);

}  // namespace voltrex::io
