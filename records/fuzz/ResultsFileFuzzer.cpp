// Fuzz target of the results file reader: any bytes as Voltrex2.csv.
//
// Besides what the sanitizers catch, it checks what the reader promises:
// every line but the header and blank ones comes back, in order, with its
// text; a line is readable exactly when it has no problem; and a record that
// was read writes back (through the charger program's own writer) to a line
// that reads as the same record.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fuzz/FuzzInputFile.h"
#include "records/CsvLine.h"
#include "records/ResultsFile.h"
#include "records/TestMode.h"

namespace {

// A broken promise is a finding: it names its line and ends the run.
void Check(bool promise, int line = __builtin_LINE()) {
    if (!promise) {
        std::fprintf(stderr, "broken promise at line %d\n", line);
        std::abort();
    }
}

// The values a record line carries, as written (one decimal, four for ohms).
bool SameAsWritten(double read, double written, double step) {
    return std::fabs(read - written) <= step * 0.51 + std::fabs(written) * 1e-12;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const voltrex::ResultsFile file =
        voltrex::ReadResultsFile(voltrex::fuzzing::FuzzInputFile(data, size));
    Check(file.Exists && file.Error.empty());

    std::string_view text(reinterpret_cast<const char*>(data), size);
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    const std::size_t lines = voltrex::SplitLines(text).size();
    Check(file.Lines.size() + static_cast<std::size_t>(file.HeaderLines + file.BlankLines) ==
          lines);
    int previous = 0;
    for (const voltrex::ResultLine& line : file.Lines) {
        Check(line.LineNumber > previous);
        previous = line.LineNumber;
        Check(line.Readable == line.Problem.empty());
        if (!line.Readable) {
            continue;
        }
        const voltrex::ResultRecord& r = line.Record;
        const auto mode = voltrex::ParseModeCode(r.Mode);
        Check(mode.has_value());
        const voltrex::TestMode testMode = mode.value_or(voltrex::TestMode::Monitor);
        Check(testMode != voltrex::TestMode::Monitor);
        Check(r.Cells >= 1 && r.Rated >= 0 && r.Cycle >= 0 && r.Of >= 0);
        if (!std::isfinite(r.MilliAmps) || !std::isfinite(r.MilliampHours) ||
            !std::isfinite(r.MilliwattHours) || !std::isfinite(r.Ohms)) {
            std::abort();  // the reader takes plain decimals only
        }
        if (std::fabs(r.MilliAmps) > 1e12 || std::fabs(r.MilliampHours) > 1e12 ||
            std::fabs(r.MilliwattHours) > 1e12 || std::fabs(r.Ohms) > 1e12 ||
            std::any_of(r.Type.begin(), r.Type.end(),
                        [](char c) { return c == '"' || static_cast<unsigned char>(c) < 0x20; })) {
            continue;  // beyond what the writer's fields keep exactly, or the dialog's types
        }
        const std::string again = voltrex::ResultRecordLine(
            r.Time, testMode, r.Cycle, r.Of, r.Type, r.Rated, r.Cells, r.MilliAmps / 1000.0,
            r.MilliampHours, r.MilliwattHours, r.Ohms);
        const voltrex::ResultLine back = voltrex::ParseResultLine(again, 1);
        Check(back.Readable);
        Check(back.Record.Id() == r.Id() && back.Record.Seconds == r.Seconds);
        Check(back.Record.Type == r.Type && back.Record.Rated == r.Rated &&
              back.Record.Cells == r.Cells && back.Record.Cycle == r.Cycle &&
              back.Record.Of == r.Of);
        Check(SameAsWritten(back.Record.MilliampHours, r.MilliampHours, 0.1));
        Check(SameAsWritten(back.Record.Ohms, r.Ohms, 0.0001));
    }
    return 0;
}
