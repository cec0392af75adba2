#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "records/ResultsFile.h"
#include "results/PackGrouping.h"

namespace voltrex::results {

// What a discharge says of the pack's capacity. Only a discharge from a
// full charge measures it; the others are drawn apart and left out of the
// trend and of the chart's scale.
enum class CapacityMark {
    Full,
    // An Auto Cycle's first discharge: the pack came in whatever state it was.
    FirstOfAutoCycle,
    // The pack's test before it was a discharge too: no charge was recorded
    // between them, so this one measured what the other left. Or its charge
    // was older than the pack stays full on the shelf (ChargeAge says).
    NotFromFull,
    // A record no pack can give (a line mistyped or damaged by hand): more
    // than ten times its rating or 100 Ah, a negative charge, a resistance
    // of ohms, a year before any such charger or after the file was written.
    Implausible,
};

// Limits of a plausible record.
inline constexpr double MostPlausibleMilliampHours = 100000.0;
inline constexpr double MostPlausibleTimesRated = 10.0;
inline constexpr double MostPlausibleOhms = 5.0;
inline constexpr int EarliestPlausibleYear = 2000;

// How long after its charge ended a pack of that cell type still counts as
// full when a discharge starts: about the time in which it loses 3 % of its
// charge on the shelf. Nickel cells lose some 10 % in their first day and 1 %
// a day after (a discharge the evening after the charge still counts, one a
// week later measures the shelf as much as the pack); lead-acid about 5 % a
// month; lithium cells 2 to 3 % a month. A type not known: as nickel.
std::int64_t StaysFullSeconds(const std::string& type);

// One discharge of a pack: what it gave, and when.
struct CapacityPoint {
    std::size_t Line = 0;  // index into the log's lines
    LocalTime Time;
    std::int64_t Seconds = 0;
    double MilliampHours = 0.0;
    double Ohms = 0.0;
    int Rated = 0;
    int Cycle = 0;
    int Of = 0;
    CapacityMark Mark = CapacityMark::Full;
    // Not from full because its charge was this old when it started (0: not
    // for that reason).
    std::int64_t ChargeAge = 0;
};

// Whether a record is one no pack can give; its time is judged against
// when the file was last written, as local calendar seconds (none: not at
// all).
bool Implausible(const ResultRecord& record, std::optional<std::int64_t> fileWritten);

// The pack's discharges (its DIS records: a charge's mAh is what went in,
// not what the pack holds) in calendar order, each marked.
std::vector<CapacityPoint> CapacityHistory(const ResultsFile& log, const Pack& pack);

}  // namespace voltrex::results
