#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace voltrex {

// One reading of the meter at the D-to-A output with the counter held at a
// count, volts.
struct CountReading {
    std::int32_t Count = 0;
    double Volts = 0.0;
    // The meter's last digit at this reading, volts (MeterResolution): the
    // fit trusts each reading in inverse proportion to its square, so that a
    // small weight comes from the reading on a fine range (a single low bit)
    // and not from its 4 V complement on a coarse one. 0 counts as 10 uV.
    double Resolution = 0.0;
};

// The counts the owner is asked to read, in order: zero, every single bit
// (1, 2, 4 ... 2048) and the full count less every single bit (4094, 4093,
// 4091 ... 2047), then the full count less bit 0 once more. Each weight is
// thereby seen alone and among all the others, so the fit averages the
// meter's last digit over 25 readings instead of trusting one; the repeat
// at the end measures how far the meter and the board wander between two
// readings of one state.
std::vector<std::int32_t> DesignCounts();
// The count that DesignCounts reads twice.
inline constexpr std::int32_t RepeatedCount = 4094;

// The least-squares fit of the 12 bit weights to the readings, each reading
// weighted by its resolution. The program's model has no offset term (the
// output at a count is the sum of its bits' weights), but a real converter
// puts out a little at count 0; the fit takes that offset as a 13th unknown
// beside the weights and reports it instead of hiding it in them. Left out,
// it would land in the weights of the low bits, which their fine readings
// fix most firmly, and a reading's error would then grow with the number of
// bits set in its count; kept apart, it is one constant that the
// multipliers, calibrated on a real pack next, take up at that pack's
// voltage.
struct WeightFit {
    // The 12 weights for the configuration.
    std::array<double, 12> Weights{};
    // The converter's output at count 0 that the model cannot hold, volts.
    double Offset = 0.0;
    // Root mean square of the readings' differences from the fit, volts, and
    // the same in the meter's last digits: a careful set of readings leaves
    // about half a digit. The reading furthest off (in digits): its count
    // and difference, volts.
    double ResidualRms = 0.0;
    double ResidualDigits = 0.0;
    double WorstResidual = 0.0;
    double WorstDigits = 0.0;
    std::int32_t WorstCount = 0;
    // False when the readings do not determine every weight and the offset
    // (a count of the design missing); the fit is then empty.
    bool Determined = false;
};

WeightFit FitWeights(const std::vector<CountReading>& readings);

// Whether the fit is worse than the meter's noise: the reading furthest off
// more than 3.5 digits off, or more than three times the repeat's difference
// (in digits) where that is larger. Returns the text to show, or nothing.
std::optional<std::string> CheckFitAgainstNoise(const WeightFit& fit, double repeatDigits);

}  // namespace voltrex
