// A stand-in port library for the binding tests. It defines every entry point
// of the list; each test variant exports a part of them (the version scripts
// in CMakeLists.txt), as a library that has them. PortIn answers 0x5A and
// PortOut remembers the last value, which PortDWordIn reports back. Of the
// optional entry points, a board that calls itself "test board" and can only
// be used at 0x378. Every other entry point does nothing and answers 0.

#include "io/PortIo.h"

namespace {

template <typename... Arguments>
void Ignore(const Arguments&...) {}

struct Defaults {
#define FAKE_IO_DEFAULT(ReturnType, Name, Parameters, Arguments) \
    static ReturnType Name Parameters {                          \
        Ignore Arguments;                                        \
        using Result = ReturnType;                               \
        return Result();                                         \
    }
    VOLTREX_PORT_ENTRY_POINTS(FAKE_IO_DEFAULT)
    VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(FAKE_IO_DEFAULT)
#undef FAKE_IO_DEFAULT
};

unsigned char lastValue = 0;

// The entry points that do something hide the defaults of the same name.
struct Fake : Defaults {
    static void PortOut(unsigned short, unsigned char value) { lastValue = value; }
    static unsigned char PortIn(unsigned short) { return 0x5A; }
    static unsigned int PortDWordIn(unsigned short) { return lastValue; }
    static int IsDriverInstalled() { return 1; }
    static const char* PortAccessProblem(unsigned short port) {
        return port == 0x378 ? nullptr : "the test board answers only at 0x378.";
    }
    static const char* SimulatedBoardName() { return "test board"; }
};

}  // namespace

extern "C" {

#define FAKE_IO_DEFINE(ReturnType, Name, Parameters, Arguments) \
    ReturnType Name Parameters {                                \
        return Fake::Name Arguments;                            \
    }
VOLTREX_PORT_ENTRY_POINTS(FAKE_IO_DEFINE)
VOLTREX_PORT_OPTIONAL_ENTRY_POINTS(FAKE_IO_DEFINE)
#undef FAKE_IO_DEFINE

}  // extern "C"
