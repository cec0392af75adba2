#pragma once

#include <cstdint>

namespace voltrex {

// The charger board's wiring to the parallel port, as the program drives it.
//
// Data register (the control latch, written whole every time; it cannot be
// read back):
//   bits 0-3  the rate setting: the row of the rate table, 0 = no current
//   bit 4     mode relay: set = charge, clear = discharge
//   bit 5     battery relay: set = pack connected
//   bit 6     counter reset: a high pulse clears the 12-bit D-to-A counter
//   bit 7     counter clock: a high pulse advances the counter by one
inline constexpr std::uint8_t RateBits = 0x0F;
inline constexpr std::uint8_t ModeRelay = 0x10;
inline constexpr std::uint8_t BatteryRelay = 0x20;
inline constexpr std::uint8_t RelayBits = ModeRelay | BatteryRelay;
inline constexpr std::uint8_t CounterReset = 0x40;
inline constexpr std::uint8_t CounterClock = 0x80;
// The highest rate setting (rate bits all set); a test runs at 1 to this.
inline constexpr int HighestRate = RateBits;

// Status register (data address + 1): each comparator bit reads 1 while the
// D-to-A output is below that comparator's input, 0 once it has reached it.
inline constexpr std::uint8_t HighSideComparator = 0x08;
inline constexpr std::uint8_t LowSideComparator = 0x10;

// The counts of the 12-bit counter, 0 to 4095.
inline constexpr int CounterRange = 4096;

}  // namespace voltrex
