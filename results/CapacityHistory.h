#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/ResultsFile.h"
#include "results/PackGrouping.h"

namespace voltrex::results {

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
};

// The pack's discharges (its DIS records: a charge's mAh is what went in,
// not what the pack holds) in calendar order.
std::vector<CapacityPoint> CapacityHistory(const ResultsFile& log, const Pack& pack);

}  // namespace voltrex::results
