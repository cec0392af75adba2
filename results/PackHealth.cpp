#include "results/PackHealth.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "results/CapacityHistory.h"

namespace voltrex::results {

namespace {

constexpr double Infinity = std::numeric_limits<double>::infinity();

double MedianOf(std::vector<double> values) {
    const std::size_t half = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half),
                     values.end());
    const double upper = values[half];
    if (values.size() % 2 == 1) {
        return upper;
    }
    return (*std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half)) +
            upper) /
           2.0;
}

// The value at a 1-based rank among sorted values, between neighbours for a
// rank between them; infinite beyond either end.
double AtRank(const std::vector<double>& sorted, double rank) {
    if (rank < 1.0) {
        return -Infinity;
    }
    if (rank > static_cast<double>(sorted.size())) {
        return Infinity;
    }
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const double share = rank - static_cast<double>(below);
    if (below >= sorted.size() || share == 0.0) {
        return sorted[below - 1];
    }
    return sorted[below - 1] + share * (sorted[below] - sorted[below - 1]);
}

// A discharge that measured the pack: from a full charge, with no other
// discharge between that charge and it.
struct FullDischarge {
    std::size_t Line = 0;
    std::int64_t Seconds = 0;
    int Cycle = 0;
    double MilliampHours = 0.0;
    double Ohms = 0.0;
    double VoltsPerCell = 0.0;
};

struct Charge {
    std::int64_t Seconds = 0;
    std::size_t Line = 0;
    // It followed another charge: it topped up a pack already charged, so
    // what it put in is no measure of what the discharge after it took out.
    bool TopUp = false;
};

// When the discharge started: its record is written at its end, and it ran
// as long as its charge took at its current.
std::int64_t DischargeStart(const ResultRecord& record) {
    if (record.MilliAmps <= 0.0 || record.MilliampHours <= 0.0) {
        return record.Seconds;
    }
    return record.Seconds -
           static_cast<std::int64_t>(record.MilliampHours / record.MilliAmps * 3600.0);
}

std::vector<Charge> ChargesOf(const ResultsFile& log, const Pack& pack) {
    std::vector<Charge> records;  // every plausible record, a charge or not
    for (const std::size_t line : pack.Lines) {
        const ResultLine& entry = log.Lines.at(line);
        if (entry.Readable && !Implausible(entry.Record, log.Written)) {
            records.push_back({entry.Record.Seconds, line});
        }
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const Charge& a, const Charge& b) { return a.Seconds < b.Seconds; });
    const auto isCharge = [&](const Charge& c) {
        return log.Lines[c.Line].Record.Mode == ModeCode(TestMode::Charge);
    };
    std::vector<Charge> charges;
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (isCharge(records[i])) {
            charges.push_back(
                {records[i].Seconds, records[i].Line, i > 0 && isCharge(records[i - 1])});
        }
    }
    return charges;
}

// Where the trend starts: after the forming of a new pack, if it formed.
std::size_t FormedFrom(const std::vector<FullDischarge>& full, int rated,
                       const HealthSettings& settings) {
    const std::size_t early = std::min(full.size(), settings.FormationDischarges);
    if (early == 0) {
        return 0;
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < early; ++i) {
        if (full[i].MilliampHours > full[best].MilliampHours) {
            best = i;
        }
    }
    const double scale = rated > 0 ? rated : full[0].MilliampHours;
    return full[best].MilliampHours - full[0].MilliampHours > settings.FormationRise * scale ? best
                                                                                             : 0;
}

// A figure of a discharge: its capacity (a dead pack's 0 mAh is measured
// too) or its resistance (0: none was measured).
using Figure = std::optional<double> (*)(const FullDischarge&);

Rate Scaled(const RobustLine& line, double factor) {
    return {line.Slope * factor, line.Low * factor, line.High * factor};
}

std::optional<Trend> TrendOf(const std::vector<FullDischarge>& window, Figure value,
                             double confidence) {
    std::vector<double> times;
    std::vector<double> cycles;
    std::vector<double> values;
    for (const FullDischarge& discharge : window) {
        if (const std::optional<double> v = value(discharge)) {
            times.push_back(static_cast<double>(discharge.Seconds));
            cycles.push_back(discharge.Cycle);
            values.push_back(*v);
        }
    }
    const std::optional<RobustLine> byTime = FitRobustLine(times, values, confidence);
    const std::optional<RobustLine> byCycle = FitRobustLine(cycles, values, confidence);
    if (!byTime || !byCycle) {
        return std::nullopt;
    }
    return Trend{*byTime, *byCycle, Scaled(*byTime, SecondsPerMonth), Scaled(*byCycle, 100.0)};
}

// Where a falling line reaches the threshold, not before `now` (a fit
// already below it is due now); none beyond `longest` after now.
struct Crossing {
    std::optional<double> Fitted;
    std::optional<double> Earliest;
    std::optional<double> Latest;
};

Crossing CrossingOf(const RobustLine& line, double threshold, double now, double longest) {
    if (!(line.High < 0.0)) {
        return {};
    }
    const auto at = [&](double slope) -> std::optional<double> {
        if (!std::isfinite(slope)) {
            return now;  // falling however steeply: due at once
        }
        const double x = std::max(now, line.Reaches(threshold, slope));
        return x - now <= longest ? std::optional<double>(x) : std::nullopt;
    };
    const std::optional<double> steep = at(line.Low);
    const std::optional<double> gentle = at(line.High);
    const std::optional<double> fitted = at(line.Slope);
    if (!fitted) {
        return {};
    }
    // Above the threshold at the centre, the steeper line gets there first.
    const bool steepFirst = line.CentreY >= threshold;
    return {fitted, steepFirst ? steep : gentle, steepFirst ? gentle : steep};
}

std::optional<std::int64_t> AsSeconds(std::optional<double> x) {
    if (!x) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::llround(*x));
}

std::optional<int> AsCycle(std::optional<double> x) {
    if (!x) {
        return std::nullopt;
    }
    return static_cast<int>(std::ceil(*x - 1e-9));
}

Replacement ReplacementOf(const PackHealth& health, const HealthSettings& settings) {
    Replacement replacement;
    if (health.Rated <= 0 || !health.Capacity) {
        return replacement;
    }
    replacement.ThresholdMilliampHours = settings.ReplaceAt * health.Rated;
    if (*health.Capacity < replacement.ThresholdMilliampHours) {
        replacement.Verdict = Outlook::Reached;
        return replacement;
    }
    if (!health.CapacityTrend || !health.LastTest) {
        return replacement;
    }
    const double threshold = replacement.ThresholdMilliampHours;
    const Crossing byTime =
        CrossingOf(health.CapacityTrend->ByTime, threshold, static_cast<double>(*health.LastTest),
                   LongestProjectionYears * 12.0 * SecondsPerMonth);
    const Crossing byCycle = CrossingOf(health.CapacityTrend->ByCycle, threshold, health.Cycles,
                                        LongestProjectionCycles);
    replacement.Verdict = byTime.Fitted || byCycle.Fitted ? Outlook::Fading : Outlook::NotFading;
    replacement.Date = AsSeconds(byTime.Fitted);
    replacement.EarliestDate = AsSeconds(byTime.Earliest);
    replacement.LatestDate = AsSeconds(byTime.Latest);
    replacement.Cycle = AsCycle(byCycle.Fitted);
    replacement.EarliestCycle = AsCycle(byCycle.Earliest);
    replacement.LatestCycle = AsCycle(byCycle.Latest);
    return replacement;
}

std::vector<double> RecentValues(const std::vector<FullDischarge>& full, std::size_t count,
                                 Figure value) {
    std::vector<double> values;
    for (auto it = full.rbegin(); it != full.rend() && values.size() < count; ++it) {
        if (const std::optional<double> v = value(*it)) {
            values.push_back(*v);
        }
    }
    return values;
}

std::optional<double> CapacityOf(const FullDischarge& discharge) {
    return discharge.MilliampHours;
}

std::optional<double> OhmsOf(const FullDischarge& discharge) {
    return discharge.Ohms > 0.0 ? std::optional<double>(discharge.Ohms) : std::nullopt;
}

}  // namespace

std::optional<RobustLine> FitRobustLine(const std::vector<double>& x, const std::vector<double>& y,
                                        double confidence) {
    const std::size_t n = std::min(x.size(), y.size());
    if (n < 3) {
        return std::nullopt;
    }
    std::vector<double> slopes;
    slopes.reserve(n * (n - 1) / 2);
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            if (x[j] != x[i]) {
                slopes.push_back((y[j] - y[i]) / (x[j] - x[i]));
            }
        }
    }
    if (slopes.empty()) {
        return std::nullopt;
    }
    std::sort(slopes.begin(), slopes.end());
    RobustLine line;
    line.Points = n;
    line.Slope = MedianOf(slopes);
    // Kendall's S has the variance n(n-1)(2n+5)/18 (no ties); the interval
    // runs between the slopes that many ranks either side of the middle.
    const auto count = static_cast<double>(n);
    const double spread =
        confidence * std::sqrt(count * (count - 1.0) * (2.0 * count + 5.0) / 18.0);
    const auto pairs = static_cast<double>(slopes.size());
    line.Low = std::min(line.Slope, AtRank(slopes, (pairs - spread) / 2.0));
    line.High = std::max(line.Slope, AtRank(slopes, (pairs + spread) / 2.0 + 1.0));
    line.CentreX =
        MedianOf(std::vector<double>(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n)));
    std::vector<double> centres(n);
    for (std::size_t i = 0; i < n; ++i) {
        centres[i] = y[i] - line.Slope * (x[i] - line.CentreX);
    }
    line.CentreY = MedianOf(std::move(centres));
    line.FirstX = *std::min_element(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    line.LastX = *std::max_element(x.begin(), x.begin() + static_cast<std::ptrdiff_t>(n));
    return line;
}

PackHealth HealthOf(const ResultsFile& log, const Pack& pack, const HealthSettings& settings) {
    PackHealth health;
    health.PackId = pack.Id;
    health.Name = pack.Name;
    for (const std::size_t line : pack.Lines) {
        const ResultLine& entry = log.Lines.at(line);
        if (entry.Readable && !Implausible(entry.Record, log.Written) &&
            (!health.LastTest || entry.Record.Seconds >= *health.LastTest)) {
            health.LastTest = entry.Record.Seconds;
            health.Type = entry.Record.Type;
            health.Cells = entry.Record.Cells;
        }
    }

    const std::vector<Charge> charges = ChargesOf(log, pack);
    std::vector<FullDischarge> full;
    std::optional<std::int64_t> previousEnd;
    for (const CapacityPoint& point : CapacityHistory(log, pack)) {
        if (point.Mark == CapacityMark::Implausible) {
            continue;
        }
        const ResultRecord& record = log.Lines.at(point.Line).Record;
        ++health.Cycles;
        health.Rated = record.Rated;
        // Full by the same rule the capacity history draws it by, so that
        // the chart and the figures agree: a pack's first discharge with no
        // charge recorded before it counts (the owner may charge elsewhere).
        // Its efficiency needs the charge it started from (a minute's slack
        // for the estimate of its start), unless another discharge already
        // emptied the pack: a charge record lost leaves two discharges after it.
        const std::int64_t start = DischargeStart(record);
        const auto after = std::upper_bound(
            charges.begin(), charges.end(), start + 60,
            [](std::int64_t seconds, const Charge& c) { return seconds < c.Seconds; });
        const Charge* charge = after != charges.begin() ? &*(after - 1) : nullptr;
        const bool ownCharge = charge && (!previousEnd || *previousEnd <= charge->Seconds);
        previousEnd = record.Seconds;
        if (point.Mark != CapacityMark::Full) {
            continue;
        }
        full.push_back({point.Line, record.Seconds, health.Cycles, record.MilliampHours,
                        record.Ohms, record.VoltsPerCell});
        if (!ownCharge) {
            continue;
        }
        const ResultRecord& charged = log.Lines.at(charge->Line).Record;
        if (charged.MilliampHours > 0.0 && !charge->TopUp) {
            CycleEfficiency efficiency{charge->Line, point.Line, health.Cycles,
                                       record.MilliampHours / charged.MilliampHours, std::nullopt};
            if (charged.MilliwattHours > 0.0 && record.MilliwattHours > 0.0) {
                efficiency.Energy = record.MilliwattHours / charged.MilliwattHours;
            }
            health.Efficiency.push_back(efficiency);
        }
    }
    health.FullDischarges = full.size();
    if (full.empty()) {
        return health;
    }
    health.Rated = log.Lines.at(full.back().Line).Record.Rated;
    health.VoltsPerCell = full.back().VoltsPerCell;
    const std::vector<double> capacities =
        RecentValues(full, std::max<std::size_t>(settings.RecentDischarges, 1), CapacityOf);
    if (!capacities.empty()) {
        health.Capacity = MedianOf(capacities);
        if (health.Rated > 0) {
            health.StateOfHealth = *health.Capacity / health.Rated;
        }
    }
    const std::vector<double> ohms =
        RecentValues(full, std::max<std::size_t>(settings.RecentDischarges, 1), OhmsOf);
    if (!ohms.empty()) {
        health.Ohms = MedianOf(ohms);
    }

    const std::size_t formed = FormedFrom(full, health.Rated, settings);
    const std::size_t first =
        std::max(formed, full.size() - std::min(full.size(), settings.TrendDischarges));
    const std::vector<FullDischarge> window(full.begin() + static_cast<std::ptrdiff_t>(first),
                                            full.end());
    health.CapacityTrend = TrendOf(window, CapacityOf, settings.Confidence);
    health.ResistanceTrend = TrendOf(window, OhmsOf, settings.Confidence);
    health.Replace = ReplacementOf(health, settings);
    return health;
}

std::optional<RecentEfficiency> RecentEfficiencyOf(const PackHealth& health) {
    if (health.Efficiency.empty()) {
        return std::nullopt;
    }
    RecentEfficiency recent;
    recent.Cycles = std::min(health.Efficiency.size(), EfficiencyCycles);
    double energy = 0.0;
    std::size_t energies = 0;
    for (auto it = health.Efficiency.end() - static_cast<std::ptrdiff_t>(recent.Cycles);
         it != health.Efficiency.end(); ++it) {
        recent.Charge += it->Charge;
        if (it->Energy) {
            energy += *it->Energy;
            ++energies;
        }
    }
    recent.Charge /= static_cast<double>(recent.Cycles);
    if (energies > 0) {
        recent.Energy = energy / static_cast<double>(energies);
    }
    return recent;
}

HealthBand BandOf(const PackHealth& health, double replaceAt) {
    if (health.BelowThreshold()) {
        return HealthBand::Replace;
    }
    if (!health.StateOfHealth) {
        return HealthBand::Unknown;
    }
    // In points, so that 85.0 % against 80 % is out of the band whatever the
    // rounding of 0.8 + 0.05.
    const double points = *health.StateOfHealth * 100.0;
    const double limit = replaceAt * 100.0;
    if (points < limit - 1e-9) {
        return HealthBand::Replace;
    }
    return points < limit + NearThresholdPoints - 1e-9 ? HealthBand::Near : HealthBand::Good;
}

std::vector<std::vector<std::size_t>> MatchPacks(const std::vector<PackHealth>& packs,
                                                 const MatchLimits& limits,
                                                 const std::vector<bool>& leftOut) {
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < packs.size(); ++i) {
        const PackHealth& pack = packs[i];
        if (pack.Capacity && pack.Ohms && *pack.Ohms > 0.0 && pack.Rated > 0 && pack.Cells > 0 &&
            !pack.BelowThreshold() && !(i < leftOut.size() && leftOut[i])) {
            candidates.push_back(i);
        }
    }
    std::stable_sort(candidates.begin(), candidates.end(), [&](std::size_t a, std::size_t b) {
        return *packs[a].Capacity > *packs[b].Capacity;
    });
    // A hair of slack so that a difference of exactly the limit agrees
    // whatever the rounding of the product.
    constexpr double Slack = 1e-9;
    const auto agree = [&](const PackHealth& a, const PackHealth& b) {
        if (a.Type != b.Type || a.Rated != b.Rated) {
            return false;
        }
        const double ohmsA = *a.Ohms / a.Cells;
        const double ohmsB = *b.Ohms / b.Cells;
        return std::fabs(*a.Capacity - *b.Capacity) <= limits.Capacity * a.Rated * (1.0 + Slack) &&
               std::fabs(ohmsA - ohmsB) <=
                   limits.Resistance * std::min(ohmsA, ohmsB) * (1.0 + Slack);
    };
    std::vector<std::vector<std::size_t>> sets;
    for (const std::size_t candidate : candidates) {
        const auto fits = [&](const std::vector<std::size_t>& set) {
            return std::all_of(set.begin(), set.end(), [&](std::size_t member) {
                return agree(packs[member], packs[candidate]);
            });
        };
        const auto set = std::find_if(sets.begin(), sets.end(), fits);
        if (set != sets.end()) {
            set->push_back(candidate);
        } else {
            sets.push_back({candidate});
        }
    }
    std::erase_if(sets, [](const std::vector<std::size_t>& set) { return set.size() < 2; });
    std::stable_sort(sets.begin(), sets.end(),
                     [](const auto& a, const auto& b) { return a.size() > b.size(); });
    return sets;
}

}  // namespace voltrex::results
