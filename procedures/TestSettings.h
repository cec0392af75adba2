#pragma once

#include <cstdint>
#include <string>

namespace voltrex {

// The settings of a test, written only by the test settings dialog's Start and
// read by the procedures and the results log. Empty, zero and false until the
// first successful Start; values persist from one test to the next.
struct TestSettings {
    std::string CellType;            // "NiCd", "NiMH", "LiPo", "LiNP" or "PbAcid"
    std::int32_t Capacity = 0;       // mAh, 1..99999
    std::int32_t NumberOfCells = 0;  // 1..12
    std::int32_t ChargeRate = 0;     // 1..ChargeRateCount-1
    std::int32_t DischargeRate = 0;  // 1..15
    std::int32_t MaximumCycles = 0;  // 1..99
    bool StopOnSmallIncrease = false;
    bool SaveGraphEachCycle = false;
};

}  // namespace voltrex
