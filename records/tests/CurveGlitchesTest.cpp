// Which rows of a curve the charts leave out of their scales.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "records/CurveGlitches.h"

namespace voltrex {
namespace {

struct GlitchCase {
    const char* What;
    std::vector<double> Volts;
    std::string Expected;  // one character a row: 'x' a glitch, '.' a reading
};

std::string Flags(const std::vector<double>& volts) {
    std::vector<CurveRow> rows;
    for (const double v : volts) {
        rows.push_back(CurveRow{static_cast<int>(rows.size()), v, -1.5, 9, 0.0, 0.0});
    }
    std::string flags;
    for (const bool glitch : GlitchRows(rows)) {
        flags += glitch ? 'x' : '.';
    }
    return flags;
}

TEST(CurveGlitches, ZeroReadingsInsideATestAndShortExcursionsThatComeBack) {
    const std::vector<GlitchCase> cases = {
        {"no rows", {}, ""},
        {"one row", {0.0}, "."},
        {"a steady pack", {8.4, 8.4, 8.4}, "..."},
        {"a 47.9 V row", {8.4, 8.4, 47.9, 8.4, 8.4}, "..x.."},
        {"a 0 V row", {8.4, 0.0, 8.4}, ".x."},
        {"0 V at the start is before the test", {0.0, 8.4, 8.4}, "..."},
        {"an unplugged pack at the end", {8.4, 8.4, 0.0, 0.0}, "...."},
        // Four rows are too long for an excursion: only the 0 V rule holds them.
        {"0 V is up to 10 mV", {8.4, 0.01, 0.01, 0.01, 0.01, 8.4}, ".xxxx."},
        {"11 mV is a reading", {8.4, 0.011, 0.011, 0.011, 0.011, 8.4}, "......"},
        // At 8.4 V "far" is a quarter of the level: 2.1 V.
        {"2.11 V above is far", {8.4, 10.51, 8.4}, ".x."},
        {"2.09 V above is not", {8.4, 10.49, 8.4}, "..."},
        {"2.11 V below is far", {8.4, 6.29, 8.4}, ".x."},
        // A single cell: at least a volt.
        {"a cell 1.01 V above", {1.2, 2.21, 1.2}, ".x."},
        {"a cell 0.99 V above", {1.2, 2.19, 1.2}, "..."},
        // The sides must agree within half of "far" (8.4 and 9.6: far is 2.4).
        {"came back within 1.19 V", {8.4, 47.9, 9.59}, ".x."},
        {"a step of 1.21 V did not come back", {8.4, 47.9, 9.61}, "..."},
        {"three rows come back", {8.4, 47.9, 47.9, 47.9, 8.4}, ".xxx."},
        {"four rows are what the pack did", {8.4, 47.9, 47.9, 47.9, 47.9, 8.4}, "......"},
        {"a 0 V row beside a spike", {8.4, 0.0, 47.9, 8.4}, ".xx."},
        {"switching the current on is no glitch", {8.4, 9.2, 9.2, 8.4}, "...."},
        {"the last row has no side after it", {8.4, 8.4, 47.9}, "..."},
    };
    for (const GlitchCase& c : cases) {
        EXPECT_EQ(Flags(c.Volts), c.Expected) << c.What;
    }
}

TEST(CurveGlitches, CountIsTheFlagsSet) {
    EXPECT_EQ(GlitchCount({}), 0);
    EXPECT_EQ(GlitchCount({true, false, true, true}), 3);
}

}  // namespace
}  // namespace voltrex
