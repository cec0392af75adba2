#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "records/FileNames.h"
#include "records/TestMode.h"

// A curve file: the curve of one test, in the working folder's "curves/",
// written by the charger program (records/CurveRecorder.h, which describes
// the format) and read by the results window. The header's keys, the column
// line and the file's name are made here for both.
namespace voltrex {

// One second of a test.
struct CurveRow {
    int Seconds = 0;  // elapsed since the test's start
    double Volts = 0.0;
    double Amperes = 0.0;  // positive charging, negative discharging, 0 in Monitor
    int Rate = 0;
    double MilliampHours = 0.0;  // counted so far
    double MilliwattHours = 0.0;
};

// A stretch of a curve as a chart draws it when the curve has more rows than
// the chart has pixel columns: the lowest and highest reading of the stretch,
// so that a peak or a glitch is never lost, and the charge at its end.
struct CurveEnvelopePoint {
    int FromSeconds = 0;
    int ToSeconds = 0;
    float MinVolts = 0.0F;
    float MaxVolts = 0.0F;
    float MinAmperes = 0.0F;
    float MaxAmperes = 0.0F;
    double MilliampHours = 0.0;
};

// The most stretches a curve's envelope has: more than a screen's width of
// pixel columns, a few tens of kilobytes however long the test ran.
inline constexpr std::size_t MostEnvelopePoints = 2048;

// Which rows of a curve are glitches (true for each), the readings a chart
// leaves out of its axis range: a 0 V reading inside a test, or one far from
// both its neighbours. A finder looks at a row's neighbours alone; the
// summary of a long file hands it the rows a few thousand at a time.
using GlitchFinder = std::function<std::vector<bool>(const std::vector<CurveRow>&)>;

// A curve file: "# Key: value" header lines, the column line, one row per
// second and a last "# End: reason" line.
struct CurveFile {
    std::string Path;
    std::string Name;  // the file's name in its folder
    // The file's size and modification time (nanoseconds) when it was read
    // by a CurveFolder: a copy read whole is still this file if they agree.
    std::int64_t FileSize = -1;
    std::int64_t Modified = 0;

    // Every header key as written, unknown ones included.
    std::map<std::string, std::string> Header;
    std::string Mode;  // DIS, CHG or MON
    std::optional<LocalTime> Start;
    std::int64_t StartSeconds = 0;  // the start on the calendar (CalendarSeconds)
    // The start as a moment (seconds since 1970 UTC), from the "StartUTC"
    // line; files written before it was kept have none.
    std::optional<std::int64_t> StartMoment;
    int Cycle = 0;
    int Of = 0;
    std::string Type;  // empty for a Monitor
    int Rated = 0;
    int Cells = 0;
    std::optional<double> Ohms;

    // The rows, when the whole file was read (ReadCurveFile); a summary
    // (ReadCurveSummary) has only the last one.
    std::vector<CurveRow> Rows;
    std::optional<CurveRow> LastRow;
    int ReadableRows = 0;
    int UnreadableRows = 0;  // data lines that could not be read
    int FirstUnreadableLine = 0;
    bool Whole = false;  // Rows holds every row

    // Of a summary: the rows a GlitchFinder called glitches, the voltage
    // range of the others (none without them) and the envelope to draw.
    int GlitchRowCount = 0;
    std::optional<double> LowestVolts;
    std::optional<double> HighestVolts;
    std::vector<CurveEnvelopePoint> Envelope;

    // How the test ended; none when the file has no end line: a test that
    // did not finish writing (the program ended meanwhile).
    std::optional<std::string> EndReason;

    // What makes the file no curve file at all (unreadable, no start or mode);
    // empty for a curve file.
    std::string Problem;

    bool Usable() const { return Problem.empty(); }
    // Seconds from the start to the last row (0 without rows).
    int Duration() const { return LastRow ? LastRow->Seconds : 0; }
    // The calendar second of the last row: when the test ended.
    std::int64_t EndSeconds() const { return StartSeconds + Duration(); }
};

// The header lines of a curve file that every test has, each "Key: value" and
// a line end (CurveRecorder::Start puts the "# " before each); a Monitor has
// no pack, rate or resistance lines.
std::string CurveHeader(TestMode mode, const LocalTime& start, std::int32_t cycle, std::int32_t of,
                        const std::string& cellType, std::int32_t rated, std::int32_t numberOfCells,
                        std::int32_t rate, double current, double ohms);
// The same with the start as a moment as well ("StartUTC:
// 2026-12-08T13:15:03Z" after the local "Start:"): what pairs the curve with
// its record across a change to or from summer time. Readers that do not
// know the line pass over it.
std::string CurveHeader(TestMode mode, const LocalTime& start, std::int64_t startMoment,
                        std::int32_t cycle, std::int32_t of, const std::string& cellType,
                        std::int32_t rated, std::int32_t numberOfCells, std::int32_t rate,
                        double current, double ohms);

// The line that names the columns, with its line end.
std::string CurveColumnLine();

// The name of a test's curve file without its ".csv": its start and mode,
// "20261208-141503-DIS"; attempt 2 and later (another test of the mode
// started in the same second) add "-2" and so on.
std::string CurveFileStem(const LocalTime& start, TestMode mode, int attempt);

// Reads a curve file's text. With keepRows false only the last row is kept,
// with the summary of every row (as ReadCurveSummary).
CurveFile ParseCurveText(std::string_view text, bool keepRows,
                         const GlitchFinder& glitches = nullptr);

// The whole file, every row.
CurveFile ReadCurveFile(const std::string& path);
// What a list of the curves shows, from every row of the file read in a
// bounded buffer: the header, the last readable row (a file cut short by a
// power cut ends in a part of a line, or in zeros), the counts of rows, the
// voltage range without glitch rows and the envelope. Without a finder no
// row is a glitch.
CurveFile ReadCurveSummary(const std::string& path, const GlitchFinder& glitches = nullptr);

// Whether a file name looks like a curve file's: ends in ".csv".
bool IsCurveFileName(std::string_view name);

}  // namespace voltrex
