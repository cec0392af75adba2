#include "results/CurveMatch.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace voltrex::results {

namespace {

bool SameTest(const ResultRecord& record, const CurveFile& curve) {
    return curve.Usable() && curve.Mode == record.Mode &&
           (curve.Type.empty() || curve.Type == record.Type) &&
           (curve.Cells == 0 || curve.Cells == record.Cells) &&
           (curve.Rated == 0 || curve.Rated == record.Rated);
}

}  // namespace

std::vector<std::optional<std::size_t>> MatchCurves(const ResultsFile& log,
                                                    const std::vector<CurveFile>& curves) {
    // The curves by their end, so each record looks at the few near its time.
    std::vector<std::size_t> byEnd;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (curves[i].Usable() && curves[i].Mode != ModeCode(TestMode::Monitor)) {
            byEnd.push_back(i);
        }
    }
    std::sort(byEnd.begin(), byEnd.end(), [&](std::size_t a, std::size_t b) {
        return curves[a].EndSeconds() < curves[b].EndSeconds();
    });

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
        auto first =
            std::lower_bound(byEnd.begin(), byEnd.end(), record.Seconds - MatchToleranceSeconds,
                             [&](std::size_t curve, std::int64_t seconds) {
                                 return curves[curve].EndSeconds() < seconds;
                             });
        for (auto it = first; it != byEnd.end(); ++it) {
            const std::int64_t distance = curves[*it].EndSeconds() - record.Seconds;
            if (distance > MatchToleranceSeconds) {
                break;
            }
            if (SameTest(record, curves[*it])) {
                candidates.push_back({std::abs(distance), line, *it});
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
