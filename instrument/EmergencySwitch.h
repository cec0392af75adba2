#pragma once

#include <atomic>
#include <cstdint>

#include "io/PortIo.h"

namespace voltrex {

// What the instrument keeps of the port in lock-free atomics, so that the
// emergency switch-off can read and change it from a signal handler: the
// bound port's plain C PortOut (the port library's own entry point, never a
// call through an object, which may be half destroyed when the handler
// runs), the port in use (0 = none) and the byte last written to the data
// register.
struct PortRecord {
    std::atomic<PortOutProc> PortOut{nullptr};
    std::atomic<std::uint16_t> PortAddress{0};
    std::atomic<std::uint8_t> ControlLatch{0};
};

// The parallel port keeps its data pins when the program dies, so a pack left
// charging would go on charging unattended. The instrument arms this switch
// with its record once it has written to a port (so the port library has
// opened it: the switch-off never makes the library open a device), and every
// way out of the process (fatal signals, exit(), std::terminate, a failure
// that ends the program) calls EmergencySwitchOff.
//
// EmergencySwitchOff switches off as the drive operations do, current first:
// the latch with its rate bits (and any counter pulse) cleared, 1 ms for the
// current to stop, then 0x00 with the relays open. It then leaves the record
// at latch 0x00 and no port, so nothing the program still does on its way
// out can close a relay again. With the latch already 0x00 it writes nothing.
// It takes no lock, allocates nothing and calls nothing but PortOut and
// nanosleep, so it is safe in a signal handler; a second call does nothing.
//
// The first arming also registers EmergencySwitchOff with the process-exit
// list. That is after the port library's first access, and the exit list runs
// in reverse order of registration, so whoever calls exit() the switch-off
// comes before the port library's own teardown (its static objects are
// registered when it is loaded or first used).
void ArmEmergencySwitch(PortRecord& record) noexcept;
// Disarms the switch if it is armed with this record.
void DisarmEmergencySwitch(const PortRecord& record) noexcept;
void EmergencySwitchOff() noexcept;

}  // namespace voltrex
