#include "results/CapacityHistory.h"

#include <algorithm>
#include <tuple>

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

std::int64_t StaysFullSeconds(const std::string& type) {
    constexpr std::int64_t Day = 86400;
    if (type == "LiPo" || type == "LiNP") {
        return 30 * Day;
    }
    if (type == "PbAcid") {
        return 14 * Day;
    }
    return 3 * Day;
}

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
    // The pack's plausible tests by their end, each a charge or not. A
    // discharge that follows a discharge with no charge recorded between
    // them did not start full, nor one whose charge is older than the pack
    // stays full on the shelf. One with nothing before it is taken as full:
    // the owner may charge with another charger.
    struct End {
        std::int64_t Seconds = 0;
        bool Charge = false;
        std::size_t Line = 0;
    };
    std::vector<End> ends;
    for (const std::size_t line : pack.Lines) {
        const ResultLine& entry = log.Lines.at(line);
        if (entry.Readable && !Implausible(entry.Record, log.Written)) {
            ends.push_back(
                {entry.Record.Seconds, entry.Record.Mode == ModeCode(TestMode::Charge), line});
        }
    }
    const auto earlier = [](const End& a, const End& b) {
        return std::tie(a.Seconds, a.Charge) < std::tie(b.Seconds, b.Charge);
    };
    std::sort(ends.begin(), ends.end(), earlier);
    std::vector<CapacityPoint> points;
    for (const std::size_t line : pack.Lines) {
        const ResultLine& entry = log.Lines.at(line);
        if (!entry.Readable || entry.Record.Mode != ModeCode(TestMode::Discharge)) {
            continue;
        }
        const ResultRecord& record = entry.Record;
        CapacityPoint point{
            line,         record.Time,  record.Seconds, record.MilliampHours, record.Ohms,
            record.Rated, record.Cycle, record.Of,      CapacityMark::Full};
        // The last test that ended before this one started (a minute's slack
        // for the estimate of the start); a charge sorts after a discharge
        // that ended in the same second.
        auto before = std::upper_bound(ends.begin(), ends.end(),
                                       End{StartSeconds(record) + 60, true, 0}, earlier);
        while (before != ends.begin() && (before - 1)->Line == line) {
            --before;  // a discharge shorter than the slack is not its own predecessor
        }
        const End* previous = before != ends.begin() ? &*(before - 1) : nullptr;
        const std::int64_t chargeAge =
            previous && previous->Charge ? StartSeconds(record) - previous->Seconds : 0;
        if (Implausible(record, log.Written)) {
            point.Mark = CapacityMark::Implausible;
        } else if (record.Cycle == 1) {
            point.Mark = CapacityMark::FirstOfAutoCycle;
        } else if (previous && !previous->Charge) {
            point.Mark = CapacityMark::NotFromFull;
        } else if (chargeAge > StaysFullSeconds(record.Type)) {
            point.Mark = CapacityMark::NotFromFull;
            point.ChargeAge = chargeAge;
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
