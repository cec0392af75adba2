// What each build of the port library provides: byte access to an I/O port
// and whether port access works. PortEntryPoints.cpp builds the 13 exported
// entry points on top of these, the same way in every build.
#pragma once

namespace voltrex::io {

void ByteOut(unsigned short port, unsigned char value);
unsigned char ByteIn(unsigned short port);
bool DriverInstalled();

}  // namespace voltrex::io
