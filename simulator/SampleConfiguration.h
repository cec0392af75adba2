#pragma once

#include "config/Configuration.h"
#include "simulator/BoardCalibration.h"

namespace voltrex::simulator {

// The configuration the program needs for the simulated board: its port, its
// true calibration and rate table, sixteen charge rates, and the chemistry
// limits of the sample "Voltrex2.ini" that ships with the program (which holds
// the same values, line for line).
Configuration SampleConfiguration(const BoardCalibration& board = DefaultBoardCalibration(),
                                  std::uint16_t portAddress = 0x378);

}  // namespace voltrex::simulator
