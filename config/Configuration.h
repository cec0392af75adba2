#pragma once

#include <array>
#include <cstdint>

namespace voltrex {

// The converter calibration: the 12 bit weights of the D-to-A count (index 0 =
// least significant bit) and the two comparator multipliers. Kept together so
// that the voltage conversion is handed one block.
struct CalibrationBlock {
    std::array<double, 12> BitWeights{};
    double LowSideMultiplier = 0.0;
    double HighSideMultiplier = 0.0;
};

// Everything "Voltrex2.ini" holds, in the order of its lines. One record for
// the whole process, all zero until the first read, refilled in place when the
// setup assistant saves the file.
struct Configuration {
    std::uint16_t PortAddress = 0;
    CalibrationBlock Calibration;
    // The rate table: row r is the current (amperes) of rate setting r.
    std::array<double, 16> ChargeCurrent{};
    std::array<double, 16> DischargeCurrent{};
    std::int32_t ChargeRateCount = 0;
    double NiCdDeltaV = 0.0;
    double NiCdVmin = 0.0;
    double NiMHDeltaV = 0.0;
    double NiMHVmin = 0.0;
    std::int32_t DeltaVDuration = 0;
    double CycleTerminationRatio = 0.0;
    std::int32_t CycleRestTime = 0;
    double LiPoVmax = 0.0;
    double LiPoVmin = 0.0;
    double LiNPVmax = 0.0;
    double LiNPVmin = 0.0;
    double PbAcidVmax = 0.0;
    double PbAcidVmin = 0.0;
    // The line of the file each chemistry's limits were read from, counted
    // from 1 as an editor counts them (comments and blank lines included), so
    // that a message about a limit can say where to find it; 0 when unknown.
    std::int32_t NiCdLine = 0;
    std::int32_t NiMHLine = 0;
    std::int32_t LiPoLine = 0;
    std::int32_t LiNPLine = 0;
    std::int32_t PbAcidLine = 0;
};

}  // namespace voltrex
