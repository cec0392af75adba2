// Records matched to their curve files: a record is written at a test's end,
// a curve file is named by its start, so the file's start plus its last row
// must land within a few seconds of the record's time.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

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

TEST(CurveMatch, ATimeWithoutItsSecondsMatchesACurveEndingWithinItsMinute) {
    // The curve starts 14:15:03; a spreadsheet kept "14:15" of its record,
    // written at 14:15:59 at the latest.
    const struct {
        int Seconds;
        const char* Time;
        bool Matched;
    } cases[] = {{61, "08.12.2026 14:15", true},    {62, "08.12.2026 14:15", false},
                 {60, "08.12.2026 14:16", true},    {51, "08.12.2026 14:16", false},
                 {50, "08.12.2026 14:15:58", true}, {50, "08.12.2026 14:15:59", false},
                 {61, "08.12.2026 14:15:59", true}};
    for (const auto& c : cases) {
        CurvePlan plan;
        plan.Seconds = c.Seconds;
        const std::vector<CurveFile> curves = {Curve(plan, "a.csv")};
        const std::string line =
            std::string(c.Time) + ";DIS;0;0;NiMH;2000;7;1500;1934,5;16000;0,12;1,2";
        const ResultsFile log = ParseResultsText(line, ResultsFormat::DecimalComma);
        ASSERT_EQ(log.RecordCount(), 1) << line;
        EXPECT_EQ(MatchCurves(log, curves)[0].has_value(), c.Matched) << c.Seconds << " " << line;
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

// Central European time: summer time from 29 March 2026 02:00 to 25 October
// 2026 03:00, when 02:00 to 03:00 comes twice.
class SummerTime : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        saved_ = zone != nullptr ? std::optional<std::string>(zone) : std::nullopt;
        setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
        tzset();
    }
    void TearDown() override {
        if (saved_) {
            setenv("TZ", saved_->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::optional<std::string> saved_;
};

TEST_F(SummerTime, ATestAcrossTheChangeKeepsItsCurve) {
    const struct {
        const char* Start;
        const char* StartUtc;  // empty: a file without the line
        int Seconds;
        const char* Record;
        bool Matched;
    } cases[] = {
        // Autumn, 01:30 + 2 h: the clocks show 02:30, not 03:30.
        {"2026-10-25 01:30:00", "", 7200, "2026-10-25 02:30:05", true},
        {"2026-10-25 01:30:00", "", 7200, "2026-10-25 02:30:06", false},
        {"2026-10-25 01:30:00", "", 7200, "2026-10-25 03:30:01", false},
        {"2026-10-25 01:30:00", "2026-10-24T23:30:00Z", 7200, "2026-10-25 02:29:55", true},
        {"2026-10-25 01:30:00", "2026-10-24T23:30:00Z", 7200, "2026-10-25 02:29:54", false},
        // Spring, 01:30 + 1 h: the clocks show 03:30 (02:30 never shows).
        {"2026-03-29 01:30:00", "", 3600, "2026-03-29 03:30:01", true},
        {"2026-03-29 01:30:00", "", 3600, "2026-03-29 03:30:06", false},
        {"2026-03-29 01:30:00", "", 3600, "2026-03-29 03:29:54", false},
        // Started in the hour that came twice: the line says which.
        {"2026-10-25 02:10:00", "2026-10-25T00:10:00Z", 7200, "2026-10-25 03:10:01", true},
        {"2026-10-25 02:10:00", "2026-10-25T01:10:00Z", 7200, "2026-10-25 03:10:01", false},
        {"2026-10-25 02:10:00", "2026-10-25T01:10:00Z", 7200, "2026-10-25 04:10:01", true},
        {"2026-10-25 02:10:00", "", 7200, "2026-10-25 04:10:01", true},
        {"2026-10-25 02:10:00", "", 7200, "2026-10-25 03:10:01", true},
    };
    for (const auto& c : cases) {
        CurvePlan plan;
        plan.Start = c.Start;
        plan.Seconds = c.Seconds;
        std::string text = testing::CurveText(plan);
        if (*c.StartUtc != '\0') {
            const std::string start = std::string("# Start: ") + c.Start + "\n";
            text.insert(text.find(start) + start.size(),
                        std::string("# StartUTC: ") + c.StartUtc + "\n");
        }
        const std::vector<CurveFile> curves = {ParseCurveText(text, false)};
        RecordPlan record;
        record.Time = c.Record;
        EXPECT_EQ(MatchCurves(testing::ResultsLog({record}), curves)[0].has_value(), c.Matched)
            << c.Start << " " << c.StartUtc << " " << c.Record;
    }
}

}  // namespace
}  // namespace voltrex::results
