/* The port library's header is its C interface: this keeps it valid C. */
#include "io/PortIo.h"

PortOutProc PortIoFromCOut(void) {
    return &PortOut;
}
