// The results file as the results window reads it: the main program's own
// lines exactly, and every other line kept and explained instead of dropped.

#include <gtest/gtest.h>

#include <cstdint>

#include <cstdlib>
#include <ctime>

#include "records/CalendarTime.h"
#include "records/LineReader.h"
#include "records/ResultsFile.h"
#include "testsupport/FileTestFolder.h"

namespace voltrex {
namespace {

constexpr const char* Header =
    "\"Date/Time\",\"Mode\",\"Cycle\",\"Of\",\"Type\",\"Rated\",\"Cells\",\"mA\",\"mAh\","
    "\"mWh\",\"Ohms\",\"V/Cell\"";
constexpr const char* Discharge =
    "\"2026-12-08 14:15:03\",\"DIS\",2,5,\"NiMH\",2000,7,1500.0,1934.5,16012.3,0.1234,1.1825";

TEST(ResultsFile, ReadsEveryFieldOfTheProgramsRecord) {
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

TEST(ResultsFile, KeepsEveryLineItCannotReadWithItsTextAndWhy) {
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

TEST(ResultsFile, ReadsALineASpreadsheetSavedAgain) {
    // Quotes taken off, blanks after commas, empty columns added at the end.
    const ResultLine line = ParseResultLine(
        "2026-12-08 14:15:03, CHG,0,0,NiMH,2000,7,1000.0,2210.0,18500.0,0.1200,1.1959,,", 1);
    ASSERT_TRUE(line.Readable) << line.Problem;
    EXPECT_EQ(line.Record.Mode, "CHG");
    EXPECT_DOUBLE_EQ(line.Record.MilliampHours, 2210.0);
}

TEST(ResultsFile, AMalformedLineInAFileIsShownInItsPlaceNotDropped) {
    const std::string text = std::string("\xEF\xBB\xBF") + Header + "\r\n" + Discharge +
                             "\r\n"
                             "\"2026-12-08 17:02:11\",\"CHG\",2,5,\"NiMH\",2000,7,10\r\n"
                             "\r\n" +
                             Header + "\n" +
                             "\"2026-12-09 09:00:00\",\"DIS\",0,0,\"LiPo\",2200,3,2200.0,"
                             "2150.0,23800.0,0.0300,3.6899";  // no line break at the end
    const ResultsFile log = ParseResultsText(text);
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

using ResultsFileOnDisk = testing::FileTestFolder;

TEST_F(ResultsFileOnDisk, AMissingFileIsNoErrorAndAFolderIsRefused) {
    const ResultsFile missing = ReadResultsFile(File("Voltrex2.csv"));
    EXPECT_FALSE(missing.Exists);
    EXPECT_TRUE(missing.Error.empty());

    const ResultsFile folder = ReadResultsFile(folder_);
    EXPECT_TRUE(folder.Exists);
    EXPECT_EQ(folder.Error, "Is a directory");
    EXPECT_TRUE(folder.Lines.empty());

    Write(File("Voltrex2.csv"), std::string(Header) + "\n" + Discharge + "\n");
    const ResultsFile log = ReadResultsFile(File("Voltrex2.csv"));
    EXPECT_TRUE(log.Exists);
    EXPECT_EQ(log.RecordCount(), 1);
}

TEST_F(ResultsFileOnDisk, ALineOfAnyLengthKeepsItsFirstBytesAndTheReaderItsBoundedBuffer) {
    // Lines of exactly the longest length kept, one byte more, and one of
    // megabytes (a file joined by another program), between two records.
    const std::string longest(LongestResultLine, 'x');
    Write(File("Voltrex2.csv"), std::string(Header) + "\n" + longest + "\n" + longest + "y\r\n" +
                                    Discharge + "\n" + std::string(3'000'000, 'z') + "\n" +
                                    Discharge);
    LineReader reader(File("Voltrex2.csv"));
    std::string_view line;
    struct Expected {
        std::size_t Shown;
        std::int64_t Length;
        bool Cut;
    };
    const Expected expected[] = {{std::string_view(Header).size(), 0, false},
                                 {LongestResultLine, 0, false},
                                 {LongestResultLine, LongestResultLine + 1, true},
                                 {std::string_view(Discharge).size(), 0, false},
                                 {LongestResultLine, 3'000'000, true},
                                 {std::string_view(Discharge).size(), 0, false}};
    for (const Expected& e : expected) {
        ASSERT_TRUE(reader.Next(line));
        EXPECT_EQ(line.size(), e.Shown) << reader.LineNumber();
        EXPECT_EQ(reader.Cut(), e.Cut) << reader.LineNumber();
        if (e.Cut) {
            EXPECT_EQ(reader.Length(), e.Length) << reader.LineNumber();
        }
        EXPECT_LT(reader.Capacity(), 80u * 1024u);
    }
    EXPECT_FALSE(reader.Next(line));
    EXPECT_EQ(reader.LineNumber(), 6);

    const ResultsFile log = ReadResultsFile(File("Voltrex2.csv"));
    ASSERT_EQ(log.Lines.size(), 5u);
    EXPECT_EQ(log.RecordCount(), 2);
    EXPECT_EQ(log.Lines[2].Text, Discharge);
    EXPECT_EQ(log.Lines[3].LineNumber, 5);
    EXPECT_EQ(log.Lines[3].Text.size(), LongestResultLine);
    EXPECT_EQ(log.Lines[3].Problem,
              "the line is 3000000 bytes long, far longer than a record; its first 4096 are "
              "shown");
    EXPECT_EQ(log.Lines[1].Text.size(), LongestResultLine);
    EXPECT_EQ(log.Lines[0].Text, longest);
    // The same text read at once comes out the same.
    const ResultsFile parsed = ParseResultsText(Read(File("Voltrex2.csv")));
    ASSERT_EQ(parsed.Lines.size(), 5u);
    EXPECT_EQ(parsed.Lines[3].Problem, log.Lines[3].Problem);
    EXPECT_EQ(parsed.Lines[1].Problem, log.Lines[1].Problem);
}

// A spreadsheet in a German locale saves ';' between the fields and ',' in
// the numbers, quoted or not, its dates maybe in its own order.
TEST(ResultsFile, ASpreadsheetsDecimalCommaFileIsRecognisedAndReadSoOnlyWhenAsked) {
    const std::string german =
        "\"Date/Time\";\"Mode\";\"Cycle\";\"Of\";\"Type\";\"Rated\";\"Cells\";\"mA\";\"mAh\";"
        "\"mWh\";\"Ohms\";\"V/Cell\"\r\n"
        "\"2026-12-08 "
        "14:15:03\";\"DIS\";2;5;\"NiMH\";2000;7;1500,0;1934,5;16012,3;0,1234;1,1825\r\n"
        "08.12.2026 18:00:00;CHG;0;0;NiMH;2000;7;1.000,0;2.100,0;17000;0,1200;1,2000\r\n"
        "09.12.2026 08:01;DIS;0;0;NiMH;2000;7;1500;1900;16000;0,12;1,2\r\n"
        "2026-12-09 10:02;DIS;0;0;NiMH;2000;7;1500;1900;16000;0,12;1,2\r\n";
    const ResultsFile asWritten = ParseResultsText(german);
    EXPECT_EQ(asWritten.HeaderLines, 1);
    EXPECT_EQ(asWritten.RecordCount(), 0);
    EXPECT_EQ(asWritten.ReadableInOtherFormat, 4);
    EXPECT_TRUE(asWritten.InOtherFormat());

    const ResultsFile read = ParseResultsText(german, ResultsFormat::DecimalComma);
    ASSERT_EQ(read.RecordCount(), 4);
    // A time without its seconds was written within its minute.
    EXPECT_EQ(CalendarTimeText(read.Lines[2].Record.Time), "2026-12-09 08:01:00");
    EXPECT_EQ(read.Lines[2].Record.TimeSlackSeconds, 59);
    EXPECT_EQ(CalendarTimeText(read.Lines[3].Record.Time), "2026-12-09 10:02:00");
    EXPECT_EQ(read.Lines[1].Record.TimeSlackSeconds, 0);
    EXPECT_DOUBLE_EQ(read.Lines[0].Record.MilliampHours, 1934.5);
    EXPECT_DOUBLE_EQ(read.Lines[0].Record.Ohms, 0.1234);
    EXPECT_EQ(CalendarTimeText(read.Lines[1].Record.Time), "2026-12-08 18:00:00");
    EXPECT_DOUBLE_EQ(read.Lines[1].Record.MilliAmps, 1000.0);
    EXPECT_DOUBLE_EQ(read.Lines[1].Record.MilliampHours, 2100.0);
    EXPECT_FALSE(read.InOtherFormat());

    // One line the program wrote, or one that is no record either way: no
    // offer, the file is the program's with damage.
    EXPECT_FALSE(ParseResultsText(german + Discharge + "\n").InOtherFormat());
    EXPECT_FALSE(ParseResultsText(german + "garbage\n").InOtherFormat());
    EXPECT_FALSE(ParseResultsText(std::string(Header) + "\n").InOtherFormat());
}

TEST(CalendarTime, MomentsAreWrittenInUtcAndLocalTimesFoundInTheZonesRules) {
    EXPECT_EQ(UtcTimeText(1796739303), "2026-12-08T14:15:03Z");
    EXPECT_EQ(ParseUtcTime("2026-12-08T14:15:03Z"), 1796739303);
    EXPECT_FALSE(ParseUtcTime("2026-12-08 14:15:03Z"));
    EXPECT_FALSE(ParseUtcTime("2026-12-08T14:15:03"));

    // Central Europe: summer time from the last Sunday of March 02:00 to
    // the last Sunday of October 03:00 (2026: 29 March, 25 October).
    const char* const saved = std::getenv("TZ");
    const std::string before = saved != nullptr ? saved : "";
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    // Both ways of finding them agree.
    LocalZone zone;
    const auto moments = [&zone](const char* text) {
        const std::vector<std::int64_t> found = LocalMoments(*ParseCalendarTime(text));
        EXPECT_EQ(zone.Moments(*ParseCalendarTime(text)), found) << text;
        return found;
    };
    const std::int64_t utc = 1796739303;  // 2026-12-08 14:15:03 UTC
    EXPECT_EQ(moments("2026-12-08 15:15:03"), std::vector<std::int64_t>{utc});
    // 2026-10-25 00:59:59 UTC is 02:59:59 summer time; a second later
    // the clocks show 02:00:00 again.
    const std::int64_t lastSummer = *ParseUtcTime("2026-10-25T00:59:59Z");
    EXPECT_EQ(moments("2026-10-25 01:59:59"), std::vector<std::int64_t>{lastSummer - 3600});
    EXPECT_EQ(moments("2026-10-25 02:00:00"),
              (std::vector<std::int64_t>{lastSummer - 3599, lastSummer + 1}));
    EXPECT_EQ(moments("2026-10-25 02:59:59"),
              (std::vector<std::int64_t>{lastSummer, lastSummer + 3600}));
    EXPECT_EQ(moments("2026-10-25 03:00:00"), std::vector<std::int64_t>{lastSummer + 3601});
    // Spring: 02:00 to 02:59 never show; 03:00 is 01:00 UTC.
    EXPECT_EQ(moments("2026-03-29 03:00:00"),
              std::vector<std::int64_t>{*ParseUtcTime("2026-03-29T01:00:00Z")});
    EXPECT_EQ(moments("2026-03-29 01:59:59"),
              std::vector<std::int64_t>{*ParseUtcTime("2026-03-29T00:59:59Z")});
    EXPECT_EQ(moments("2026-03-29 02:30:00").size(), 1u);
    EXPECT_EQ(LocalCalendarSeconds(utc), utc + 3600);
    EXPECT_EQ(LocalCalendarSeconds(lastSummer), lastSummer + 7200);
    if (saved != nullptr) {
        setenv("TZ", before.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
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
}  // namespace voltrex
