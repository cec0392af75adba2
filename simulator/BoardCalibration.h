#pragma once

#include <array>
#include <cstdint>

#include "config/Configuration.h"

namespace voltrex::simulator {

// What the simulated charger board really is, as a careful calibration would
// find it: the true weights of its D-to-A bits, the true ratios of its two
// input dividers and the true currents of its sixteen rate settings. The
// sample configuration holds exactly these values.
struct BoardCalibration {
    // Volts of D-to-A output per bit of the count, index 0 = least significant.
    // A 4.096 V reference that is 0.12 % low and an R-2R ladder whose bits are
    // off by up to a third of a step, yet still monotonic.
    std::array<double, 12> BitWeights{};
    // D-to-A output at count 0, volts: the converter's offset, which the
    // program's weight sum cannot hold (it adds nothing at count 0).
    double ConverterOffset = 0.0;
    // Ratio of the sensed node to the comparator input of each side.
    double LowSideMultiplier = 0.0;
    double HighSideMultiplier = 0.0;
    // Amperes of each rate setting; row 0 is no current.
    std::array<double, 16> ChargeCurrent{};
    std::array<double, 16> DischargeCurrent{};
    // The pack's negative terminal sits above the board's ground by a bias and
    // the drop of the current over the return path (charge current lifts it,
    // discharge current lowers it).
    double GroundOffset = 0.0;
    double ReturnResistance = 0.0;
    // Comparator input noise, volts RMS (about one D-to-A step).
    double ComparatorNoise = 0.0;
};

// The board the simulator builds unless told otherwise.
const BoardCalibration& DefaultBoardCalibration();

// Another board of the same design, differing from the default (and so from
// the sample configuration) as real parts differ, reproducibly from the seed:
// a converter reference up to 0.8 % off and each ladder bit off by up to a
// tenth of a step on top (each weight within about 1 %, still monotonic), a
// converter offset of up to 0.2 mV, each divider ratio within 2 % and each
// current within 5 %. Ground offset, return path and comparator noise are
// the default's.
BoardCalibration SeededBoardCalibration(std::uint32_t seed);

// Writes the calibration block and the rate table into a configuration.
void ApplyBoardCalibration(const BoardCalibration& board, Configuration& config);

}  // namespace voltrex::simulator
