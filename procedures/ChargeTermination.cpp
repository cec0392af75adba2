#include "procedures/ChargeTermination.h"

#include <limits>

namespace voltrex {

namespace {

// Seconds truncated toward zero, kept within the 32-bit range.
std::int64_t WholeSeconds(double seconds) {
    constexpr double longest = std::numeric_limits<std::int32_t>::max();
    if (!(seconds > -longest)) {
        return static_cast<std::int64_t>(-longest);
    }
    if (seconds > longest) {
        return static_cast<std::int64_t>(longest);
    }
    return static_cast<std::int64_t>(seconds);
}

}  // namespace

std::int64_t ChargeTermination::TimeLimitFor(std::int32_t capacityMilliampHours, double amperes,
                                             double factor) {
    const std::int64_t nominalSeconds = WholeSeconds(capacityMilliampHours * 3.6 / amperes);
    return WholeSeconds(static_cast<double>(nominalSeconds) * factor);
}

ChargeTermination::ChargeTermination(const ChemistryRules& rules, std::int64_t timeLimit,
                                     std::int32_t deltaVDuration, std::int64_t startSecond)
    : deltaThreshold_(rules.DeltaThreshold),
      voltageCeiling_(rules.VoltageCeiling),
      timeLimit_(timeLimit),
      deltaVDuration_(deltaVDuration),
      deltaTimerStart_(startSecond) {}

ChargeVerdict ChargeTermination::Evaluate(std::int64_t now, std::int64_t elapsed, double voltage) {
    if (elapsed > timeLimit_) {
        return ChargeVerdict::TimeLimit;
    }
    // Above the ceiling the peak, the drop and the timer are left as they are.
    if (voltage > voltageCeiling_) {
        return ChargeVerdict::StepDown;
    }
    if (elapsed <= SettlingSeconds) {
        drop_ = 0.0;
        deltaTimerStart_ = now;
        return ChargeVerdict::Continue;
    }
    if (voltage > peak_) {
        peak_ = voltage;
    }
    drop_ = peak_ != 0.0 ? (peak_ - voltage) / peak_ : 0.0;
    // A single pass below the threshold starts the count again; the charge
    // ends once the drop has been at or above it for more than the duration.
    if (drop_ < deltaThreshold_) {
        deltaTimerStart_ = now;
    }
    if (now - deltaTimerStart_ > deltaVDuration_) {
        return ChargeVerdict::DeltaV;
    }
    return ChargeVerdict::Continue;
}

}  // namespace voltrex
