// Records matched to their curve files: a record is written at a test's end,
// a curve file is named by its start, so the file's start plus its last row
// must land within a few seconds of the record's time.

#include <gtest/gtest.h>

#include "CurveTestData.h"
#include "results/CurveMatch.h"

namespace voltrex::results {
namespace {

using testing::CurveSpec;
using testing::RecordSpec;

CurveFile Curve(const CurveSpec& spec, const char* name) {
    CurveFile curve = ParseCurveText(testing::CurveText(spec), false);
    curve.Name = name;
    return curve;
}

ResultsLog Log(const std::vector<RecordSpec>& records) {
    std::string text = testing::ResultsHeaderLine();
    for (const RecordSpec& record : records) {
        text += testing::RecordLine(record) + "\n";
    }
    return ParseResultsText(text);
}

// The curve starts 14:15:03 and has 60 seconds of rows: it ends at 14:16:03.
TEST(CurveMatch, AcceptsARecordUpToFiveSecondsFromTheCurvesEndAndNoFurther) {
    const std::vector<CurveFile> curves = {Curve(CurveSpec{}, "a.csv")};
    const char* const within[] = {"2026-12-08 14:15:58", "2026-12-08 14:16:03",
                                  "2026-12-08 14:16:08"};
    for (const char* time : within) {
        RecordSpec record;
        record.Time = time;
        EXPECT_EQ(MatchCurves(Log({record}), curves)[0], 0u) << time;
    }
    const char* const beyond[] = {"2026-12-08 14:15:57", "2026-12-08 14:16:09",
                                  "2026-12-08 14:15:03"};
    for (const char* time : beyond) {
        RecordSpec record;
        record.Time = time;
        EXPECT_FALSE(MatchCurves(Log({record}), curves)[0]) << time;
    }
}

TEST(CurveMatch, WantsTheSameModeTypeCellsAndCapacity) {
    const std::vector<CurveFile> curves = {Curve(CurveSpec{}, "a.csv")};
    RecordSpec charge;
    charge.Mode = "CHG";
    RecordSpec lipo;
    lipo.Type = "LiPo";
    RecordSpec sixCells;
    sixCells.Cells = 6;
    RecordSpec smaller;
    smaller.Rated = 1800;
    const auto matched = MatchCurves(Log({charge, lipo, sixCells, smaller, RecordSpec{}}), curves);
    EXPECT_FALSE(matched[0]);
    EXPECT_FALSE(matched[1]);
    EXPECT_FALSE(matched[2]);
    EXPECT_FALSE(matched[3]);
    EXPECT_EQ(matched[4], 0u);
}

TEST(CurveMatch, GivesEachCurveToItsNearestRecordAndEachRecordItsNearestFreeCurve) {
    // Two discharge curves started in the same second (the second file "-2"),
    // ending 14:16:03 and 14:16:06, and an Auto Cycle's charge after them.
    CurveSpec discharge;
    CurveSpec other = discharge;
    other.Seconds = 63;
    CurveSpec charge;
    charge.Mode = "CHG";
    charge.Start = "2026-12-08 14:16:10";
    charge.Amperes = 1.0;
    charge.Seconds = 3600;
    charge.End = "delta-V";
    const std::vector<CurveFile> curves = {Curve(other, "x-2.csv"), Curve(discharge, "x.csv"),
                                           Curve(charge, "y.csv")};
    // Both discharge records are nearest to x.csv; the exact one gets it,
    // the other takes x-2.csv, 4 s away, instead of going without.
    RecordSpec near;
    near.Time = "2026-12-08 14:16:02";
    RecordSpec exact;
    exact.Time = "2026-12-08 14:16:03";
    RecordSpec charged;
    charged.Mode = "CHG";
    charged.Time = "2026-12-08 15:16:11";
    const auto matched = MatchCurves(Log({near, exact, charged}), curves);
    EXPECT_EQ(matched[0], 0u);
    EXPECT_EQ(matched[1], 1u);
    EXPECT_EQ(matched[2], 2u);
}

TEST(CurveMatch, LeavesUnreadableLinesMonitorsAndBrokenFilesAlone) {
    CurveSpec monitor;
    monitor.Mode = "MON";
    std::vector<CurveFile> curves = {Curve(monitor, "m.csv"), Curve(CurveSpec{}, "a.csv")};
    curves[1].Problem = "not readable";
    ResultsLog log = Log({RecordSpec{}});
    log.Lines.push_back(ParseResultLine("garbage", 3));
    const auto matched = MatchCurves(log, curves);
    ASSERT_EQ(matched.size(), 2u);
    EXPECT_FALSE(matched[0]);
    EXPECT_FALSE(matched[1]);
}

}  // namespace
}  // namespace voltrex::results
