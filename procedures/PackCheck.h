#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/Configuration.h"

namespace voltrex {

// What a pack may be, per cell, whatever the configuration says. The resting
// range is where a usable cell of the chemistry reads with no current
// flowing; the hard limits are the furthest a test ever takes it. Their
// sources are in docs/safety.md.
struct CellLimits {
    double RestingLow = 0.0;  // volts per cell
    double RestingHigh = 0.0;
    // The highest end-of-charge voltage a configuration may set; 0 for the
    // nickel chemistries, whose charge ends on delta-V and has no ceiling.
    double HighestCharge = 0.0;
    // The lowest end-of-discharge voltage a configuration may set.
    double LowestDischarge = 0.0;
    // A lithium pack outside its range is refused; nickel and lead packs vary
    // and the user is asked instead.
    bool Lithium = false;
};

// The limits of the cell type text, compared exactly; nothing for any other.
std::optional<CellLimits> LimitsOf(const std::string& cellType);

// Below this the pack reading means no pack at all: its leads are off, its
// fuse has blown or it is connected the wrong way round.
inline constexpr double NoPackVolts = 0.2;

// How far above its hard ceiling a charging pack may read before the charge
// is cut off at once, volts per cell. The ceiling rule steps the current down
// as soon as the pack passes the configured ceiling (at most the hard one),
// so a pack that still climbs this far is not the pack that was set.
inline constexpr double ChargeCutOffMargin = 0.10;

// The test about to start; each looks at the pack differently.
enum class PackTest {
    // A discharge, also the first phase of an auto cycle.
    Discharge,
    Charge,
    // A charge of the pack this program's discharge has just emptied: the
    // load's polarisation and the reading's smoothing leave it below its end
    // voltage for minutes, so only a genuinely over-discharged pack (0.5 V
    // under the hard floor) is turned away at the low end.
    ChargeAfterDischarge,
    // The Resistance button's test: its settings name no cell type or count.
    Resistance,
};

enum class PackVerdict {
    Plausible,
    NoPack,
    // A lithium pack outside its range: not to be started.
    Refused,
    // A nickel or lead pack outside its range: the user decides.
    Doubtful,
};

struct PackJudgement {
    PackVerdict Verdict = PackVerdict::Plausible;
    // What the box shows when the verdict is not Plausible.
    std::string Message;
};

// Judges a fresh reading of the pack, taken with everything off, before the
// test's first relay closes. Per-cell volts are compared in whole millivolts:
// a reading exactly on a limit is inside the range.
PackJudgement JudgePack(PackTest test, const std::string& cellType, std::int32_t cells,
                        double volts, const Configuration& config);

// Why the configured limits of the cell type cannot be used (a maximum above
// the hard ceiling, a minimum below the hard floor), naming the value and its
// line in "Voltrex2.ini"; nothing when they can.
std::optional<std::string> ConfiguredLimitProblem(const std::string& cellType,
                                                  const Configuration& config);

// The pack voltage above which a running charge is switched off at once;
// nothing for the nickel chemistries.
std::optional<double> ChargeCutOff(const std::string& cellType, std::int32_t cells);

// The box of a charge cut off there.
std::string ChargeCutOffMessage(const std::string& cellType, std::int32_t cells, double volts,
                                double cutOff);

}  // namespace voltrex
