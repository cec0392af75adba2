#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "records/CurveFile.h"
#include "records/ResultsFile.h"

namespace voltrex::results {

// How far apart a record's time and its curve's end may be. The record is
// written when the test has ended, after the current is off, while the curve
// file is named by the test's start: its start plus the seconds of its last
// row is the end, the record follows within a second or two.
inline constexpr int MatchToleranceSeconds = 5;

// The curve of each line of the log (none for an unreadable line or a record
// whose curve file is missing): the curve of the same mode, cell type, cells
// and rated capacity (where the curve file names them) whose end is nearest
// to the record's time, at most MatchToleranceSeconds away. A curve is given
// to one record at most. The result holds an index into curves per line.
//
// Both files give local clock time, which jumps by an hour when summer time
// begins or ends: a test across the change ends an hour off its start plus
// its duration. So times are compared as moments: the curve's start from its
// "StartUTC" line (or, in a file without it, its local start in the
// machine's time zone), the record's local time in the zone, both of the
// moments an hour repeated in autumn names.
std::vector<std::optional<std::size_t>> MatchCurves(const ResultsFile& log,
                                                    const std::vector<CurveFile>& curves);

}  // namespace voltrex::results
