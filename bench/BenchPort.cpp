#include "bench/BenchPort.h"

namespace voltrex::bench {
namespace {

// The state behind the C entry points: a C function carries no context, so
// the one port the benchmark uses lives here, as behind the real library.
struct FreePortState {
    int Counter = 0;
    int LowFlip = 0;
    int HighFlip = 0;
    std::uint8_t Last = 0;
    std::int64_t Accesses = 0;
};
FreePortState state;

extern "C" void FreePortOut(unsigned short /*port*/, unsigned char value) {
    ++state.Accesses;
    if ((value & 0x40) != 0) {
        state.Counter = 0;
    } else if ((value & ~state.Last & 0x80) != 0) {
        ++state.Counter;
    }
    state.Last = value;
}

extern "C" unsigned char FreePortIn(unsigned short /*port*/) {
    ++state.Accesses;
    return static_cast<unsigned char>((state.Counter < state.LowFlip ? 0x10 : 0) |
                                      (state.Counter < state.HighFlip ? 0x08 : 0));
}

}  // namespace

FreePort::FreePort(int lowFlip, int highFlip) {
    state = FreePortState{0, lowFlip, highFlip, 0, 0};
}

FreePort::~FreePort() = default;

void FreePort::Out(std::uint16_t port, std::uint8_t value) {
    FreePortOut(port, value);
}

std::uint8_t FreePort::In(std::uint16_t port) {
    return FreePortIn(port);
}

PortProcs FreePort::Procs() const noexcept {
    return {&FreePortOut, &FreePortIn};
}

std::int64_t FreePort::Accesses() {
    return state.Accesses;
}

}  // namespace voltrex::bench
