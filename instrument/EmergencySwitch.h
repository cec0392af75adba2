#pragma once

#include <cstdint>

#include "io/PortIo.h"

namespace voltrex {

// The parallel port keeps its data pins when the program dies, so a pack left
// charging would go on charging unattended. The instrument arms this switch
// with the bound PortOut and the port in use whenever either changes; a fatal
// signal handler (or any last-ditch path) calls EmergencySwitchOff, which
// writes the all-off byte with no locking, allocation or library call but the
// one port write, and is therefore safe to run from a signal handler.
void ArmEmergencySwitch(PortOutProc portOut, std::uint16_t portAddress) noexcept;
void DisarmEmergencySwitch() noexcept;
void EmergencySwitchOff() noexcept;

}  // namespace voltrex
