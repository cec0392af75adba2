// The program's files from both sides: what the charger program writes is
// what the results window reads, field by field.

#include <gtest/gtest.h>

#include <vector>

#include "records/CalendarTime.h"
#include "records/CurveFile.h"
#include "records/CurveRecorder.h"
#include "records/ResultsFile.h"
#include "records/TestMode.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex {
namespace {

TEST(TestMode, EachCodeNamesItsModeAndNothingElseIsAMode) {
    for (const TestMode mode : {TestMode::Discharge, TestMode::Charge, TestMode::Monitor}) {
        EXPECT_EQ(ParseModeCode(ModeCode(mode)), mode);
    }
    EXPECT_STREQ(ModeCode(TestMode::Discharge), "DIS");
    EXPECT_STREQ(ModeCode(TestMode::Charge), "CHG");
    EXPECT_STREQ(ModeCode(TestMode::Monitor), "MON");
    for (const char* other : {"", "dis", "DIS ", "DI", "DISC"}) {
        EXPECT_FALSE(ParseModeCode(other)) << other;
    }
}

TEST(TimeTexts, FileStampIsTheCalendarTimeWithoutSeparators) {
    EXPECT_EQ(FileStamp(LocalTime{2026, 3, 14, 9, 26, 53}), "20260314-092653");
    EXPECT_EQ(FileStamp(LocalTime{999, 1, 2, 3, 4, 5}), "09990102-030405");
}

TEST(TimeTexts, ElapsedTimeHasUnpaddedUnlimitedHours) {
    EXPECT_EQ(ElapsedTime(0), "0:00:00");
    EXPECT_EQ(ElapsedTime(59), "0:00:59");
    EXPECT_EQ(ElapsedTime(3661), "1:01:01");
    EXPECT_EQ(ElapsedTime(36000), "10:00:00");
    EXPECT_EQ(ElapsedTime(360000), "100:00:00");
    EXPECT_EQ(ElapsedTime(360000 * 10 + 3599), "1000:59:59");
}

TEST(ResultsFileWriter, HeaderAndRecord) {
    EXPECT_EQ(ResultsHeader(),
              "\"Date/Time\",\"Mode\",\"Cycle\",\"Of\",\"Type\",\"Rated\",\"Cells\",\"mA\","
              "\"mAh\",\"mWh\",\"Ohms\",\"V/Cell\"");
    const LocalTime time{2026, 3, 4, 5, 6, 7};
    // 1800 mWh / (1500 mAh x 1 cell) = 1.2 V per cell.
    EXPECT_EQ(ResultRecordLine(time, TestMode::Discharge, 0, 0, "NiMH", 2000, 1, 0.5, 1500.0,
                               1800.0, 0.04567),
              "\"2026-03-04 05:06:07\",\"DIS\",0,0,\"NiMH\",2000,1,500.0,1500.0,1800.0,"
              "0.0457,1.2000");
    EXPECT_EQ(ResultRecordLine(time, TestMode::Charge, 3, 10, "LiPo", 99999, 12, 1.5, 10.04, 43.2,
                               -0.001),
              "\"2026-03-04 05:06:07\",\"CHG\",3,10,\"LiPo\",99999,12,1500.0,10.0,43.2,"
              "-0.0010,0.3586");
}

TEST(ResultsFileWriter, VoltsPerCellIsZeroWithoutCharge) {
    const LocalTime time{1999, 12, 31, 23, 59, 59};
    EXPECT_EQ(
        ResultRecordLine(time, TestMode::Discharge, 0, 0, "NiCd", 1000, 6, 1.0, 0.0, 0.0, 0.0),
        "\"1999-12-31 23:59:59\",\"DIS\",0,0,\"NiCd\",1000,6,1000.0,0.0,0.0,0.0000,"
        "0.0000");
}

using RoundTrip = testing::FileTestFolder;

TEST_F(RoundTrip, TheReaderGetsBackEveryFieldTheWriterAppended) {
    struct Case {
        LocalTime Time;
        TestMode Mode;
        int Cycle, Of;
        const char* Type;
        int Rated, Cells;
        double Amperes, MilliampHours, MilliwattHours, Ohms;
    };
    const std::vector<Case> cases = {
        {{2026, 12, 8, 14, 15, 3},
         TestMode::Discharge,
         0,
         0,
         "NiMH",
         2000,
         7,
         1.5,
         1934.5,
         16012.3,
         0.1234},
        {{2024, 2, 29, 23, 59, 59},
         TestMode::Charge,
         3,
         10,
         "LiPo",
         99999,
         12,
         0.05,
         10.0,
         43.2,
         0.0},
    };
    const std::string path = File(ResultsFileName);
    for (const Case& c : cases) {
        AppendResult(path, ResultRecordLine(c.Time, c.Mode, c.Cycle, c.Of, c.Type, c.Rated, c.Cells,
                                            c.Amperes, c.MilliampHours, c.MilliwattHours, c.Ohms));
    }
    const ResultsFile file = ReadResultsFile(path);
    EXPECT_EQ(file.HeaderLines, 1);
    ASSERT_EQ(file.Lines.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        ASSERT_TRUE(file.Lines[i].Readable) << file.Lines[i].Problem;
        const ResultRecord& r = file.Lines[i].Record;
        EXPECT_EQ(CalendarTimeText(r.Time), CalendarTimeText(c.Time));
        EXPECT_EQ(r.Mode, ModeCode(c.Mode));
        EXPECT_EQ(r.Cycle, c.Cycle);
        EXPECT_EQ(r.Of, c.Of);
        EXPECT_EQ(r.Type, c.Type);
        EXPECT_EQ(r.Rated, c.Rated);
        EXPECT_EQ(r.Cells, c.Cells);
        EXPECT_DOUBLE_EQ(r.MilliAmps, c.Amperes * 1000.0);
        EXPECT_DOUBLE_EQ(r.MilliampHours, c.MilliampHours);
        EXPECT_DOUBLE_EQ(r.MilliwattHours, c.MilliwattHours);
        EXPECT_DOUBLE_EQ(r.Ohms, c.Ohms);
        EXPECT_NEAR(r.VoltsPerCell, c.MilliwattHours / (c.MilliampHours * c.Cells), 5e-5);
    }
}

TEST_F(RoundTrip, TheReaderGetsBackTheCurveTheRecorderWrote) {
    const LocalTime start{2026, 12, 8, 14, 15, 3};
    for (const TestMode mode : {TestMode::Discharge, TestMode::Monitor}) {
        CurveRecorder recorder;
        // The Monitor's header as files before the moment was kept.
        const std::int64_t moment = 1796739303;  // 2026-12-08T14:15:03Z
        recorder.Start(
            folder_, start, mode,
            mode == TestMode::Monitor
                ? CurveHeader(mode, start, 2, 5, "NiMH", 2000, 7, 9, 1.5, 0.1234)
                : CurveHeader(mode, start, moment, 2, 5, "NiMH", 2000, 7, 9, 1.5, 0.1234));
        recorder.Add(0, 8.4, -1.5, 9, 0.0, 0.0);
        recorder.Add(1, 8.38, -1.5, 9, 1.5, 12.6);
        recorder.Finish(TestEnd::EndVoltage);
        ASSERT_TRUE(recorder.Problem().empty()) << recorder.Problem();

        const CurveFile curve = ReadCurveFile(recorder.Path());
        ASSERT_TRUE(curve.Usable()) << curve.Problem;
        EXPECT_EQ(curve.Name, CurveFileStem(start, mode, 1) + CurveFileExtension);
        EXPECT_TRUE(IsCurveFileName(curve.Name));
        EXPECT_EQ(curve.Mode, ModeCode(mode));
        EXPECT_EQ(CalendarTimeText(*curve.Start), "2026-12-08 14:15:03");
        EXPECT_EQ(curve.StartMoment,
                  mode == TestMode::Monitor ? std::nullopt : std::optional<std::int64_t>(moment));
        EXPECT_EQ(curve.Cycle, 2);
        EXPECT_EQ(curve.Of, 5);
        EXPECT_EQ(curve.Header.at("Program"), ProgramTitle);
        if (mode == TestMode::Monitor) {
            EXPECT_EQ(curve.Type, "");
            EXPECT_FALSE(curve.Ohms);
        } else {
            EXPECT_EQ(curve.Type, "NiMH");
            EXPECT_EQ(curve.Rated, 2000);
            EXPECT_EQ(curve.Cells, 7);
            EXPECT_DOUBLE_EQ(curve.Ohms.value_or(0.0), 0.1234);
        }
        ASSERT_EQ(curve.Rows.size(), 2u);
        EXPECT_EQ(curve.Rows[1].Seconds, 1);
        EXPECT_DOUBLE_EQ(curve.Rows[1].Volts, 8.38);
        EXPECT_DOUBLE_EQ(curve.Rows[1].Amperes, -1.5);
        EXPECT_EQ(curve.Rows[1].Rate, 9);
        EXPECT_NEAR(curve.Rows[1].MilliampHours, 1.5 / 3.6, 5e-5);  // to 4 places
        EXPECT_EQ(curve.EndReason, TestEndText(TestEnd::EndVoltage));
        EXPECT_EQ(curve.UnreadableRows, 0);
    }
}

}  // namespace
}  // namespace voltrex
