// Records matched to their curve files: a record is written at a test's end,
// a curve file is named by its start, so the file's start plus its last row
// must land within a few seconds of the record's time.

#include <gtest/gtest.h>

#include "CurveTestData.h"
#include "results/CurveMatch.h"

namespace voltrex::results {
namespace {

using testing::CurvePlan;
using testing::RecordPlan;

CurveFile Curve(const CurvePlan& plan, const char* name) {
    CurveFile curve = ParseCurveText(testing::CurveText(plan), false);
    curve.Name = name;
    return curve;
}

// The curve starts 14:15:03 and has 60 seconds of rows: it ends at 14:16:03.
TEST(CurveMatch, AcceptsARecordUpToFiveSecondsFromTheCurvesEndAndNoFurther) {
    const std::vector<CurveFile> curves = {Curve(CurvePlan{}, "a.csv")};
    const char* const within[] = {"2026-12-08 14:15:58", "2026-12-08 14:16:03",
                                  "2026-12-08 14:16:08"};
    for (const char* time : within) {
        RecordPlan record;
        record.Time = time;
        EXPECT_EQ(MatchCurves(testing::ResultsLog({record}), curves)[0], 0u) << time;
    }
    const char* const beyond[] = {"2026-12-08 14:15:57", "2026-12-08 14:16:09",
                                  "2026-12-08 14:15:03"};
    for (const char* time : beyond) {
        RecordPlan record;
        record.Time = time;
        EXPECT_FALSE(MatchCurves(testing::ResultsLog({record}), curves)[0]) << time;
    }
}

TEST(CurveMatch, WantsTheSameModeTypeCellsAndCapacity) {
    const std::vector<CurveFile> curves = {Curve(CurvePlan{}, "a.csv")};
    RecordPlan charge;
    charge.Mode = "CHG";
    RecordPlan lipo;
    lipo.Type = "LiPo";
    RecordPlan sixCells;
    sixCells.Cells = 6;
    RecordPlan smaller;
    smaller.Rated = 1800;
    const auto matched =
        MatchCurves(testing::ResultsLog({charge, lipo, sixCells, smaller, RecordPlan{}}), curves);
    EXPECT_FALSE(matched[0]);
    EXPECT_FALSE(matched[1]);
    EXPECT_FALSE(matched[2]);
    EXPECT_FALSE(matched[3]);
    EXPECT_EQ(matched[4], 0u);
}

TEST(CurveMatch, GivesEachCurveToItsNearestRecordAndEachRecordItsNearestFreeCurve) {
    // Two discharge curves started in the same second (the second file "-2"),
    // ending 14:16:03 and 14:16:06, and an Auto Cycle's charge after them.
    CurvePlan discharge;
    CurvePlan other = discharge;
    other.Seconds = 63;
    CurvePlan charge;
    charge.Mode = "CHG";
    charge.Start = "2026-12-08 14:16:10";
    charge.Amperes = 1.0;
    charge.Seconds = 3600;
    charge.End = "delta-V";
    const std::vector<CurveFile> curves = {Curve(other, "x-2.csv"), Curve(discharge, "x.csv"),
                                           Curve(charge, "y.csv")};
    // Both discharge records are nearest to x.csv; the exact one gets it,
    // the other takes x-2.csv, 4 s away, instead of going without.
    RecordPlan near;
    near.Time = "2026-12-08 14:16:02";
    RecordPlan exact;
    exact.Time = "2026-12-08 14:16:03";
    RecordPlan charged;
    charged.Mode = "CHG";
    charged.Time = "2026-12-08 15:16:11";
    const auto matched = MatchCurves(testing::ResultsLog({near, exact, charged}), curves);
    EXPECT_EQ(matched[0], 0u);
    EXPECT_EQ(matched[1], 1u);
    EXPECT_EQ(matched[2], 2u);
}

TEST(CurveMatch, LeavesUnreadableLinesMonitorsAndBrokenFilesAlone) {
    CurvePlan monitor;
    monitor.Mode = "MON";
    std::vector<CurveFile> curves = {Curve(monitor, "m.csv"), Curve(CurvePlan{}, "a.csv")};
    curves[1].Problem = "not readable";
    ResultsFile log = testing::ResultsLog({RecordPlan{}});
    log.Lines.push_back(ParseResultLine("garbage", 3));
    const auto matched = MatchCurves(log, curves);
    ASSERT_EQ(matched.size(), 2u);
    EXPECT_FALSE(matched[0]);
    EXPECT_FALSE(matched[1]);
}

}  // namespace
}  // namespace voltrex::results
