#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Clock.h"
#include "records/FileNames.h"
#include "records/TestMode.h"

// The results file, "Voltrex2.csv": a header line, then one line per finished
// discharge or charge, kept for the history of every pack tested. The charger
// program appends to it (AppendResult) and never truncates it; the results
// window reads it (ReadResultsFile). Writer and reader share the field list
// below.
//
//   "Date/Time","Mode","Cycle","Of","Type","Rated","Cells","mA","mAh","mWh","Ohms","V/Cell"
//   "2026-12-08 14:15:03","DIS",0,0,"NiMH",2000,7,1000.0,1934.5,2321.4,0.1234,1.2000
namespace voltrex {

// One line of the results file.
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
    // How much later than Time the line may have been written: 59 for a
    // time a spreadsheet saved without its seconds.
    int TimeSlackSeconds = 0;

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

// How the lines of the file are written. A spreadsheet set to a language
// whose decimal mark is the comma (German, French ...) saves the file it
// opened with ';' between the fields and ',' in the numbers, and may write
// dates as "08.12.2026 14:15:03".
enum class ResultsFormat { Program, DecimalComma };

// The longest line kept of the file: a record is about 100 bytes; of a longer
// line (files joined or damaged by another program) this much is shown.
inline constexpr std::size_t LongestResultLine = 4096;

// The results file as read.
struct ResultsFile {
    bool Exists = false;
    std::string Error;              // an existing file that could not be read
    std::vector<ResultLine> Lines;  // records and unreadable lines, in file order
    int HeaderLines = 0;
    int BlankLines = 0;
    ResultsFormat Format = ResultsFormat::Program;
    // When the file was last written, as local calendar seconds
    // (CalendarSeconds), when read from a file.
    std::optional<std::int64_t> Written;
    // Of the unreadable lines, how many would be records in the other format.
    int ReadableInOtherFormat = 0;

    int RecordCount() const;
    int UnreadableCount() const;
    // Whether every line is unreadable as read but a record in the other
    // format: a file saved by a spreadsheet, offered to be read so.
    bool InOtherFormat() const;
};

// The header line, without its line end.
std::string ResultsHeader();

// A record's line as the charger program writes it, without its line end:
// the current in amperes (written in mA), the charge and energy counted in
// mAh and mWh; the mean voltage per cell follows from them.
std::string ResultRecordLine(const LocalTime& time, TestMode mode, std::int32_t cycle,
                             std::int32_t of, const std::string& cellType, std::int32_t rated,
                             std::int32_t numberOfCells, double current, double milliampHours,
                             double milliwattHours, double ohms);

// Appends one record's line (given without its line end) to the file at
// path. A new file starts with the header and gets the mode any text file the
// user makes gets (0666 less the umask); the record (with the header) reaches
// the disk whole or not at all, also on a full disk. A name that cannot be
// opened or is not a plain file (locked by a spreadsheet, a read-only folder,
// a FIFO) loses this record without a word: the test itself is over and has
// been shown.
void AppendResult(const std::string& path, const std::string& line);

// Reads one line of the file (without its line break) as a record: twelve
// fields, text fields in quotes or not, a date that exists, the mode DIS or
// CHG, whole numbers where the program writes them and plain decimals for the
// rest.
ResultLine ParseResultLine(std::string_view text, int lineNumber,
                           ResultsFormat format = ResultsFormat::Program);

// Reads the whole text: the header line (wherever it is: files joined by hand
// may hold it twice) and blank lines are counted and left out, every other
// line becomes a ResultLine. A line longer than LongestResultLine is no
// record; its beginning is kept as its text.
ResultsFile ParseResultsText(std::string_view text, ResultsFormat format = ResultsFormat::Program);

// Reads the file, for reading only, a line at a time: a file of any size and
// any line lengths takes memory for its records alone.
ResultsFile ReadResultsFile(const std::string& path, ResultsFormat format = ResultsFormat::Program);

}  // namespace voltrex
