#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/ResultsFile.h"
#include "results/PackGrouping.h"

namespace voltrex::results {

// What a discharge says of the pack's capacity: a discharge from full does;
// the first of an Auto Cycle started from an unknown state, one that did not
// start full measured only part of it, and an implausible record (a mistyped
// line) says nothing. The charts draw the marked ones apart and leave them
// out of the trend and the scale.
enum class CapacityMark { Full, FirstOfAutoCycle, NotFromFull, Implausible };

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
};

// The pack's discharges (its DIS records: a charge's mAh is what went in,
// not what the pack holds) in calendar order.
std::vector<CapacityPoint> CapacityHistory(const ResultsFile& log, const Pack& pack);

}  // namespace voltrex::results
