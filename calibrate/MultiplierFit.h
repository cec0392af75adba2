#pragma once

#include <optional>
#include <string>

#include "config/Configuration.h"
#include "instrument/Instrument.h"

namespace voltrex {

// What the board shows of a pack at rest, for the two multipliers: the mean,
// over a run of conversions, of the weight sums at which the low-side and the
// high-side comparator flipped (with the weights the new calibration uses).
struct ComparatorLevels {
    double LowSum = 0.0;
    double HighSum = 0.0;
    int Conversions = 0;
};

// Runs conversions of the pack as it is (no current) and averages the weight
// sums of both sides with the calibration's weights; failed conversions are
// left out.
ComparatorLevels MeasureComparatorLevels(Instrument& instrument,
                                         const CalibrationBlock& calibration, int conversions);

// The two multipliers from the meter's readings of the same pack at rest:
// the pack's voltage across its terminals and its negative terminal against
// the board's ground. The high side flips where the converter reaches the
// positive terminal (ground offset plus pack) divided by the high-side
// multiplier, the low side where it reaches the negative terminal divided by
// the low-side multiplier.
//
// A side whose comparator flips within the converter's first few counts
// (its weight sum below 5 mV) cannot be determined: the meter's last digit
// and the converter's offset would make up most of the figure. That side then
// keeps its old value, and Reason says why; it is the low side on a board
// whose pack sits right on its ground, where the low-side multiplier has
// next to no effect on readings either.
struct MultiplierFit {
    std::optional<double> Low;
    std::optional<double> High;
    std::string LowReason;
    std::string HighReason;
};

MultiplierFit FitMultipliers(const ComparatorLevels& levels, double packVolts,
                             double negativeVolts);

// The smallest weight sum a multiplier is determined from, volts.
inline constexpr double SmallestLevel = 0.005;

}  // namespace voltrex
