#pragma once

#include <cstdint>

#include "io/PortIo.h"

namespace voltrex {

// The plain C entry points behind a port, where it has them; empty where not.
struct PortProcs {
    PortOutProc Out = nullptr;
    PortInProc In = nullptr;
};

// The parallel port as the program uses it: a byte written to an I/O port, a
// byte read from one, and what the start-up asks before the first write. The
// program's port is the loaded port library (LibraryPort); a test's is a
// plain object that records or simulates.
class Port {
  public:
    virtual ~Port() = default;

    virtual void Out(std::uint16_t port, std::uint8_t value) = 0;
    virtual std::uint8_t In(std::uint16_t port) = 0;

    // The C entry points that Out and In call, for the two callers that do
    // not go through an object: the emergency switch-off, which runs in
    // signal handlers while any object may be half destroyed (it needs Out),
    // and the conversion ramp, which calls both directly at every count. A
    // port gives Out alone when only the switch-off is to use it.
    virtual PortProcs Procs() const noexcept { return {}; }

    // Whether port access works at all; a port that cannot tell says yes.
    virtual bool DriverInstalled() { return true; }
    // Why the port whose data register is at port cannot be used, as one
    // line that says what to do about it; nullptr or "" when it can be used,
    // or when the port cannot tell.
    virtual const char* AccessProblem(std::uint16_t port) {
        (void)port;
        return nullptr;
    }
    // What the port drives when that is not a real instrument, e.g.
    // "simulated charger"; nullptr or "" for a real one.
    virtual const char* SimulatedBoardName() { return nullptr; }
    // What the multimeter on a simulated board shows at the probe (a
    // VOLTREX_METER_ number of io/PortEntryPointList.h), volts or amperes;
    // false for a real board, which has no meter the program can read.
    virtual bool ReadSimulatedMeter(int probe, double& value) {
        (void)probe;
        (void)value;
        return false;
    }
};

}  // namespace voltrex
