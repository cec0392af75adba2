// Fuzz target of the curve file reader: any bytes as a curve file, read
// whole (the chart) and as a summary (the list of curves).
//
// Besides what the sanitizers catch, it checks what the reader promises: a
// usable curve has a start and a mode; rows come in the file's order with
// their last one kept apart; no more rows and unreadable rows than lines;
// and a summary of a file short enough to be read whole (8 KB) says what the whole
// reading says of its header, its end and its last row.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/fuzz/FuzzInputFile.h"
#include "records/CsvLine.h"
#include "records/CurveFile.h"

namespace {

// A broken promise is a finding: it names its line and ends the run.
void Check(bool promise, int line = __builtin_LINE()) {
    if (!promise) {
        std::fprintf(stderr, "broken promise at line %d\n", line);
        std::abort();
    }
}

bool SameRow(const voltrex::CurveRow& a, const voltrex::CurveRow& b) {
    return a.Seconds == b.Seconds && a.Volts == b.Volts && a.Amperes == b.Amperes &&
           a.Rate == b.Rate && a.MilliampHours == b.MilliampHours &&
           a.MilliwattHours == b.MilliwattHours;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = voltrex::fuzzing::FuzzInputFile(data, size);
    const voltrex::CurveFile whole = voltrex::ReadCurveFile(path);
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t lines = voltrex::SplitLines(text).size();

    Check(whole.Whole);
    if (whole.Usable()) {
        Check(whole.Start.has_value() && !whole.Mode.empty());
        Check(whole.Rows.size() + static_cast<std::size_t>(whole.UnreadableRows) <= lines);
        Check(whole.Rows.empty() == !whole.LastRow.has_value());
        if (!whole.Rows.empty()) {
            const voltrex::CurveRow last = whole.LastRow.value_or(voltrex::CurveRow{});
            Check(SameRow(whole.Rows.back(), last));
            Check(whole.Duration() == last.Seconds && whole.Duration() >= 0);
        }
        Check((whole.UnreadableRows == 0) == (whole.FirstUnreadableLine == 0));
    }

    const voltrex::CurveFile summary = voltrex::ReadCurveSummary(path);
    Check(summary.Usable() == whole.Usable() || size > 8192);
    if (size <= 8192 && whole.Usable()) {
        Check(summary.Header == whole.Header && summary.EndReason == whole.EndReason);
        Check(summary.StartSeconds == whole.StartSeconds);
        Check(summary.LastRow.has_value() == whole.LastRow.has_value());
        if (summary.LastRow && whole.LastRow) {
            Check(SameRow(*summary.LastRow, *whole.LastRow));
        }
    }
    return 0;
}
