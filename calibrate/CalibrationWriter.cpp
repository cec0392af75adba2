#include "calibrate/CalibrationWriter.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/AppendWhole.h"
#include "platform/CFormat.h"
#include "platform/ReplaceWhole.h"
#include "platform/TextFile.h"

namespace voltrex {

namespace {

// The reader takes a line in pieces of at most 254 characters (its newline
// included), as fgets with a 255-byte buffer does.
constexpr std::size_t ReaderPiece = 254;

bool IsSkippedStart(char c) {
    return c == ';' || c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A significant line as the reader sees it: where it starts in the text, and
// whether it is the start of a line of the file (not the rest of a long one).
struct Significant {
    std::size_t Start = 0;
    std::size_t End = 0;  // before the newline
    bool WholeLine = true;
};

std::vector<Significant> SignificantLines(const std::string& text) {
    std::vector<Significant> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t newline = text.find('\n', start);
        const std::size_t end = newline == std::string::npos ? text.size() : newline;
        const std::size_t next = newline == std::string::npos ? text.size() : newline + 1;
        for (std::size_t piece = start; piece < next; piece += ReaderPiece) {
            if (!IsSkippedStart(text[piece])) {
                lines.push_back({piece, end, piece == start});
            }
        }
        start = next;
    }
    return lines;
}

std::string Number(double value) {
    return Format("%.6g", value);
}

// Replaces the first (column 0) or second (column 1) number of the line.
bool ReplaceNumber(std::string& line, int column, double value) {
    int firstEnd = 0;
    double first = 0.0;
    if (ScanC(line.c_str(), "%lf%n", &first, &firstEnd) != 1) {
        return false;
    }
    std::size_t start = 0;
    auto end = static_cast<std::size_t>(firstEnd);
    if (column == 1) {
        int secondEnd = 0;
        double second = 0.0;
        if (ScanC(line.c_str(), "%lf %lf%n", &first, &second, &secondEnd) != 2) {
            return false;
        }
        start = line.find_first_not_of(" \t\r\n\v\f", end);
        end = static_cast<std::size_t>(secondEnd);
    }
    line.replace(start, end - start, Number(value));
    return true;
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool CalibrationResult::Empty() const {
    bool empty = !BitWeights && !LowSideMultiplier && !HighSideMultiplier;
    for (std::size_t r = 0; r < ChargeCurrent.size(); ++r) {
        empty = empty && !ChargeCurrent[r] && !DischargeCurrent[r];
    }
    return empty;
}

std::optional<std::string> ApplyCalibration(const std::string& text,
                                            const CalibrationResult& result, std::string& updated) {
    // Significant line k (0 = port address): what goes into it.
    struct Edit {
        std::size_t Line;
        int Column;
        double Value;
        const char* What;
    };
    std::vector<Edit> edits;
    if (result.BitWeights) {
        for (std::size_t bit = 0; bit < 12; ++bit) {
            edits.push_back({1 + bit, 0, (*result.BitWeights)[bit], "bit weight"});
        }
    }
    if (result.LowSideMultiplier) {
        edits.push_back({13, 0, *result.LowSideMultiplier, "low-side multiplier"});
    }
    if (result.HighSideMultiplier) {
        edits.push_back({14, 0, *result.HighSideMultiplier, "high-side multiplier"});
    }
    for (std::size_t rate = 0; rate < 16; ++rate) {
        if (const std::optional<double>& charge = result.ChargeCurrent[rate]) {
            edits.push_back({15 + rate, 0, *charge, "rate pair"});
        }
        if (const std::optional<double>& discharge = result.DischargeCurrent[rate]) {
            edits.push_back({15 + rate, 1, *discharge, "rate pair"});
        }
    }
    const std::vector<Significant> lines = SignificantLines(text);
    // Each line's new text, built from the old one edit by edit.
    std::vector<std::optional<std::string>> changed(lines.size());
    for (const Edit& edit : edits) {
        if (edit.Line >= lines.size()) {
            return Format("Voltrex2.ini has no line for the %s (it ends after %zu values).",
                          edit.What, lines.size());
        }
        const Significant& line = lines[edit.Line];
        if (!line.WholeLine || line.End - line.Start >= ReaderPiece) {
            return Format(
                "The %s's line in Voltrex2.ini is longer than 254 characters; "
                "shorten its remark first.",
                edit.What);
        }
        std::optional<std::string>& slot = changed[edit.Line];
        std::string& lineText =
            slot ? *slot : slot.emplace(text.substr(line.Start, line.End - line.Start));
        if (!ReplaceNumber(lineText, edit.Column, edit.Value)) {
            return Format("The %s's line in Voltrex2.ini does not hold its number: \"%s\".",
                          edit.What, lineText.c_str());
        }
    }
    updated.clear();
    std::size_t at = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (const std::optional<std::string>& lineText = changed[i]) {
            updated.append(text, at, lines[i].Start - at);
            updated += *lineText;
            at = lines[i].End;
        }
    }
    updated.append(text, at, std::string::npos);
    return std::nullopt;
}

std::string CalibrationHistoryLine(const CalibrationResult& result, const LocalTime& when) {
    std::string line = Format("%04d-%02d-%02d %02d:%02d:%02d", when.Year, when.Month, when.Day,
                              when.Hour, when.Minute, when.Second);
    if (result.BitWeights) {
        line += Format("; weights: residual %.3f mV, converter offset %.3f mV",
                       result.WeightResidualRms * 1000.0, result.ConverterOffset * 1000.0);
    }
    if (result.LowSideMultiplier) {
        line += Format("; low-side multiplier %s", Number(*result.LowSideMultiplier).c_str());
    }
    if (result.HighSideMultiplier) {
        line += Format("; high-side multiplier %s", Number(*result.HighSideMultiplier).c_str());
    }
    for (const bool charge : {false, true}) {
        const auto& column = charge ? result.ChargeCurrent : result.DischargeCurrent;
        std::string rates;
        for (std::size_t rate = 1; rate < column.size(); ++rate) {
            if (column[rate]) {
                rates += Format("%s%zu", rates.empty() ? "" : ",", rate);
            }
        }
        if (!rates.empty()) {
            line +=
                Format("; %s currents of rates %s", charge ? "charge" : "discharge", rates.c_str());
        }
    }
    line += Format("; meter: %s", MeterTypeName(result.Meter));
    if (!result.MeterName.empty()) {
        std::string name = result.MeterName;
        for (char& c : name) {
            if (c == '\n' || c == '\r') {
                c = ' ';
            }
        }
        line += " (" + name + ")";
    }
    return line + "\n";
}

std::optional<std::string> SaveCalibration(const std::string& path, const CalibrationResult& result,
                                           Clock& clock, std::string& copyPath,
                                           std::string& historyProblem) {
    const TextFile file = ReadTextFile(path);
    if (!file.Exists || !file.Error.empty()) {
        const std::string why = file.Exists ? file.Error : std::strerror(ENOENT);
        return Format("Voltrex2.ini cannot be read: %s.", why.c_str());
    }
    const std::string& text = file.Text;
    std::string updated;
    if (auto failure = ApplyCalibration(text, result, updated)) {
        return failure;
    }
    const LocalTime now = clock.ToLocalTime(clock.Now());
    std::string base = path;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".ini") == 0) {
        base.erase(base.size() - 4);
    }
    const std::string stamp = Format("-%04d%02d%02d-%02d%02d%02d", now.Year, now.Month, now.Day,
                                     now.Hour, now.Minute, now.Second);
    copyPath = base + stamp + ".ini";
    struct stat existing = {};
    for (int n = 2; ::lstat(copyPath.c_str(), &existing) == 0; ++n) {
        copyPath = base + stamp + Format("-%d", n) + ".ini";
    }
    if (!ReplaceWhole(copyPath, text)) {
        return Format(
            "The copy %s of the previous Voltrex2.ini cannot be written (%s); nothing "
            "was saved.",
            copyPath.c_str(), std::strerror(errno));
    }
    if (!ReplaceWhole(path, updated)) {
        return Format("Voltrex2.ini cannot be written (%s); it is as it was.",
                      std::strerror(errno));
    }
    const std::string history = Folder(path) + CalibrationHistoryFileName;
    if (!AppendWhole(history, CalibrationHistoryLine(result, now),
                     "; Voltrex II calibration history: one line per saved calibration\n", 0666)) {
        historyProblem =
            Format("%s cannot be written (%s).", history.c_str(), std::strerror(errno));
    }
    return std::nullopt;
}

}  // namespace voltrex
