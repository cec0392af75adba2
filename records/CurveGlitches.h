#pragma once

#include <vector>

#include "records/CurveFile.h"

// Rows of a curve that are no reading of the pack: what a loose clip, a
// relay's bounce or a converter that misread for a second leaves in a curve.
// The rows stay in the file and in the readout; the charts leave them out of
// their scales and say how many, so that one bad second does not squeeze a
// pack's whole curve into a line.
namespace voltrex {

// Below this a reading is "0 V": the converter read nothing at all (the
// board's resolution is a few millivolts).
constexpr double GlitchZeroVolts = 0.01;
// A row leaves its neighbours "by far" when it is further from each than
// this, or than GlitchShare of their level when that is more: a second's
// change of a pack under load is millivolts, switching the current on moves
// it a fraction of a volt, and neither comes back at once.
constexpr double GlitchLeapVolts = 1.0;
constexpr double GlitchShare = 0.25;
// At most this many rows in a row count as one glitch; a longer excursion is
// what the pack did.
constexpr int GlitchLongestRun = 3;

// One flag per row, true for a glitch: a 0 V reading with readings on both
// sides of it (a pack that was unplugged at the end is not a glitch), or a run
// of up to GlitchLongestRun rows that leaves the rows on both sides of it by
// far while those two agree (it came back).
std::vector<bool> GlitchRows(const std::vector<CurveRow>& rows);

// How many of the flags are set.
int GlitchCount(const std::vector<bool>& glitches);

}  // namespace voltrex
