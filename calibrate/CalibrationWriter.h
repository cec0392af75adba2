#pragma once

#include <optional>
#include <string>

#include "calibrate/CalibrationResult.h"
#include "platform/Clock.h"

namespace voltrex {

// The calibration history beside the configuration file: one dated line per
// saved calibration.
inline constexpr const char* CalibrationHistoryFileName = "Voltrex2-calibration.log";

// The configuration text with the calibrated values put into their lines.
// Lines are found as the program's reader finds them (the first significant
// line is the port address, the next twelve the weights, then the low-side
// and the high-side multiplier, then the sixteen rate pairs); in each
// calibrated line only the number itself is replaced, so a remark after it,
// every other line, every comment and every line end stay byte for byte.
// Returns the reason when a line to calibrate is missing, does not hold its
// number, or is longer than the reader's 254 characters (it would be read as
// two lines).
std::optional<std::string> ApplyCalibration(const std::string& text,
                                            const CalibrationResult& result, std::string& updated);

// Saves a calibration: the configuration file at path is read, the values
// are put in (ApplyCalibration), the previous file is kept beside it as a
// dated copy ("Voltrex2-20261209-154500.ini" for "Voltrex2.ini"; a copy of
// the same second gets "-2", "-3" ...), the file is replaced whole so that it
// is at every moment the old or the new text, and one line is appended to
// the calibration history in the same folder. Returns the reason when
// nothing could be saved (the file is then as it was); copyPath receives the
// dated copy's name. A history that cannot be written after a good save
// does not undo it: historyProblem then says why.
std::optional<std::string> SaveCalibration(const std::string& path, const CalibrationResult& result,
                                           Clock& clock, std::string& copyPath,
                                           std::string& historyProblem);

// The history's line of a calibration: "2026-12-09 15:45:00" and what was
// calibrated, with the fit's residual and offset, the multipliers, the rates
// and the meter.
std::string CalibrationHistoryLine(const CalibrationResult& result, const LocalTime& when);

}  // namespace voltrex
