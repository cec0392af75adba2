#include "results/CapacityHistory.h"

#include <algorithm>

namespace voltrex::results {

namespace {

// When the discharge started: its record is written at its end, and it ran
// as long as its charge took at its current.
std::int64_t StartSeconds(const ResultRecord& record) {
    if (record.MilliAmps <= 0.0 || record.MilliampHours <= 0.0) {
        return record.Seconds;
    }
    return record.Seconds -
           static_cast<std::int64_t>(record.MilliampHours / record.MilliAmps * 3600.0);
}

}  // namespace

bool Implausible(const ResultRecord& record, std::optional<std::int64_t> fileWritten) {
    if (record.MilliampHours < 0.0 || record.MilliampHours > MostPlausibleMilliampHours ||
        (record.Rated > 0 && record.MilliampHours > MostPlausibleTimesRated * record.Rated)) {
        return true;
    }
    if (record.Ohms < 0.0 || record.Ohms > MostPlausibleOhms) {
        return true;
    }
    if (record.Time.Year < EarliestPlausibleYear) {
        return true;
    }
    // A day's grace for a clock set wrong or a file copied between zones.
    return fileWritten && record.Seconds > *fileWritten + 24 * 3600;
}

std::vector<CapacityPoint> CapacityHistory(const ResultsFile& log, const Pack& pack) {
    std::vector<CapacityPoint> points;
    std::vector<std::int64_t> chargeEnds;
    for (const std::size_t line : pack.Lines) {
        const ResultLine& entry = log.Lines.at(line);
        if (entry.Readable && entry.Record.Mode == ModeCode(TestMode::Charge) &&
            !Implausible(entry.Record, log.Written)) {
            chargeEnds.push_back(entry.Record.Seconds);
        }
    }
    std::sort(chargeEnds.begin(), chargeEnds.end());
    for (const std::size_t line : pack.Lines) {
        const ResultLine& entry = log.Lines.at(line);
        if (!entry.Readable || entry.Record.Mode != ModeCode(TestMode::Discharge)) {
            continue;
        }
        const ResultRecord& record = entry.Record;
        CapacityPoint point{
            line,         record.Time,  record.Seconds, record.MilliampHours, record.Ohms,
            record.Rated, record.Cycle, record.Of,      CapacityMark::Full};
        const std::int64_t start = StartSeconds(record);
        // The latest charge that ended before the discharge started (a few
        // seconds' slack for the estimate of the start).
        const auto after = std::upper_bound(chargeEnds.begin(), chargeEnds.end(), start + 60);
        const bool fromFull =
            after != chargeEnds.begin() && start - *(after - 1) <= FullChargeKeepsSeconds;
        if (Implausible(record, log.Written)) {
            point.Mark = CapacityMark::Implausible;
        } else if (record.Cycle == 1) {
            point.Mark = CapacityMark::FirstOfAutoCycle;
        } else if (!fromFull) {
            point.Mark = CapacityMark::NotFromFull;
        }
        points.push_back(point);
    }
    // Files joined by hand need not be in order.
    std::stable_sort(
        points.begin(), points.end(),
        [](const CapacityPoint& a, const CapacityPoint& b) { return a.Seconds < b.Seconds; });
    return points;
}

}  // namespace voltrex::results
