#pragma once

#include <string>

#include "config/Configuration.h"

namespace voltrex {

// A reading with a calibration at a fractional high-side count and low-side
// count: the weight sums are taken between the two neighbouring counts, so
// that a calibration's effect on a reading shows smoothly, not in steps of a
// count.
double ReadingAt(const CalibrationBlock& calibration, double highCount, double lowCount);

// The high-side count at which the calibration reads volts, with the low
// side at lowCount (the counts need not be whole).
double HighCountFor(const CalibrationBlock& calibration, double volts, double lowCount);

// What the board now reads as volts, read with the new calibration: e.g. "a
// 7.200 V reading becomes 7.236 V".
std::string VoltageEffect(const CalibrationBlock& old, const CalibrationBlock& updated,
                          double volts, double lowCount);

// What a result counted at a rate with the old current becomes with the new
// one: e.g. "a 1000 mAh discharge at rate 8 becomes 1031 mAh".
std::string CapacityEffect(double oldAmperes, double newAmperes, int rate, bool charge);

// What the converter's offset does to a reading: a constant error of
// offset x (high-side multiplier - low-side multiplier) volts. E.g. "at 1
// cell (1.2 V) a reading is 3.4 mV low (0.28 %)", for 1, 6 and 12 nickel
// cells, joined by "; ".
std::string OffsetEffect(double offset, const CalibrationBlock& calibration);

}  // namespace voltrex
