#include "calibrate/MultiplierFit.h"

#include "platform/CFormat.h"

namespace voltrex {

ComparatorLevels MeasureComparatorLevels(Instrument& instrument,
                                         const CalibrationBlock& calibration, int conversions) {
    ComparatorLevels levels;
    for (int i = 0; i < conversions; ++i) {
        const ConversionCounts counts = instrument.MeasureCounts(calibration);
        if (counts.Failed()) {
            continue;
        }
        levels.LowSum += WeightSum(counts.Low, calibration.BitWeights);
        levels.HighSum += WeightSum(counts.High, calibration.BitWeights);
        ++levels.Conversions;
    }
    if (levels.Conversions > 0) {
        levels.LowSum /= levels.Conversions;
        levels.HighSum /= levels.Conversions;
    }
    return levels;
}

MultiplierFit FitMultipliers(const ComparatorLevels& levels, double packVolts,
                             double negativeVolts) {
    MultiplierFit fit;
    if (levels.Conversions <= 0) {
        fit.LowReason = fit.HighReason = "No conversion succeeded: is a pack connected?";
        return fit;
    }
    const double positive = negativeVolts + packVolts;
    if (levels.HighSum >= SmallestLevel && positive > 0.0) {
        fit.High = positive / levels.HighSum;
    } else {
        fit.HighReason = Format(
            "The high-side comparator flips at %.1f mV of the converter: connect a pack of "
            "at least one cell so that the high side can be measured.",
            levels.HighSum * 1000.0);
    }
    if (levels.LowSum >= SmallestLevel && negativeVolts > 0.0) {
        fit.Low = negativeVolts / levels.LowSum;
    } else {
        fit.LowReason = Format(
            "The low-side comparator flips at %.1f mV of the converter (the pack's negative "
            "terminal is %.1f mV from the board's ground): too close to zero to determine its "
            "multiplier, which for the same reason hardly affects a reading. It keeps its old "
            "value.",
            levels.LowSum * 1000.0, negativeVolts * 1000.0);
    }
    return fit;
}

}  // namespace voltrex
