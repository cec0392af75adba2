#include "calibrate/EffectTexts.h"

#include <cmath>

#include "instrument/Instrument.h"
#include "platform/CFormat.h"

namespace voltrex {

namespace {

double SumAt(const std::array<double, 12>& weights, double count) {
    const double clamped = std::fmin(std::fmax(count, 0.0), 4095.0);
    const auto below = static_cast<std::int32_t>(std::floor(clamped));
    const double fraction = clamped - below;
    const double low = WeightSum(below, weights);
    if (fraction == 0.0) {
        return low;
    }
    return low + fraction * (WeightSum(below + 1, weights) - low);
}

}  // namespace

double ReadingAt(const CalibrationBlock& calibration, double highCount, double lowCount) {
    return SumAt(calibration.BitWeights, highCount) * calibration.HighSideMultiplier -
           SumAt(calibration.BitWeights, lowCount) * calibration.LowSideMultiplier;
}

double HighCountFor(const CalibrationBlock& calibration, double volts, double lowCount) {
    double low = 0.0;
    double high = 4095.0;
    for (int step = 0; step < 60; ++step) {
        const double middle = (low + high) / 2.0;
        if (ReadingAt(calibration, middle, lowCount) < volts) {
            low = middle;
        } else {
            high = middle;
        }
    }
    return (low + high) / 2.0;
}

std::string VoltageEffect(const CalibrationBlock& old, const CalibrationBlock& updated,
                          double volts, double lowCount) {
    const double count = HighCountFor(old, volts, lowCount);
    return Format("a %.3f V reading becomes %.3f V", volts, ReadingAt(updated, count, lowCount));
}

std::string CapacityEffect(double oldAmperes, double newAmperes, int rate, bool charge) {
    const double result = oldAmperes > 0.0 ? 1000.0 * newAmperes / oldAmperes : 0.0;
    return Format("a 1000 mAh %s at rate %d becomes %.0f mAh", charge ? "charge" : "discharge",
                  rate, result);
}

std::string OffsetEffect(double offset, const CalibrationBlock& calibration) {
    const double error = -offset * (calibration.HighSideMultiplier - calibration.LowSideMultiplier);
    std::string text;
    for (const int cells : {1, 6, 12}) {
        const double volts = 1.2 * cells;
        if (!text.empty()) {
            text += "; ";
        }
        text += Format("at %d cell%s (%.1f V) a reading is %.1f mV %s (%.2f %%)", cells,
                       cells == 1 ? "" : "s", volts, std::fabs(error) * 1000.0,
                       error < 0.0 ? "low" : "high", std::fabs(error) / volts * 100.0);
    }
    return text;
}

}  // namespace voltrex
