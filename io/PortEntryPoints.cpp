// The exported entry points of the port library, on top of the byte access
// of the build they are linked into (io/PortBackend.h).

#include "io/PortBackend.h"
#include "io/PortByteOps.h"
#include "io/PortIo.h"

namespace {
using Ops = voltrex::io::PortByteOps<voltrex::io::ByteOut, voltrex::io::ByteIn,
                                     voltrex::io::DriverInstalled>;
}

extern "C" {

#define VOLTREX_IO_DEFINE(ReturnType, Name, Parameters, Arguments) \
    ReturnType Name Parameters {                                   \
        return Ops::Name Arguments;                                \
    }
VOLTREX_PORT_ENTRY_POINTS(VOLTREX_IO_DEFINE)
#undef VOLTREX_IO_DEFINE

}  // extern "C"
