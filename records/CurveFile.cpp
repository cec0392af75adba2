#include "records/CurveFile.h"

#include <array>

#include "platform/CFormat.h"
#include "platform/TextFile.h"
#include "records/CalendarTime.h"
#include "records/CsvLine.h"
#include "records/NumberText.h"

namespace voltrex {

namespace {

// A header line's key and value: "# Key: value".
bool SplitHeader(std::string_view line, std::string_view& key, std::string_view& value) {
    line.remove_prefix(1);  // '#'
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return false;
    }
    key = Trimmed(line.substr(0, colon));
    value = Trimmed(line.substr(colon + 1));
    return !key.empty() && key.find(' ') == std::string_view::npos;
}

int IntegerOr(const std::map<std::string, std::string>& header, const char* key, int fallback) {
    const auto found = header.find(key);
    if (found == header.end()) {
        return fallback;
    }
    return ParseInteger(found->second).value_or(fallback);
}

// Where each column is; the file names them in its column line, the format's
// order stands when that line is missing.
enum Column { Seconds, Volts, Amperes, Rate, MilliampHours, MilliwattHours, ColumnCount };
constexpr std::array<const char*, ColumnCount> ColumnNames = {"seconds", "volts", "amperes",
                                                              "rate",    "mAh",   "mWh"};

std::optional<CurveRow> ParseRow(std::string_view line, const std::array<int, ColumnCount>& at) {
    const std::optional<std::vector<std::string>> fields = SplitCsvLine(line);
    if (!fields) {
        return std::nullopt;
    }
    auto field = [&](Column column) -> std::optional<std::string_view> {
        const int index = at[column];
        if (index < 0) {
            return std::string_view("0");  // a column the file does not have
        }
        if (index >= static_cast<int>(fields->size())) {
            return std::nullopt;
        }
        return std::string_view((*fields)[static_cast<std::size_t>(index)]);
    };
    const auto seconds = field(Seconds);
    const auto volts = field(Volts);
    const auto amperes = field(Amperes);
    const auto rate = field(Rate);
    const auto charge = field(MilliampHours);
    const auto energy = field(MilliwattHours);
    if (!seconds || !volts || !amperes || !rate || !charge || !energy) {
        return std::nullopt;
    }
    const auto s = ParseInteger(*seconds);
    const auto v = ParseDecimal(*volts);
    const auto a = ParseDecimal(*amperes);
    const auto r = ParseInteger(*rate);
    const auto q = ParseDecimal(*charge);
    const auto e = ParseDecimal(*energy);
    if (!s || !v || !a || !r || !q || !e || *s < 0) {
        return std::nullopt;
    }
    return CurveRow{*s, *v, *a, *r, *q, *e};
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The part of a long file's tail after its first (cut) line.
std::string_view WholeLines(std::string_view tail) {
    const std::size_t newline = tail.find('\n');
    return newline == std::string_view::npos ? std::string_view() : tail.substr(newline + 1);
}

void Finish(CurveFile& curve) {
    const auto mode = curve.Header.find("Mode");
    const auto start = curve.Header.find("Start");
    if (start == curve.Header.end()) {
        curve.Problem = "no \"# Start:\" line";
        return;
    }
    curve.Start = ParseCalendarTime(start->second);
    if (!curve.Start) {
        curve.Problem = Format("the start \"%s\" is not a date and time", start->second.c_str());
        return;
    }
    curve.StartSeconds = CalendarSeconds(*curve.Start);
    if (mode == curve.Header.end() || !ParseModeCode(mode->second)) {
        curve.Problem = "no mode DIS, CHG or MON";
        return;
    }
    curve.Mode = mode->second;
    curve.Cycle = IntegerOr(curve.Header, "Cycle", 0);
    curve.Of = IntegerOr(curve.Header, "Of", 0);
    curve.Rated = IntegerOr(curve.Header, "Rated", 0);
    curve.Cells = IntegerOr(curve.Header, "Cells", 0);
    if (const auto type = curve.Header.find("Type"); type != curve.Header.end()) {
        curve.Type = type->second;
    }
    if (const auto ohms = curve.Header.find("Ohms"); ohms != curve.Header.end()) {
        curve.Ohms = ParseDecimal(ohms->second);
    }
}

}  // namespace

std::string CurveHeader(TestMode mode, const LocalTime& start, std::int32_t cycle, std::int32_t of,
                        const std::string& cellType, std::int32_t rated, std::int32_t numberOfCells,
                        std::int32_t rate, double current, double ohms) {
    // The first line names the format, so that a reader can tell a curve
    // from any other CSV file; the version counts changes of the format.
    std::string header = "Voltrex II curve\nVersion: 1\n";
    header += Format("Program: %s\n", ProgramTitle);
    header += Format("Mode: %s\n", ModeCode(mode));
    header += Format("Start: %s\n", CalendarTimeText(start).c_str());
    header += Format("Cycle: %d\nOf: %d\n", cycle, of);
    if (mode != TestMode::Monitor) {
        header +=
            Format("Type: %s\nRated: %d\nCells: %d\n", cellType.c_str(), rated, numberOfCells);
        header += Format("Rate: %d\nCurrent: %.3f\nOhms: %.4f\n", rate, current, ohms);
    }
    return header;
}

std::string CurveColumnLine() {
    std::string line;
    for (const char* name : ColumnNames) {
        line += (line.empty() ? "" : ",") + std::string(name);
    }
    return line + '\n';
}

std::string CurveFileStem(const LocalTime& start, TestMode mode, int attempt) {
    const std::string stem = FileStamp(start) + "-" + ModeCode(mode);
    return attempt <= 1 ? stem : Format("%s-%d", stem.c_str(), attempt);
}

CurveFile ParseCurveText(std::string_view text, bool keepRows) {
    CurveFile curve;
    curve.Whole = keepRows;
    std::array<int, ColumnCount> at = {0, 1, 2, 3, 4, 5};
    int lineNumber = 0;
    for (const std::string_view line : SplitLines(text)) {
        ++lineNumber;
        if (Trimmed(line).empty()) {
            continue;
        }
        if (line.front() == '#') {
            std::string_view key;
            std::string_view value;
            if (SplitHeader(line, key, value)) {
                if (key == "End") {
                    curve.EndReason = std::string(value);
                } else {
                    curve.Header.emplace(std::string(key), std::string(value));
                }
            }
            continue;
        }
        // The column line, before the rows: names, where a row starts with
        // a number.
        if (!curve.LastRow && curve.UnreadableRows == 0 &&
            ((line.front() >= 'a' && line.front() <= 'z') ||
             (line.front() >= 'A' && line.front() <= 'Z'))) {
            const std::optional<std::vector<std::string>> names = SplitCsvLine(line);
            if (names) {
                at.fill(-1);
                for (std::size_t i = 0; i < names->size(); ++i) {
                    for (std::size_t c = 0; c < ColumnCount; ++c) {
                        if (Trimmed((*names)[i]) == ColumnNames[c]) {
                            at[c] = static_cast<int>(i);
                        }
                    }
                }
                if (at[Seconds] < 0 || at[Volts] < 0) {
                    Finish(curve);
                    if (curve.Problem.empty()) {
                        curve.Problem = "the column line names no seconds or volts";
                    }
                    return curve;
                }
            }
            continue;
        }
        const std::optional<CurveRow> row = ParseRow(line, at);
        if (!row) {
            if (keepRows && curve.UnreadableRows++ == 0) {
                curve.FirstUnreadableLine = lineNumber;
            }
            continue;
        }
        if (keepRows) {
            curve.Rows.push_back(*row);
        }
        curve.LastRow = row;
    }
    Finish(curve);
    return curve;
}

CurveFile ReadCurveFile(const std::string& path) {
    const TextFile file = ReadTextFile(path);
    CurveFile curve;
    if (!file.Exists || !file.Error.empty()) {
        curve.Problem = file.Exists ? file.Error : "the file is gone";
    } else {
        curve = ParseCurveText(file.Text, true);
    }
    curve.Path = path;
    curve.Name = FileName(path);
    return curve;
}

CurveFile ReadCurveSummary(const std::string& path) {
    // The header is a few hundred bytes and a row about 40: the ends of a
    // ten-hour charge's file are read instead of its 1.5 MB.
    constexpr std::size_t HeadBytes = 4096;
    constexpr std::size_t TailBytes = 4096;
    const FileEnds ends = ReadFileEnds(path, HeadBytes, TailBytes);
    CurveFile curve;
    if (!ends.Head.Exists || !ends.Head.Error.empty()) {
        curve.Problem = ends.Head.Exists ? ends.Head.Error : "the file is gone";
    } else if (!ends.Split) {
        curve = ParseCurveText(ends.Head.Text, false);
    } else {
        // The head up to its last whole line, then the tail's whole lines.
        std::string_view head = ends.Head.Text;
        head = head.substr(0, head.rfind('\n') + 1);
        curve = ParseCurveText(std::string(head) + std::string(WholeLines(ends.Tail)), false);
    }
    curve.Path = path;
    curve.Name = FileName(path);
    return curve;
}

bool IsCurveFileName(std::string_view name) {
    const std::string_view extension = CurveFileExtension;
    return name.size() > extension.size() &&
           name.substr(name.size() - extension.size()) == extension && name.front() != '.';
}

}  // namespace voltrex
