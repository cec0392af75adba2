#include "records/CurveGlitches.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace voltrex {

namespace {

bool IsZero(double volts) {
    return std::fabs(volts) <= GlitchZeroVolts;
}

// How far a row must be from a neighbour at this level to be a glitch.
double LeapAt(double before, double after) {
    return std::max(GlitchLeapVolts, GlitchShare * std::max(std::fabs(before), std::fabs(after)));
}

}  // namespace

std::vector<bool> GlitchRows(const std::vector<CurveRow>& rows) {
    const std::size_t n = rows.size();
    std::vector<bool> glitch(n, false);

    // 0 V rows between readings: the first and last reading bound them.
    std::size_t first = n;
    std::size_t last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!IsZero(rows[i].Volts)) {
            first = std::min(first, i);
            last = i;
        }
    }
    for (std::size_t i = first + 1; i < last; ++i) {
        glitch[i] = IsZero(rows[i].Volts);
    }

    // Short runs that leave both sides and come back, among the rows that
    // are not 0 V glitches (so that a 0 V row beside a spike hides neither).
    std::vector<std::size_t> kept;
    kept.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!glitch[i]) {
            kept.push_back(i);
        }
    }
    auto volts = [&](std::size_t k) { return rows[kept[k]].Volts; };
    for (std::size_t k = 1; k + 1 < kept.size();) {
        std::size_t run = 0;
        for (std::size_t length = 1;
             length <= static_cast<std::size_t>(GlitchLongestRun) && k + length < kept.size();
             ++length) {
            const double before = volts(k - 1);
            const double after = volts(k + length);
            const double leap = LeapAt(before, after);
            if (std::fabs(after - before) >= leap / 2.0) {
                continue;  // the sides disagree: the run did not come back yet
            }
            bool far = true;
            for (std::size_t j = k; j < k + length && far; ++j) {
                far = std::fabs(volts(j) - before) > leap && std::fabs(volts(j) - after) > leap;
            }
            if (far) {
                run = length;
            }
            break;  // the shortest run that comes back decides
        }
        for (std::size_t j = k; j < k + run; ++j) {
            glitch[kept[j]] = true;
        }
        k += std::max<std::size_t>(run, 1);
    }
    return glitch;
}

int GlitchCount(const std::vector<bool>& glitches) {
    return static_cast<int>(std::count(glitches.begin(), glitches.end(), true));
}

}  // namespace voltrex
