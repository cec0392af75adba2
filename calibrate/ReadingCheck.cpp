#include "calibrate/ReadingCheck.h"

#include <algorithm>
#include <cmath>

#include "platform/CFormat.h"

namespace voltrex {

namespace {

// Within a factor of two either way.
bool Near(double ratio) {
    return ratio > 0.5 && ratio < 2.0;
}

}  // namespace

ReadingVerdict CheckReading(double reading, double expected, double lowest, double highest,
                            const char* unit) {
    if (!std::isfinite(reading) || reading < lowest || reading > highest) {
        return {ReadingVerdict::OutOfRange,
                Format("%g %s is not a reading the meter can show here: it must lie between %g "
                       "and %g %s. Please read the meter again.",
                       reading, unit, lowest, highest, unit)};
    }
    if (!(expected > 0.0) || !(reading > 0.0)) {
        return {};
    }
    const double ratio = reading / expected;
    if (Near(ratio)) {
        return {};
    }
    for (const double factor : {10.0, 100.0, 0.1, 0.01}) {
        const double decade = ratio / factor;
        if (decade > 1.0 / 1.5 && decade < 1.5) {
            return {ReadingVerdict::SlippedDecimal,
                    Format("%g %s is about %g times what the board should show here (%.4g %s): "
                           "a decimal point may have slipped, or the meter is on another range "
                           "or in mV. Please read the meter again.",
                           reading, unit, factor, expected, unit)};
        }
    }
    return {ReadingVerdict::FarFromExpected,
            Format("%g %s is %.2g times what the present calibration expects (%.4g %s). Take "
                   "it only if you are sure of the probe and the range.",
                   reading, unit, ratio, expected, unit)};
}

std::optional<std::string> CheckRepeat(MeterType meter, double first, double second) {
    const double digit =
        MeterResolution(meter, std::max(std::fabs(first), std::fabs(second)), false);
    const double difference = std::fabs(first - second);
    if (difference <= 4.0 * digit + 1e-12) {
        return std::nullopt;
    }
    return Format(
        "The two readings of the same count differ by %.2f mV, while a %s shows one state to "
        "within a digit or two (%.2f mV): a probe may be loose, the board noisy or the meter "
        "on another range. Please check the probes and read both again.",
        difference * 1000.0, MeterTypeName(meter), digit * 1000.0);
}

WeightFindings CheckWeights(const std::array<double, 12>& weights,
                            const std::array<double, 12>& old) {
    WeightFindings findings;
    for (std::size_t bit = 0; bit < weights.size(); ++bit) {
        const double weight = weights[bit];
        if (!(weight > 0.0)) {
            findings.Faults.push_back(
                Format("The weight of bit %zu comes out at %.3f mV; a converter bit adds a "
                       "positive voltage.",
                       bit, weight * 1000.0));
            continue;
        }
        if (bit > 0 && weights[bit - 1] > 0.0) {
            const double growth = weight / weights[bit - 1];
            if (growth < 1.5 || growth > 2.6) {
                findings.Faults.push_back(
                    Format("Bit %zu weighs %.2f times bit %zu; each bit of the converter should "
                           "weigh about twice the one below.",
                           bit, growth, bit - 1));
            }
        }
        if (old[bit] > 0.0 && (weight / old[bit] > 1.5 || old[bit] / weight > 1.5)) {
            findings.FarFromOld.push_back(
                Format("Bit %zu: %.4f mV, was %.4f mV.", bit, weight * 1000.0, old[bit] * 1000.0));
        }
    }
    return findings;
}

std::optional<CurrentFinding> CheckCurrent(double amperes, double old, double below, int rate,
                                           bool charge) {
    const char* mode = charge ? "charge" : "discharge";
    if (!(amperes > 0.0)) {
        return CurrentFinding{true, Format("The %s current of rate %d comes out at %.1f mA; a "
                                           "switched-on rate drives a current above zero.",
                                           mode, rate, amperes * 1000.0)};
    }
    if (amperes <= below) {
        return CurrentFinding{true, Format("The %s current of rate %d (%.1f mA) is not above "
                                           "that of rate %d (%.1f mA): the currents grow with "
                                           "the rate.",
                                           mode, rate, amperes * 1000.0, rate - 1, below * 1000.0)};
    }
    if (old > 0.0 && (amperes / old > 1.5 || old / amperes > 1.5)) {
        return CurrentFinding{false, Format("The %s current of rate %d comes out at %.1f mA, "
                                            "was %.1f mA.",
                                            mode, rate, amperes * 1000.0, old * 1000.0)};
    }
    return std::nullopt;
}

}  // namespace voltrex
