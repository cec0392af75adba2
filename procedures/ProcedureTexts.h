#pragma once

#include <cstdint>
#include <string>

#include "platform/Clock.h"
#include "records/CalendarTime.h"
#include "records/FileNames.h"

// The texts the tests show on the graph, built in one place so that every
// procedure writes them the same way and the tests can check them character
// by character; what they write to files is made in records/. Internal to
// the procedures library.
namespace voltrex::texts {

// Ampere-seconds and watt-seconds to mAh and mWh.
inline constexpr double PerHour = 1.0 / 3.6;

// cycle 0 leaves out the " n of m" part.
std::string DischargeTitle(std::int32_t cycle, std::int32_t maximumCycles,
                           std::int32_t numberOfCells, const std::string& cellType, double current,
                           double endVoltage, double ohms);
std::string DischargeStatus(std::int64_t elapsed, double volts, double ampSeconds,
                            double wattSeconds);

// The delta-V part appears only for a threshold below 1.0, the ceiling only
// below 100.0 V.
std::string ChargeTitle(std::int32_t cycle, std::int32_t maximumCycles, std::int32_t numberOfCells,
                        const std::string& cellType, double initialCurrent, double deltaThreshold,
                        double voltageCeiling, std::int64_t timeLimit, double ohms);
// The charge the preceding discharge of a cycle took out, "/%1.0fmAh".
std::string CapacityText(std::int32_t dischargeSeconds, double dischargeCurrent);
std::string ChargeStatus(std::int64_t elapsed, double volts, double ampSeconds,
                         const std::string& capacityText, double wattSeconds, double deltaThreshold,
                         double drop, std::int64_t deltaSeconds);

std::string ResistanceResult(double chargeOhms, double chargeCurrent, double dischargeOhms,
                             double dischargeCurrent);
// failed: the pass's conversion failed, which the line then says.
std::string MonitorStatus(std::int64_t elapsed, double volts, bool failed = false);
std::string WaitingStatus(std::int64_t remaining);

// Why a test ended on a reading whose conversion failed, and what to check.
extern const char* const MeasurementFailure;

// The name of a cycle's bitmap: "yyyymmdd-hhmmss.bmp".
std::string CycleBitmapName(const LocalTime& time);

}  // namespace voltrex::texts
