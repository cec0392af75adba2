#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/Configuration.h"

namespace voltrex {

// A delta-V threshold of 1.0 (a full 100 % drop, reached only by a reading of
// 0 V or less) and a voltage ceiling of 100 V stand for a chemistry without
// that rule; both rules still run for every chemistry.
inline constexpr double NoDeltaThreshold = 1.0;
inline constexpr double NoVoltageCeiling = 100.0;

// What a pack's chemistry decides of a test: where a discharge ends, and how a
// charge ends. Nickel packs end their charge on a negative delta-V; lithium
// and lead packs hold a pack voltage ceiling by stepping the current down.
struct ChemistryRules {
    double CellMinimum = 0.0;  // volts per cell, the end of a discharge
    double DeltaThreshold = NoDeltaThreshold;
    double VoltageCeiling = NoVoltageCeiling;  // volts for the whole pack

    // Nickel packs are given 1.25 times the nominal charging time, the others,
    // which taper their current at the end, 1.75 times. The threshold decides,
    // not the name.
    double TimeLimitFactor() const { return DeltaThreshold < NoDeltaThreshold ? 1.25 : 1.75; }
};

// The rules of the cell type text "NiCd", "NiMH", "LiPo", "LiNP" or "PbAcid",
// compared exactly; nothing for any other text.
std::optional<ChemistryRules> RulesFor(const std::string& cellType, const Configuration& config,
                                       std::int32_t numberOfCells);

}  // namespace voltrex
