#pragma once

#include <cstdint>

#include "procedures/ChemistryRules.h"

namespace voltrex {

// What the termination rules make of one pass of a charge.
enum class ChargeVerdict {
    Continue,
    // The voltage is above the ceiling: the current is to be stepped down one
    // rate (and the charge ends when there is no lower rate left).
    StepDown,
    TimeLimit,
    DeltaV,
};

// The termination rules of a charge and the state they keep between passes:
// the peak voltage, the drop below it and when the drop was last below the
// threshold. The first rule that applies is the only one evaluated in a pass:
// the time limit, then the voltage ceiling, then the first minute's settling,
// then the delta-V.
class ChargeTermination {
  public:
    // Stored cells show a false early dip: the peak is not tracked while the
    // elapsed seconds are this or less.
    static constexpr std::int64_t SettlingSeconds = 60;

    // The time to put the rated capacity in at the current, truncated toward
    // zero to whole seconds, then times the chemistry's factor, truncated
    // again; kept within what a 32-bit count of seconds holds, so that a tiny
    // configured current cannot overflow it.
    static std::int64_t TimeLimitFor(std::int32_t capacityMilliampHours, double amperes,
                                     double factor);

    // startSecond: the wall-clock second just before the current goes on.
    ChargeTermination(const ChemistryRules& rules, std::int64_t timeLimit,
                      std::int32_t deltaVDuration, std::int64_t startSecond);

    ChargeVerdict Evaluate(std::int64_t now, std::int64_t elapsed, double voltage);

    // What the status line shows of the delta-V rule after a pass: the drop
    // (a fraction) and for how many seconds it has been at or above the
    // threshold.
    double Drop() const { return drop_; }
    std::int64_t DeltaSeconds(std::int64_t now) const { return now - deltaTimerStart_; }

  private:
    double deltaThreshold_;
    double voltageCeiling_;
    std::int64_t timeLimit_;
    std::int32_t deltaVDuration_;
    double peak_ = 0.0;
    double drop_ = 0.0;
    std::int64_t deltaTimerStart_;
};

}  // namespace voltrex
