#pragma once

namespace voltrex {

// The owner's multimeter, as far as the calibration needs to know it: how many
// counts its display has, which sets the last digit it shows on each range.
enum class MeterType {
    // 3 1/2 digits: 1999 counts (200 mV, 2 V, 20 V, 200 V ranges).
    ThreeAndAHalfDigits,
    // 4 1/2 digits: 19999 counts, ten times finer on every range.
    FourAndAHalfDigits,
};

// The meter's name in texts and in the calibration history.
const char* MeterTypeName(MeterType type);

// The last digit the meter shows a value with, on the lowest range that holds
// the value (volts: 200 mV up to 1000 V; amperes: 200 mA up to 20 A).
double MeterResolution(MeterType type, double value, bool amperes);

}  // namespace voltrex
