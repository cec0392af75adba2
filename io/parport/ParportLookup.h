#pragma once

namespace voltrex::io {

// The Linux parallel port driver lists each port under
// <procRoot>/sys/dev/parport/parportN/ with a file base-addr holding decimal
// numbers separated by a tab, e.g. "888\t1912" for the port at 0x378 (the
// second is the ECP register block). The port is then /dev/parportN through
// the ppdev module.
//
// Everything here uses only open/read/close and the caller's buffers, no heap:
// the port library may look a port up on the way to an emergency switch-off.

// The first number of a base-addr file's text, or -1 when there is none.
long ParseBaseAddress(const char* text);

// The N of the parportN whose first base address is base, or -1.
int FindParportForBase(const char* procRoot, unsigned base);

// Writes "<root>/<prefix><n><suffix>" into buffer (always terminated);
// false when it did not fit.
bool FormatIndexedPath(char* buffer, unsigned size, const char* root, const char* prefix, int n,
                       const char* suffix);

}  // namespace voltrex::io
