#pragma once

#include <array>
#include <optional>
#include <string>

#include "calibrate/MeterType.h"

namespace voltrex {

// What one sitting of the calibration assistant found: only the values of the
// steps the owner did not skip are set; everything else keeps its line of
// "Voltrex2.ini" as it stands.
struct CalibrationResult {
    std::optional<std::array<double, 12>> BitWeights;
    std::optional<double> LowSideMultiplier;
    std::optional<double> HighSideMultiplier;
    // Rate table: row r of each column, rows 1 to 15 (row 0 is no current).
    std::array<std::optional<double>, 16> ChargeCurrent{};
    std::array<std::optional<double>, 16> DischargeCurrent{};

    // For the calibration history.
    MeterType Meter = MeterType::FourAndAHalfDigits;
    // What the owner calls the meter, e.g. "Fluke 87"; may be empty.
    std::string MeterName;
    double WeightResidualRms = 0.0;
    double ConverterOffset = 0.0;

    bool Empty() const;
};

}  // namespace voltrex
