// The results file as the results window reads it: the main program's own
// lines exactly, and every other line kept and explained instead of dropped.

#include <gtest/gtest.h>

#include <cstdint>

#include "results/CalendarTime.h"
#include "results/ResultsLog.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex::results {
namespace {

constexpr const char* Header =
    "\"Date/Time\",\"Mode\",\"Cycle\",\"Of\",\"Type\",\"Rated\",\"Cells\",\"mA\",\"mAh\","
    "\"mWh\",\"Ohms\",\"V/Cell\"";
constexpr const char* Discharge =
    "\"2026-12-08 14:15:03\",\"DIS\",2,5,\"NiMH\",2000,7,1500.0,1934.5,16012.3,0.1234,1.1825";

TEST(ResultsLog, ReadsEveryFieldOfTheProgramsRecord) {
    const ResultLine line = ParseResultLine(Discharge, 2);
    ASSERT_TRUE(line.Readable) << line.Problem;
    const ResultRecord& r = line.Record;
    EXPECT_EQ(CalendarTimeText(r.Time), "2026-12-08 14:15:03");
    EXPECT_EQ(r.Seconds, CalendarSeconds(r.Time));
    EXPECT_EQ(r.Mode, "DIS");
    EXPECT_EQ(r.Cycle, 2);
    EXPECT_EQ(r.Of, 5);
    EXPECT_EQ(r.Type, "NiMH");
    EXPECT_EQ(r.Rated, 2000);
    EXPECT_EQ(r.Cells, 7);
    EXPECT_DOUBLE_EQ(r.MilliAmps, 1500.0);
    EXPECT_DOUBLE_EQ(r.MilliampHours, 1934.5);
    EXPECT_DOUBLE_EQ(r.MilliwattHours, 16012.3);
    EXPECT_DOUBLE_EQ(r.Ohms, 0.1234);
    EXPECT_DOUBLE_EQ(r.VoltsPerCell, 1.1825);
    EXPECT_EQ(r.Id(), "2026-12-08 14:15:03 DIS");
    EXPECT_EQ(line.LineNumber, 2);
    EXPECT_EQ(line.Text, Discharge);
}

TEST(ResultsLog, KeepsEveryLineItCannotReadWithItsTextAndWhy) {
    struct Case {
        const char* Line;
        const char* Problem;
    };
    const Case cases[] = {
        // Cut short by a power failure.
        {"\"2026-12-08 14:15:03\",\"DIS\",0,0,\"NiMH\",2000,7,1500.0,19", "9 fields instead of 12"},
        {"\"2026-12-08 "
         "14:15:03\",\"DIS\",0,0,\"NiMH\",2000,7,1500.0,1934.5,16012.3,0.1234,1.1825,9",
         "13 fields instead of 12"},
        {"\"2026-12-08 14:15:03,\"DIS\",0,0",
         "a quotation mark is not closed, or text follows one"},
        {"\"2026-13-08 14:15:03\",\"DIS\",0,0,\"NiMH\",2000,7,1500.0,1934.5,16012.3,0.1234,1.1825",
         "Date/Time \"2026-13-08 14:15:03\" is not a date and time (YYYY-MM-DD HH:MM:SS)"},
        {"\"2026-02-29 14:15:03\",\"DIS\",0,0,\"NiMH\",2000,7,1500.0,1934.5,16012.3,0.1234,1.1825",
         "Date/Time \"2026-02-29 14:15:03\" is not a date and time (YYYY-MM-DD HH:MM:SS)"},
        {"\"2026-12-08 14:15:03\",\"RES\",0,0,\"NiMH\",2000,7,1500.0,1934.5,16012.3,0.1234,1.1825",
         "Mode \"RES\" is neither DIS nor CHG"},
        // A German spreadsheet's decimal comma, quoted so the columns stay.
        {"\"2026-12-08 "
         "14:15:03\",\"DIS\",0,0,\"NiMH\",2000,7,1500.0,\"1934,5\",16012.3,0.1234,1.1825",
         "mAh \"1934,5\" is not a number"},
        {"\"2026-12-08 14:15:03\",\"DIS\",0,0,\"NiMH\",2000,0,1500.0,1934.5,16012.3,0.1234,1.1825",
         "Cells \"0\" is below 1"},
        {"\"2026-12-08 "
         "14:15:03\",\"DIS\",1.5,0,\"NiMH\",2000,7,1500.0,1934.5,16012.3,0.1234,1.1825",
         "Cycle \"1.5\" is not a whole number"},
        {"\"2026-12-08 14:15:03\",\"DIS\",0,0,\"NiMH\",2000,7,1500.0,nan,16012.3,0.1234,1.1825",
         "mAh \"nan\" is not a number"},
        {"\"2026-12-08 14:15:03\",\"DIS\",0,0,\"\",2000,7,1500.0,1934.5,16012.3,0.1234,1.1825",
         "Type \"\" is empty"},
    };
    for (const Case& c : cases) {
        const ResultLine line = ParseResultLine(c.Line, 7);
        EXPECT_FALSE(line.Readable) << c.Line;
        EXPECT_EQ(line.Problem, c.Problem) << c.Line;
        EXPECT_EQ(line.Text, c.Line);
        EXPECT_EQ(line.LineNumber, 7);
    }
}

TEST(ResultsLog, ReadsALineASpreadsheetSavedAgain) {
    // Quotes taken off, blanks after commas, empty columns added at the end.
    const ResultLine line = ParseResultLine(
        "2026-12-08 14:15:03, CHG,0,0,NiMH,2000,7,1000.0,2210.0,18500.0,0.1200,1.1959,,", 1);
    ASSERT_TRUE(line.Readable) << line.Problem;
    EXPECT_EQ(line.Record.Mode, "CHG");
    EXPECT_DOUBLE_EQ(line.Record.MilliampHours, 2210.0);
}

TEST(ResultsLog, AMalformedLineInAFileIsShownInItsPlaceNotDropped) {
    const std::string text = std::string("\xEF\xBB\xBF") + Header + "\r\n" + Discharge +
                             "\r\n"
                             "\"2026-12-08 17:02:11\",\"CHG\",2,5,\"NiMH\",2000,7,10\r\n"
                             "\r\n" +
                             Header + "\n" +
                             "\"2026-12-09 09:00:00\",\"DIS\",0,0,\"LiPo\",2200,3,2200.0,"
                             "2150.0,23800.0,0.0300,3.6899";  // no line break at the end
    const ResultsLog log = ParseResultsText(text);
    EXPECT_TRUE(log.Exists);
    EXPECT_EQ(log.HeaderLines, 2);
    EXPECT_EQ(log.BlankLines, 1);
    ASSERT_EQ(log.Lines.size(), 3u);
    EXPECT_EQ(log.RecordCount(), 2);
    EXPECT_EQ(log.UnreadableCount(), 1);
    EXPECT_TRUE(log.Lines[0].Readable);
    EXPECT_EQ(log.Lines[0].LineNumber, 2);
    EXPECT_FALSE(log.Lines[1].Readable);
    EXPECT_EQ(log.Lines[1].LineNumber, 3);
    EXPECT_EQ(log.Lines[1].Text, "\"2026-12-08 17:02:11\",\"CHG\",2,5,\"NiMH\",2000,7,10");
    EXPECT_TRUE(log.Lines[2].Readable);
    EXPECT_EQ(log.Lines[2].LineNumber, 6);
    EXPECT_EQ(log.Lines[2].Record.Type, "LiPo");
}

using ResultsLogFile = testing::FileTestFolder;

TEST_F(ResultsLogFile, AMissingFileIsNoErrorAndAFolderIsRefused) {
    const ResultsLog missing = ReadResultsLog(File("Voltrex2.csv"));
    EXPECT_FALSE(missing.Exists);
    EXPECT_TRUE(missing.Error.empty());

    const ResultsLog folder = ReadResultsLog(folder_);
    EXPECT_TRUE(folder.Exists);
    EXPECT_EQ(folder.Error, "Is a directory");
    EXPECT_TRUE(folder.Lines.empty());

    Write(File("Voltrex2.csv"), std::string(Header) + "\n" + Discharge + "\n");
    const ResultsLog log = ReadResultsLog(File("Voltrex2.csv"));
    EXPECT_TRUE(log.Exists);
    EXPECT_EQ(log.RecordCount(), 1);
}

TEST(CalendarTime, CountsTheCalendarAndChecksTheDate) {
    // The seconds of a time, or -1 for one that does not parse.
    const auto seconds = [](const char* text) -> std::int64_t {
        const auto time = ParseCalendarTime(text);
        return time ? CalendarSeconds(*time) : -1;
    };
    // date -u -d '2026-12-08 14:15:03' +%s
    EXPECT_EQ(seconds("2026-12-08 14:15:03"), 1796739303);
    EXPECT_EQ(CalendarTimeText(CalendarTimeAt(1796739303)), "2026-12-08 14:15:03");
    EXPECT_EQ(seconds("2024-03-01 00:00:00") - seconds("2024-02-28 23:59:59"), 86401);
    EXPECT_TRUE(ParseCalendarTime("2024-02-29 23:59:59"));
    EXPECT_TRUE(ParseCalendarTime("2000-02-29 00:00:00"));
    EXPECT_FALSE(ParseCalendarTime("1900-02-29 00:00:00"));
    EXPECT_FALSE(ParseCalendarTime("2026-04-31 00:00:00"));
    EXPECT_FALSE(ParseCalendarTime("2026-12-08 24:00:00"));
    EXPECT_FALSE(ParseCalendarTime("2026-12-08 14:60:00"));
    EXPECT_FALSE(ParseCalendarTime("2026-12-08 14:15:3"));
    EXPECT_FALSE(ParseCalendarTime("2026-12-08T14:15:03"));
    EXPECT_FALSE(ParseCalendarTime("2026-12-08 14:15:03 "));
    EXPECT_FALSE(ParseCalendarTime("+026-12-08 14:15:03"));
}

}  // namespace
}  // namespace voltrex::results
