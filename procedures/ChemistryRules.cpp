#include "procedures/ChemistryRules.h"

namespace voltrex {

std::optional<ChemistryRules> RulesFor(const std::string& cellType, const Configuration& config,
                                       std::int32_t numberOfCells) {
    ChemistryRules rules;
    if (cellType == "NiCd") {
        rules.CellMinimum = config.NiCdVmin;
        rules.DeltaThreshold = config.NiCdDeltaV;
    } else if (cellType == "NiMH") {
        rules.CellMinimum = config.NiMHVmin;
        rules.DeltaThreshold = config.NiMHDeltaV;
    } else if (cellType == "LiPo") {
        rules.CellMinimum = config.LiPoVmin;
        rules.VoltageCeiling = numberOfCells * config.LiPoVmax;
    } else if (cellType == "LiNP") {
        rules.CellMinimum = config.LiNPVmin;
        rules.VoltageCeiling = numberOfCells * config.LiNPVmax;
    } else if (cellType == "PbAcid") {
        rules.CellMinimum = config.PbAcidVmin;
        rules.VoltageCeiling = numberOfCells * config.PbAcidVmax;
    } else {
        return std::nullopt;
    }
    return rules;
}

}  // namespace voltrex
