#include "records/CurveFile.h"

#include <algorithm>
#include <array>

#include "platform/CFormat.h"
#include "platform/TextFile.h"
#include "records/CalendarTime.h"
#include "records/CsvLine.h"
#include "records/LineReader.h"
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
    if (const auto moment = curve.Header.find("StartUTC"); moment != curve.Header.end()) {
        curve.StartMoment = ParseUtcTime(moment->second);
    }
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

std::string CurveHeader(TestMode mode, const LocalTime& start, std::int64_t startMoment,
                        std::int32_t cycle, std::int32_t of, const std::string& cellType,
                        std::int32_t rated, std::int32_t numberOfCells, std::int32_t rate,
                        double current, double ohms) {
    std::string header =
        CurveHeader(mode, start, cycle, of, cellType, rated, numberOfCells, rate, current, ohms);
    const std::string local = Format("Start: %s\n", CalendarTimeText(start).c_str());
    const std::size_t at = header.find(local);
    return header.insert(at + local.size(), "StartUTC: " + UtcTimeText(startMoment) + "\n");
}

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

namespace {

// The rows a glitch finder sees of each row around it.
constexpr std::size_t GlitchContext = 8;
// The rows handed to a glitch finder at once.
constexpr std::size_t GlitchBatch = 4096;

// Reads a curve file line by line: the header, the column line, the rows
// (kept, or only summed up) and the end line.
class CurveReader {
  public:
    CurveReader(bool keepRows, const GlitchFinder& glitches) : glitches_(glitches) {
        curve_.Whole = keepRows;
    }

    // false once the file has shown it is no curve file.
    bool Add(std::string_view line, int lineNumber) {
        if (Trimmed(line).empty()) {
            return true;
        }
        if (line.front() == '#') {
            std::string_view key;
            std::string_view value;
            if (SplitHeader(line, key, value)) {
                if (key == "End") {
                    curve_.EndReason = std::string(value);
                } else {
                    curve_.Header.emplace(std::string(key), std::string(value));
                }
            }
            return true;
        }
        // The column line, before the rows: names, where a row starts with
        // a number.
        if (!curve_.LastRow && curve_.UnreadableRows == 0 &&
            ((line.front() >= 'a' && line.front() <= 'z') ||
             (line.front() >= 'A' && line.front() <= 'Z'))) {
            return ReadColumnLine(line);
        }
        const std::optional<CurveRow> row = ParseRow(line, at_);
        if (!row) {
            if (curve_.UnreadableRows++ == 0) {
                curve_.FirstUnreadableLine = lineNumber;
            }
            return true;
        }
        ++curve_.ReadableRows;
        if (curve_.Whole) {
            curve_.Rows.push_back(*row);
        } else {
            AddToEnvelope(*row);
            pending_.push_back(*row);
            if (pending_.size() >= GlitchBatch + 2 * GlitchContext) {
                Judge(false);
            }
        }
        curve_.LastRow = row;
        return true;
    }

    CurveFile Finish() {
        if (!curve_.Whole) {
            Judge(true);
        }
        voltrex::Finish(curve_);
        return std::move(curve_);
    }

  private:
    bool ReadColumnLine(std::string_view line) {
        const std::optional<std::vector<std::string>> names = SplitCsvLine(line);
        if (!names) {
            return true;
        }
        at_.fill(-1);
        for (std::size_t i = 0; i < names->size(); ++i) {
            for (std::size_t c = 0; c < ColumnCount; ++c) {
                if (Trimmed((*names)[i]) == ColumnNames[c]) {
                    at_[c] = static_cast<int>(i);
                }
            }
        }
        if (at_[Seconds] < 0 || at_[Volts] < 0) {
            voltrex::Finish(curve_);
            if (curve_.Problem.empty()) {
                curve_.Problem = "the column line names no seconds or volts";
            }
            return false;
        }
        return true;
    }

    // Adds the rows waiting to the voltage range, each judged with its
    // neighbours on both sides (at the end of the file: all that are left).
    void Judge(bool last) {
        std::vector<bool> glitch;
        if (glitches_) {
            glitch = glitches_(pending_);
        }
        glitch.resize(pending_.size(), false);
        const std::size_t until = last ? pending_.size() : pending_.size() - GlitchContext;
        for (std::size_t i = judged_; i < until; ++i) {
            if (glitch[i]) {
                ++curve_.GlitchRowCount;
                continue;
            }
            const double volts = pending_[i].Volts;
            curve_.LowestVolts = std::min(curve_.LowestVolts.value_or(volts), volts);
            curve_.HighestVolts = std::max(curve_.HighestVolts.value_or(volts), volts);
        }
        // The last rows stay, those already judged as the next ones' context.
        const std::size_t keep = std::min(pending_.size(), 2 * GlitchContext);
        pending_.erase(pending_.begin(), pending_.end() - static_cast<std::ptrdiff_t>(keep));
        judged_ = keep - std::min(keep, GlitchContext);
    }

    // A stretch of seconds per envelope point, doubled whenever the points
    // would be too many.
    void AddToEnvelope(const CurveRow& row) {
        std::vector<CurveEnvelopePoint>& envelope = curve_.Envelope;
        const int stretch = row.Seconds / stretchSeconds_;
        const auto volts = static_cast<float>(row.Volts);
        const auto amperes = static_cast<float>(row.Amperes);
        if (!envelope.empty() && stretch == lastStretch_) {
            Merge(envelope.back(),
                  {row.Seconds, row.Seconds, volts, volts, amperes, amperes, row.MilliampHours});
            return;
        }
        envelope.push_back(
            {row.Seconds, row.Seconds, volts, volts, amperes, amperes, row.MilliampHours});
        lastStretch_ = stretch;
        if (envelope.size() <= MostEnvelopePoints) {
            return;
        }
        stretchSeconds_ *= 2;
        std::vector<CurveEnvelopePoint> coarser;
        coarser.reserve(envelope.size() / 2 + 1);
        for (const CurveEnvelopePoint& point : envelope) {
            if (!coarser.empty() && coarser.back().FromSeconds / stretchSeconds_ ==
                                        point.FromSeconds / stretchSeconds_) {
                Merge(coarser.back(), point);
            } else {
                coarser.push_back(point);
            }
        }
        envelope = std::move(coarser);
        lastStretch_ = envelope.back().FromSeconds / stretchSeconds_;
    }

    static void Merge(CurveEnvelopePoint& into, const CurveEnvelopePoint& later) {
        into.FromSeconds = std::min(into.FromSeconds, later.FromSeconds);
        into.ToSeconds = std::max(into.ToSeconds, later.ToSeconds);
        into.MinVolts = std::min(into.MinVolts, later.MinVolts);
        into.MaxVolts = std::max(into.MaxVolts, later.MaxVolts);
        into.MinAmperes = std::min(into.MinAmperes, later.MinAmperes);
        into.MaxAmperes = std::max(into.MaxAmperes, later.MaxAmperes);
        into.MilliampHours = later.MilliampHours;
    }

    CurveFile curve_;
    GlitchFinder glitches_;
    std::array<int, ColumnCount> at_ = {0, 1, 2, 3, 4, 5};
    std::vector<CurveRow> pending_;
    std::size_t judged_ = 0;  // pending_'s first rows, already judged
    int stretchSeconds_ = 1;
    int lastStretch_ = 0;
};

// Reads the file line by line (its lines are short; a longer one is no row).
CurveFile ReadCurve(const std::string& path, bool keepRows, const GlitchFinder& glitches) {
    LineReader file(path);
    CurveFile curve;
    if (!file.Exists() || !file.Error().empty()) {
        curve.Problem = file.Exists() ? file.Error() : "the file is gone";
    } else {
        CurveReader reader(keepRows, glitches);
        std::string_view line;
        while (file.Next(line) && reader.Add(line, file.LineNumber())) {
        }
        curve = reader.Finish();
        if (!file.Error().empty() && curve.Problem.empty()) {
            curve.Problem = file.Error();
        }
    }
    curve.Path = path;
    curve.Name = FileName(path);
    return curve;
}

}  // namespace

CurveFile ParseCurveText(std::string_view text, bool keepRows, const GlitchFinder& glitches) {
    CurveReader reader(keepRows, glitches);
    int lineNumber = 0;
    for (const std::string_view line : SplitLines(text)) {
        if (!reader.Add(line, ++lineNumber)) {
            break;
        }
    }
    return reader.Finish();
}

CurveFile ReadCurveFile(const std::string& path) {
    return ReadCurve(path, true, nullptr);
}

CurveFile ReadCurveSummary(const std::string& path, const GlitchFinder& glitches) {
    return ReadCurve(path, false, glitches);
}

bool IsCurveFileName(std::string_view name) {
    const std::string_view extension = CurveFileExtension;
    return name.size() > extension.size() &&
           name.substr(name.size() - extension.size()) == extension && name.front() != '.';
}

}  // namespace voltrex
