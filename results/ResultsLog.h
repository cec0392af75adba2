#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"

namespace voltrex::results {

// The name of the main program's results file in its working folder.
inline constexpr const char* ResultsFileName = "Voltrex2.csv";

// One line of the results file the main program appends at the end of every
// finished discharge or charge.
struct ResultRecord {
    LocalTime Time;          // local time the line was written: the test's end
    std::int64_t Seconds{};  // the same on the calendar (CalendarSeconds)
    std::string Mode;        // "DIS" or "CHG"
    int Cycle = 0;           // 0 outside Auto Cycle
    int Of = 0;              // the Auto Cycle's maximum cycles, 0 outside
    std::string Type;        // the cell type, "NiMH" ...
    int Rated = 0;           // rated capacity, mAh
    int Cells = 0;
    double MilliAmps = 0.0;  // discharge current, or a charge's initial current
    double MilliampHours = 0.0;
    double MilliwattHours = 0.0;
    double Ohms = 0.0;
    double VoltsPerCell = 0.0;

    // What names the record among all others: its time and mode ("2026-12-08
    // 14:15:03 DIS"); one instrument cannot end two tests of a kind in one
    // second.
    std::string Id() const;
};

// A line of the file as the results window shows it: a record, or, for a
// line that cannot be read as one (cut short, edited by hand, from another
// program), the line's text and what is wrong with it, so that nothing in the
// file is hidden.
struct ResultLine {
    int LineNumber = 0;  // 1-based, in the file
    std::string Text;    // the line as it is in the file, without its line break
    bool Readable = false;
    std::string Problem;  // why it is not a record
    ResultRecord Record;  // when Readable
};

struct ResultsLog {
    bool Exists = false;
    std::string Error;              // an existing file that could not be read
    std::vector<ResultLine> Lines;  // records and unreadable lines, in file order
    int HeaderLines = 0;
    int BlankLines = 0;

    int RecordCount() const;
    int UnreadableCount() const;
};

// Reads one line of the file (without its line break) as a record: twelve
// fields, text fields in quotes or not, a date that exists, the mode DIS or
// CHG, whole numbers where the program writes them and plain decimals for the
// rest.
ResultLine ParseResultLine(std::string_view text, int lineNumber);

// Reads the whole text: the header line (wherever it is: files joined by hand
// may hold it twice) and blank lines are counted and left out, every other
// line becomes a ResultLine.
ResultsLog ParseResultsText(std::string_view text);

// Reads the file, for reading only.
ResultsLog ReadResultsLog(const std::string& path);

}  // namespace voltrex::results
