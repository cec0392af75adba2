#include "results/CapacityHistory.h"

#include <algorithm>

namespace voltrex::results {

std::vector<CapacityPoint> CapacityHistory(const ResultsFile& log, const Pack& pack) {
    std::vector<CapacityPoint> points;
    for (const std::size_t line : pack.Lines) {
        const ResultLine& entry = log.Lines.at(line);
        if (!entry.Readable || entry.Record.Mode != ModeCode(TestMode::Discharge)) {
            continue;
        }
        const ResultRecord& record = entry.Record;
        points.push_back({line, record.Time, record.Seconds, record.MilliampHours, record.Ohms,
                          record.Rated, record.Cycle, record.Of});
    }
    // Files joined by hand need not be in order.
    std::stable_sort(
        points.begin(), points.end(),
        [](const CapacityPoint& a, const CapacityPoint& b) { return a.Seconds < b.Seconds; });
    return points;
}

}  // namespace voltrex::results
