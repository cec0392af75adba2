#include "records/ResultsFile.h"

#include <algorithm>
#include <optional>

#include "platform/AppendWhole.h"
#include "platform/CFormat.h"
#include "platform/TextFile.h"
#include "records/CalendarTime.h"
#include "records/CsvLine.h"
#include "records/LineReader.h"
#include "records/NumberText.h"

namespace voltrex {

namespace {

constexpr std::size_t FieldCount = 12;
constexpr const char* FieldNames[FieldCount] = {"Date/Time", "Mode",  "Cycle", "Of",
                                                "Type",      "Rated", "Cells", "mA",
                                                "mAh",       "mWh",   "Ohms",  "V/Cell"};

std::string Quoted(std::string_view text) {
    return Format("\"%s\"", std::string(text).c_str());
}

bool IsHeader(const std::vector<std::string>& fields) {
    return !fields.empty() && Trimmed(fields[0]) == FieldNames[0];
}

char Separator(ResultsFormat format) {
    return format == ResultsFormat::DecimalComma ? ';' : ',';
}

ResultsFormat Other(ResultsFormat format) {
    return format == ResultsFormat::DecimalComma ? ResultsFormat::Program
                                                 : ResultsFormat::DecimalComma;
}

// The header line in either format (a file saved by a spreadsheet keeps it).
bool IsHeaderLine(std::string_view line) {
    for (const char separator : {',', ';'}) {
        const std::optional<std::vector<std::string>> fields = SplitCsvLine(line, separator);
        if (fields && IsHeader(*fields)) {
            return true;
        }
    }
    return false;
}

// A number written with a decimal comma ("1934,5", "1.934,5") as the program
// writes it.
void WithDecimalPoint(std::string& number) {
    if (number.find(',') == std::string::npos) {
        return;
    }
    number.erase(std::remove(number.begin(), number.end(), '.'), number.end());
    std::replace(number.begin(), number.end(), ',', '.');
}

// A spreadsheet's date "08.12.2026 14:15:03" (either order, maybe without
// its seconds) as the program writes it.
std::string IsoDate(std::string_view date) {
    date = Trimmed(date);
    if (date.size() == 16 && date[4] == '-') {
        return std::string(date) + ":00";
    }
    if ((date.size() != 19 && date.size() != 16) || date[2] != '.' || date[5] != '.') {
        return std::string(date);
    }
    std::string iso = std::string(date.substr(6, 4)) + "-" + std::string(date.substr(3, 2)) + "-" +
                      std::string(date.substr(0, 2)) + std::string(date.substr(10));
    return date.size() == 16 ? iso + ":00" : iso;
}

// Reads the fields one by one and keeps the first problem.
class FieldReader {
  public:
    explicit FieldReader(const std::vector<std::string>& fields) : fields_(fields) {}

    void Integer(std::size_t index, int& into, int minimum) {
        if (!problem_.empty()) {
            return;
        }
        const std::optional<int> value = ParseInteger(fields_[index]);
        if (!value) {
            Fail(index, "is not a whole number");
        } else if (*value < minimum) {
            Fail(index, minimum == 0 ? "is negative" : "is below 1");
        } else {
            into = *value;
        }
    }
    void Decimal(std::size_t index, double& into) {
        if (!problem_.empty()) {
            return;
        }
        const std::optional<double> value = ParseDecimal(fields_[index]);
        if (!value) {
            Fail(index, "is not a number");
        } else {
            into = *value;
        }
    }
    void Fail(std::size_t index, const char* what) {
        if (problem_.empty()) {
            problem_ = Format("%s \"%s\" %s", FieldNames[index], fields_[index].c_str(), what);
        }
    }
    const std::string& Problem() const { return problem_; }

  private:
    const std::vector<std::string>& fields_;
    std::string problem_;
};

}  // namespace

std::string ResultRecord::Id() const {
    return CalendarTimeText(Time) + " " + Mode;
}

std::string ResultsHeader() {
    std::string header;
    for (const char* name : FieldNames) {
        header += (header.empty() ? "" : ",") + Quoted(name);
    }
    return header;
}

std::string ResultRecordLine(const LocalTime& time, TestMode mode, std::int32_t cycle,
                             std::int32_t of, const std::string& cellType, std::int32_t rated,
                             std::int32_t numberOfCells, double current, double milliampHours,
                             double milliwattHours, double ohms) {
    // Mean voltage per cell; a test that moved no charge has none.
    double voltsPerCell = 0.0;
    if (milliampHours != 0.0 && numberOfCells != 0) {
        voltsPerCell = milliwattHours / (milliampHours * numberOfCells);
    }
    std::string line;
    line += Quoted(CalendarTimeText(time)) + ',';
    line += Quoted(ModeCode(mode)) + ',';
    line += Format("%d,%d,", cycle, of);
    line += Quoted(cellType) + ',';
    line += Format("%d,%d,", rated, numberOfCells);
    line += Format("%1.1f,", current * 1000.0);
    line += Format("%1.1f,%1.1f,%1.4f,%1.4f", milliampHours, milliwattHours, ohms, voltsPerCell);
    return line;
}

void AppendResult(const std::string& path, const std::string& line) {
    AppendWhole(path, line + '\n', ResultsHeader() + '\n', 0666);
}

int ResultsFile::RecordCount() const {
    return static_cast<int>(
        std::count_if(Lines.begin(), Lines.end(), [](const ResultLine& l) { return l.Readable; }));
}

int ResultsFile::UnreadableCount() const {
    return static_cast<int>(Lines.size()) - RecordCount();
}

ResultLine ParseResultLine(std::string_view text, int lineNumber, ResultsFormat format) {
    ResultLine line;
    line.LineNumber = lineNumber;
    line.Text = std::string(text);
    std::optional<std::vector<std::string>> split = SplitCsvLine(text, Separator(format));
    if (!split) {
        line.Problem = "a quotation mark is not closed, or text follows one";
        return line;
    }
    std::vector<std::string>& fields = *split;
    // A spreadsheet may add empty columns when it saves the file.
    while (fields.size() > FieldCount && Trimmed(fields.back()).empty()) {
        fields.pop_back();
    }
    if (fields.size() != FieldCount) {
        line.Problem = Format("%d fields instead of 12", static_cast<int>(fields.size()));
        return line;
    }
    int slack = 0;
    if (format == ResultsFormat::DecimalComma) {
        slack = Trimmed(fields[0]).size() == 16 ? 59 : 0;
        fields[0] = IsoDate(fields[0]);
        for (std::size_t i = 2; i < FieldCount; ++i) {
            if (i != 4) {
                WithDecimalPoint(fields[i]);
            }
        }
    }
    ResultRecord& record = line.Record;
    FieldReader reader(fields);
    if (const std::optional<LocalTime> time = ParseCalendarTime(Trimmed(fields[0]))) {
        record.Time = *time;
        record.Seconds = CalendarSeconds(*time);
        record.TimeSlackSeconds = slack;
    } else {
        reader.Fail(0, "is not a date and time (YYYY-MM-DD HH:MM:SS)");
    }
    record.Mode = std::string(Trimmed(fields[1]));
    const std::optional<TestMode> mode = ParseModeCode(record.Mode);
    if (!mode || *mode == TestMode::Monitor) {
        reader.Fail(1, "is neither DIS nor CHG");
    }
    reader.Integer(2, record.Cycle, 0);
    reader.Integer(3, record.Of, 0);
    record.Type = std::string(Trimmed(fields[4]));
    if (record.Type.empty()) {
        reader.Fail(4, "is empty");
    }
    reader.Integer(5, record.Rated, 0);
    reader.Integer(6, record.Cells, 1);
    reader.Decimal(7, record.MilliAmps);
    reader.Decimal(8, record.MilliampHours);
    reader.Decimal(9, record.MilliwattHours);
    reader.Decimal(10, record.Ohms);
    reader.Decimal(11, record.VoltsPerCell);
    line.Problem = reader.Problem();
    line.Readable = line.Problem.empty();
    if (!line.Readable) {
        line.Record = ResultRecord{};
    }
    return line;
}

bool ResultsFile::InOtherFormat() const {
    return !Lines.empty() && ReadableInOtherFormat == static_cast<int>(Lines.size());
}

namespace {

// Adds one line of the file (its first bytes, when cut) to what was read.
void AddLine(ResultsFile& log, std::string_view line, int lineNumber, std::int64_t length,
             bool cut) {
    if (cut) {
        ResultLine entry;
        entry.LineNumber = lineNumber;
        entry.Text = std::string(line);
        entry.Problem = Format(
            "the line is %lld bytes long, far longer than a record; its first "
            "%d are shown",
            static_cast<long long>(length), static_cast<int>(line.size()));
        log.Lines.push_back(std::move(entry));
        return;
    }
    if (Trimmed(line).empty()) {
        ++log.BlankLines;
        return;
    }
    if (IsHeaderLine(line)) {
        ++log.HeaderLines;
        return;
    }
    log.Lines.push_back(ParseResultLine(line, lineNumber, log.Format));
    if (!log.Lines.back().Readable &&
        ParseResultLine(line, lineNumber, Other(log.Format)).Readable) {
        ++log.ReadableInOtherFormat;
    }
}

// A byte order mark from an editor that saved the file as UTF-8.
std::string_view WithoutByteOrderMark(std::string_view text) {
    return text.substr(0, 3) == "\xEF\xBB\xBF" ? text.substr(3) : text;
}

}  // namespace

ResultsFile ParseResultsText(std::string_view text, ResultsFormat format) {
    ResultsFile log;
    log.Exists = true;
    log.Format = format;
    text = WithoutByteOrderMark(text);
    int lineNumber = 0;
    for (const std::string_view line : SplitLines(text)) {
        ++lineNumber;
        const bool cut = line.size() > LongestResultLine;
        AddLine(log, cut ? line.substr(0, LongestResultLine) : line, lineNumber,
                static_cast<std::int64_t>(line.size()), cut);
    }
    return log;
}

ResultsFile ReadResultsFile(const std::string& path, ResultsFormat format) {
    ResultsFile log;
    log.Format = format;
    LineReader reader(path, LongestResultLine);
    log.Exists = reader.Exists();
    if (reader.Modified() != 0) {
        log.Written = LocalCalendarSeconds(reader.Modified());
    }
    std::string_view line;
    while (reader.Next(line)) {
        if (reader.LineNumber() == 1) {
            line = WithoutByteOrderMark(line);
        }
        AddLine(log, line, reader.LineNumber(), reader.Length(), reader.Cut());
    }
    log.Error = reader.Error();
    if (!log.Error.empty()) {
        log.Lines.clear();
    }
    return log;
}

}  // namespace voltrex
