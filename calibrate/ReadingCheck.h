#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "calibrate/MeterType.h"

namespace voltrex {

// What the assistant makes of one number the owner typed.
struct ReadingVerdict {
    enum Kind {
        // Plausible: take it.
        Accepted,
        // Outside what the meter could show at that probe: ask again.
        OutOfRange,
        // Ten or a hundred times (or a tenth, a hundredth of) what the board
        // should show there: a slipped decimal point or the meter on the
        // wrong range. Ask again.
        SlippedDecimal,
        // Plausible, but far from what the old calibration expects: take it
        // only when the owner confirms.
        FarFromExpected,
    };
    Kind Verdict = Accepted;
    // What to tell the owner; empty for Accepted.
    std::string Text;
};

// Judges a reading against the range the probe can show (lowest, highest)
// and, where expected is above zero, against what the old calibration says
// the meter should show: a reading within a factor of two of the expected is
// taken, one that is 10, 100, 1/10 or 1/100 times it (within a factor of 1.5)
// is a slipped decimal, and anything else plausible needs confirmation.
// unit is "V" or "A".
ReadingVerdict CheckReading(double reading, double expected, double lowest, double highest,
                            const char* unit);

// A repeated reading of one state: the two readings may differ by the
// meter's last digit and a little noise of the board; more than four digits
// apart means a loose probe, a noisy board or the meter on another range.
// Returns the text to show, or nothing when they agree.
std::optional<std::string> CheckRepeat(MeterType meter, double first, double second);

// The fitted weights against the board's design: each positive, each about
// twice the one below (1.5 to 2.6 times), and each within a factor of 1.5 of
// its old value. One text per finding; none when the weights are sound. The
// first kind of finding makes the weights unusable, the last needs the
// owner's word.
struct WeightFindings {
    std::vector<std::string> Faults;
    std::vector<std::string> FarFromOld;
};
WeightFindings CheckWeights(const std::array<double, 12>& weights,
                            const std::array<double, 12>& old);

// A new current against the table: positive, within a factor of 1.5 of the
// old value unless confirmed, and above the current of the rate below it
// (below, 0 for rate 1). Returns the fault or the doubt to show, or nothing.
// The texts say "charge" or "discharge" and the rate.
struct CurrentFinding {
    bool Fault = false;
    std::string Text;
};
std::optional<CurrentFinding> CheckCurrent(double amperes, double old, double below, int rate,
                                           bool charge);

}  // namespace voltrex
