#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/CurveFile.h"

namespace voltrex::results {

// A curve's envelope as the summary cache keeps it: 16 bytes a point, half
// of what the points take in memory, so that ten years of tests stay near a
// hundred megabytes. Little-endian: "VXE1", the point count (4 bytes), then
// for each point its first and last second (4 bytes each), its lowest and
// highest voltage in millivolts (2 bytes each: 0 to 65.535 V, beyond the
// highest a charger of this kind reads) and the charge at its end (a 4-byte
// float, mAh). The currents are not kept: nothing draws them.
std::string EncodeEnvelope(const std::vector<CurveEnvelopePoint>& envelope);

// The envelope of the bytes, or none when they are not one: another length
// than the count says, more points than an envelope has, stretches out of
// order or overlapping, a lowest voltage above the highest, a charge that is
// not a number. Never trusts the bytes: a damaged cache is read again from
// the curve files.
std::optional<std::vector<CurveEnvelopePoint>> DecodeEnvelope(std::string_view bytes);

// The millivolts a voltage is kept as: rounded, and held to 0..65535.
int EnvelopeMillivolts(double volts);

}  // namespace voltrex::results
