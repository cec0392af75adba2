// The real-port library's code on a fake /proc and /dev, for the tests of the
// hardware check, which runs as a program of its own: the two roots come from
// the environment (VOLTREX_TEST_PROC, VOLTREX_TEST_DEV), direct port access
// stays off. Built as libio.so in a folder of its own, once as the real port
// would be and once announcing a simulated board (VOLTREX_TEST_BOARD_NAME).

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "io/PortBackend.h"
#include "io/PortIo.h"
#include "io/parport/ParportTable.h"

namespace voltrex::io {

namespace {

void ReportToStandardError(const char* message) {
    const ssize_t written = write(STDERR_FILENO, message, std::strlen(message));
    static_cast<void>(written);
}

const char* Root(const char* variable) {
    const char* root = std::getenv(variable);
    return root != nullptr ? root : "/nonexistent";
}

ParportTable& Ports() {
    static ParportTable table(Root("VOLTREX_TEST_PROC"), Root("VOLTREX_TEST_DEV"), false,
                              &ReportToStandardError);
    return table;
}

}  // namespace

void ByteOut(unsigned short port, unsigned char value) {
    Ports().Out(port, value);
}

unsigned char ByteIn(unsigned short port) {
    return Ports().In(port);
}

bool DriverInstalled() {
    return Ports().AnyPortUsable();
}

}  // namespace voltrex::io

extern "C" VOLTREX_IO_EXPORT const char* PortAccessProblem(unsigned short port) {
    return voltrex::io::Ports().AccessProblem(port);
}

#ifdef VOLTREX_TEST_BOARD_NAME
extern "C" VOLTREX_IO_EXPORT const char* SimulatedBoardName(void) {
    return VOLTREX_TEST_BOARD_NAME;
}
#endif
