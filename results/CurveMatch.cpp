#include "results/CurveMatch.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "records/CalendarTime.h"

namespace voltrex::results {

namespace {

bool SameTest(const ResultRecord& record, const CurveFile& curve) {
    return curve.Usable() && curve.Mode == record.Mode &&
           (curve.Type.empty() || curve.Type == record.Type) &&
           (curve.Cells == 0 || curve.Cells == record.Cells) &&
           (curve.Rated == 0 || curve.Rated == record.Rated);
}

// The moments a curve may have ended at (two for a start in the hour
// repeated in autumn, when the file does not say which).
std::vector<std::int64_t> EndMoments(const CurveFile& curve, LocalZone& zone) {
    std::vector<std::int64_t> ends;
    if (curve.StartMoment) {
        ends.push_back(*curve.StartMoment);
    } else if (curve.Start) {
        ends = zone.Moments(*curve.Start);
    }
    for (std::int64_t& end : ends) {
        end += curve.Duration();
    }
    return ends;
}

}  // namespace

std::vector<std::optional<std::size_t>> MatchCurves(const ResultsFile& log,
                                                    const std::vector<CurveFile>& curves) {
    // The curves by their (earliest) end, so each record looks at the few
    // near its time.
    struct End {
        std::int64_t Moment;
        std::size_t Curve;
    };
    std::vector<End> byEnd;
    LocalZone zone;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (curves[i].Usable() && curves[i].Mode != ModeCode(TestMode::Monitor)) {
            for (const std::int64_t moment : EndMoments(curves[i], zone)) {
                byEnd.push_back({moment, i});
            }
        }
    }
    std::sort(byEnd.begin(), byEnd.end(),
              [](const End& a, const End& b) { return a.Moment < b.Moment; });

    // Every candidate pair, nearest first, then given out greedily: a curve
    // goes to the record it fits best, and a record to its best free curve.
    struct Candidate {
        std::int64_t Distance;
        std::size_t Line;
        std::size_t Curve;
    };
    std::vector<Candidate> candidates;
    for (std::size_t line = 0; line < log.Lines.size(); ++line) {
        if (!log.Lines[line].Readable) {
            continue;
        }
        const ResultRecord& record = log.Lines[line].Record;
        for (const std::int64_t moment : zone.Moments(record.Time)) {
            auto first = std::lower_bound(
                byEnd.begin(), byEnd.end(), moment - MatchToleranceSeconds,
                [](const End& end, std::int64_t seconds) { return end.Moment < seconds; });
            for (auto it = first; it != byEnd.end(); ++it) {
                // A time without its seconds: the line was written in that
                // minute.
                std::int64_t distance = it->Moment - moment;
                if (distance > 0) {
                    distance = std::max<std::int64_t>(0, distance - record.TimeSlackSeconds);
                }
                if (distance > MatchToleranceSeconds) {
                    break;
                }
                if (SameTest(record, curves[it->Curve])) {
                    candidates.push_back({std::abs(distance), line, it->Curve});
                }
            }
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) {
                         return std::tie(a.Distance, a.Line) < std::tie(b.Distance, b.Line);
                     });
    std::vector<std::optional<std::size_t>> matched(log.Lines.size());
    std::vector<bool> taken(curves.size(), false);
    for (const Candidate& candidate : candidates) {
        if (!matched[candidate.Line] && !taken[candidate.Curve]) {
            matched[candidate.Line] = candidate.Curve;
            taken[candidate.Curve] = true;
        }
    }
    return matched;
}

}  // namespace voltrex::results
