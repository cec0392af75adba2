#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/ResultsFile.h"
#include "results/PackGrouping.h"

namespace voltrex::results {

// A pack's health, judged from its records alone: what its recent full
// discharges gave against its rating, how fast that falls and its resistance
// rises, when it will fall below the capacity its owner replaces it at, and
// what came out of each charge.

// An average month of the Gregorian calendar, for rates per month.
inline constexpr double SecondsPerMonth = 365.2425 / 12.0 * 86400.0;

struct HealthSettings {
    // The pack is due for replacing below this share of its rating.
    double ReplaceAt = DefaultReplaceAt;
    // The capacity now: the median of this many latest full discharges, so
    // that one bad test neither condemns nor saves a pack.
    std::size_t RecentDischarges = 3;
    // The trend: fitted to this many latest full discharges.
    std::size_t TrendDischarges = 12;
    // A new NiMH or NiCd pack gains capacity over its first cycles
    // ("forming"). Among this many first full discharges, those before the
    // best are left out of the trend when the best lies more than
    // FormationRise of the rating above the first.
    std::size_t FormationDischarges = 5;
    double FormationRise = 0.01;
    // The width of the slopes' intervals, in standard deviations of the
    // rank statistic: 1.96 for 95 %.
    double Confidence = 1.96;
};

// A straight line fitted robustly (Theil-Sen: the median of the slopes
// between every two points), with the interval of its slope from the
// spread of those slopes (Sen's rank interval). One wild test moves
// neither.
struct RobustLine {
    double Slope = 0.0;
    // The slope's interval; infinite where too few points bound it.
    double Low = 0.0;
    double High = 0.0;
    // The line goes through (CentreX, CentreY): the median x, and the
    // median of what the points say the line is there.
    double CentreX = 0.0;
    double CentreY = 0.0;
    // The span of the points' x.
    double FirstX = 0.0;
    double LastX = 0.0;
    std::size_t Points = 0;

    double At(double x) const { return CentreY + Slope * (x - CentreX); }
    // The x where the line with that slope through the centre reaches y.
    double Reaches(double y, double slope) const { return CentreX + (y - CentreY) / slope; }
};

// None below three points or with fewer than two distinct x.
std::optional<RobustLine> FitRobustLine(const std::vector<double>& x, const std::vector<double>& y,
                                        double confidence = 1.96);

// A rate of change with its interval.
struct Rate {
    double Value = 0.0;
    double Low = 0.0;
    double High = 0.0;
};

// How a figure (capacity in mAh, or resistance in ohms) moves over the
// recent full discharges: by the calendar (x: calendar seconds) and by use
// (x: the pack's discharge count).
struct Trend {
    RobustLine ByTime;
    RobustLine ByCycle;
    Rate PerMonth;
    Rate PerHundredCycles;
};

inline constexpr int LongestProjectionYears = 100;
inline constexpr int LongestProjectionCycles = 100000;

enum class Outlook {
    Unknown,    // no rating, or too few full discharges for a trend
    NotFading,  // the capacity does not fall beyond doubt: no date
    Fading,     // falls: when it reaches the threshold is projected
    Reached,    // the capacity now is below the threshold: replace it
};

// When the capacity reaches the replace-at threshold, by the trend: the
// fitted line, and the earliest and latest its interval allows. Dates are
// calendar seconds, never before the last test (a fit already below the
// threshold is due now); none where that trend does not fall beyond doubt or
// reaches it only after LongestProjectionYears or LongestProjectionCycles
// (a latest of none: not within them).
struct Replacement {
    Outlook Verdict = Outlook::Unknown;
    double ThresholdMilliampHours = 0.0;
    std::optional<std::int64_t> Date;
    std::optional<std::int64_t> EarliestDate;
    std::optional<std::int64_t> LatestDate;
    std::optional<int> Cycle;
    std::optional<int> EarliestCycle;
    std::optional<int> LatestCycle;
};

// What came out of a discharge against what its charge put in.
struct CycleEfficiency {
    std::size_t ChargeLine = 0;  // indices into the log's lines
    std::size_t DischargeLine = 0;
    int Cycle = 0;  // the pack's discharge count at the discharge
    double Charge = 0.0;
    std::optional<double> Energy;  // where both records have their energy
};

struct PackHealth {
    std::string PackId;
    std::string Name;
    std::string Type;  // of its latest record
    int Rated = 0;     // of its latest discharge; 0 when unknown
    int Cells = 0;
    // Its plausible discharges: every one is a cycle of use.
    int Cycles = 0;
    std::size_t FullDischarges = 0;
    std::optional<std::int64_t> LastTest;  // calendar seconds
    std::optional<double> Capacity;        // mAh now
    std::optional<double> StateOfHealth;   // Capacity / Rated
    std::optional<double> Ohms;            // now
    // The mean voltage per cell under load of its latest full discharge:
    // packs of different cell counts compare.
    std::optional<double> VoltsPerCell;
    std::optional<Trend> CapacityTrend;
    std::optional<Trend> ResistanceTrend;
    Replacement Replace;
    std::vector<CycleEfficiency> Efficiency;

    bool BelowThreshold() const { return Replace.Verdict == Outlook::Reached; }
};

PackHealth HealthOf(const ResultsFile& log, const Pack& pack, const HealthSettings& settings = {});

// What came out of the pack's latest cycles against what went in: the means
// of their charge and (where both records have it) energy efficiencies.
inline constexpr std::size_t EfficiencyCycles = 10;
struct RecentEfficiency {
    std::size_t Cycles = 0;
    double Charge = 0.0;
    std::optional<double> Energy;
};
std::optional<RecentEfficiency> RecentEfficiencyOf(const PackHealth& health);

// How a pack stands against the threshold it was judged by, for its colour:
// below it, within NearThresholdPoints percentage points above it, or
// further; unknown without a state of health.
enum class HealthBand { Unknown, Replace, Near, Good };
inline constexpr double NearThresholdPoints = 5.0;
HealthBand BandOf(const PackHealth& health, double replaceAt);

// How close packs must be to make a set: capacities within a share of the
// rating, resistances per cell within a share of the lower.
struct MatchLimits {
    double Capacity = 0.03;
    double Resistance = 0.15;
};

// Sets of packs of one type and rating whose capacity and resistance agree
// pairwise within the limits, as indices into packs: largest sets first,
// each in order of capacity. Packs without a capacity or resistance now, or
// without a rating, are in none; neither is a pack below its threshold (a set
// is built of packs to keep), one whose index is marked left out (retired by
// its owner), nor one that matches no other.
std::vector<std::vector<std::size_t>> MatchPacks(const std::vector<PackHealth>& packs,
                                                 const MatchLimits& limits = {},
                                                 const std::vector<bool>& leftOut = {});

}  // namespace voltrex::results
