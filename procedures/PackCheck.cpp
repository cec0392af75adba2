#include "procedures/PackCheck.h"

#include <cmath>

#include "platform/CFormat.h"

namespace voltrex {

namespace {

// What "Voltrex2.ini" sets for a cell type, and the line it stands on.
struct Configured {
    std::optional<double> Vmax;  // nothing for the nickel chemistries
    double Vmin = 0.0;
    std::int32_t Line = 0;
};

std::optional<Configured> ConfiguredFor(const std::string& cellType, const Configuration& config) {
    if (cellType == "NiCd") {
        return Configured{std::nullopt, config.NiCdVmin, config.NiCdLine};
    }
    if (cellType == "NiMH") {
        return Configured{std::nullopt, config.NiMHVmin, config.NiMHLine};
    }
    if (cellType == "LiPo") {
        return Configured{config.LiPoVmax, config.LiPoVmin, config.LiPoLine};
    }
    if (cellType == "LiNP") {
        return Configured{config.LiNPVmax, config.LiNPVmin, config.LiNPLine};
    }
    if (cellType == "PbAcid") {
        return Configured{config.PbAcidVmax, config.PbAcidVmin, config.PbAcidLine};
    }
    return std::nullopt;
}

long Millivolts(double volts) {
    return std::lround(volts * 1000.0);
}

std::string Reading(const std::string& cellType, std::int32_t cells, double volts) {
    return Format("The %s pack reads %.2f V, that is %.3f V per cell for the %d cells set",
                  cellType.c_str(), volts, volts / cells, static_cast<int>(cells));
}

std::string OutsideRange(const std::string& cellType, std::int32_t cells, double volts,
                         const CellLimits& limits, double low) {
    return Reading(cellType, cells, volts) +
           Format(", outside the %.2f to %.2f V of a %s cell at rest.", low, limits.RestingHigh,
                  cellType.c_str());
}

std::string WhereConfigured(std::int32_t line) {
    return line > 0 ? Format("line %d of Voltrex2.ini", static_cast<int>(line))
                    : std::string("the configuration");
}

constexpr const char* NothingSwitched = " Nothing has been switched on.";

// Below the hard floor by this much a cell is over-discharged, whatever
// emptied it, and must not be fast-charged.
constexpr double OverDischargeMargin = 0.5;

}  // namespace

std::optional<CellLimits> LimitsOf(const std::string& cellType) {
    // Resting range, hard ceiling, hard floor, volts per cell. Each range
    // starts below the hard floor: a pack that a discharge has just ended
    // reads a little below its end voltage until the polarisation of the load
    // has died away, and the charge that follows (at once, or after a short
    // rest in an auto cycle) must not turn it away. LiPo has only 0.05 V of
    // that room: a full 2-cell high-voltage pack set as 3 cells reads 2.90 V
    // per cell and must still be refused.
    if (cellType == "NiCd" || cellType == "NiMH") {
        return CellLimits{0.80, 1.50, 0.0, 0.90, false};
    }
    if (cellType == "LiPo") {
        return CellLimits{2.95, 4.35, 4.35, 3.00, true};
    }
    if (cellType == "LiNP") {
        return CellLimits{2.40, 3.65, 3.65, 2.50, true};
    }
    if (cellType == "PbAcid") {
        return CellLimits{1.65, 2.30, 2.45, 1.75, false};
    }
    return std::nullopt;
}

PackJudgement JudgePack(PackTest test, const std::string& cellType, std::int32_t cells,
                        double volts, const Configuration& config) {
    if (volts < NoPackVolts) {
        return {PackVerdict::NoPack,
                Format("No battery pack found: the pack reads %.2f V with everything switched "
                       "off. Check that the pack is connected the right way round, its leads "
                       "and plugs, and its fuse.",
                       volts) +
                    NothingSwitched};
    }
    const std::optional<CellLimits> limits = LimitsOf(cellType);
    const std::optional<Configured> configured = ConfiguredFor(cellType, config);
    if (test == PackTest::Resistance || !limits || !configured || cells < 1) {
        return {};
    }
    const long perCell = Millivolts(volts / cells);
    const double low = test == PackTest::ChargeAfterDischarge
                           ? limits->LowestDischarge - OverDischargeMargin
                           : limits->RestingLow;
    const bool inRange = perCell >= Millivolts(low) && perCell <= Millivolts(limits->RestingHigh);
    if (!limits->Lithium) {
        if (inRange) {
            return {};
        }
        return {PackVerdict::Doubtful,
                OutsideRange(cellType, cells, volts, *limits, low) +
                    " The number of cells or the cell type set may be wrong. Start the test "
                    "anyway?"};
    }
    // A discharge taken below the end voltage damages a lithium cell; the
    // end voltage is never below the hard floor (ConfiguredLimitProblem).
    if (test == PackTest::Discharge && perCell <= Millivolts(configured->Vmin)) {
        return {PackVerdict::Refused,
                Reading(cellType, cells, volts) +
                    Format(", at or below its end-of-discharge voltage of %.2f V per cell: "
                           "discharging it further would damage it. Check the number of cells "
                           "and the cell type set.",
                           configured->Vmin) +
                    NothingSwitched};
    }
    if (inRange) {
        return {};
    }
    const char* causes = perCell > Millivolts(limits->RestingHigh)
                             ? " The pack has more cells than set, or the cell type set is wrong."
                             : " The pack has fewer cells than set, or the cell type set is wrong, "
                               "or the pack is over-discharged and must not be fast-charged.";
    return {PackVerdict::Refused,
            OutsideRange(cellType, cells, volts, *limits, low) + causes + NothingSwitched};
}

std::optional<std::string> ConfiguredLimitProblem(const std::string& cellType,
                                                  const Configuration& config) {
    const std::optional<CellLimits> limits = LimitsOf(cellType);
    const std::optional<Configured> configured = ConfiguredFor(cellType, config);
    if (!limits || !configured) {
        return std::nullopt;
    }
    if (configured->Vmax && *configured->Vmax > limits->HighestCharge) {
        return Format(
                   "The %s end-of-charge voltage of %.3f V per cell on %s is above %.2f V, "
                   "the highest a %s cell is ever charged to. Correct it in Setup.",
                   cellType.c_str(), *configured->Vmax, WhereConfigured(configured->Line).c_str(),
                   limits->HighestCharge, cellType.c_str()) +
               NothingSwitched;
    }
    if (configured->Vmin < limits->LowestDischarge) {
        return Format(
                   "The %s end-of-discharge voltage of %.3f V per cell on %s is below %.2f V, "
                   "the lowest a %s cell is ever discharged to. Correct it in Setup.",
                   cellType.c_str(), configured->Vmin, WhereConfigured(configured->Line).c_str(),
                   limits->LowestDischarge, cellType.c_str()) +
               NothingSwitched;
    }
    return std::nullopt;
}

std::optional<double> ChargeCutOff(const std::string& cellType, std::int32_t cells) {
    const std::optional<CellLimits> limits = LimitsOf(cellType);
    if (!limits || limits->HighestCharge <= 0.0) {
        return std::nullopt;
    }
    return cells * (limits->HighestCharge + ChargeCutOffMargin);
}

std::string ChargeCutOffMessage(const std::string& cellType, std::int32_t cells, double volts,
                                double cutOff) {
    return Format(
        "The %s pack reached %.2f V while charging, above %.2f V, the most %d cells "
        "may ever read. The charge has been switched off. Check the number of cells "
        "and the cell type set, and the pack.",
        cellType.c_str(), volts, cutOff, static_cast<int>(cells));
}

}  // namespace voltrex
