#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace voltrex {

// The settings of a test, owned by the program, written only through
// ApplySettingsEntry (the test settings dialog's Start) and read by the
// procedures and the results log. Empty, zero and false until the first
// successful Start; values persist from one test to the next.
struct TestSettings {
    std::string CellType;            // "NiCd", "NiMH", "LiPo", "LiNP" or "PbAcid"
    std::int32_t Capacity = 0;       // mAh, 1..MaximumCapacity
    std::int32_t NumberOfCells = 0;  // 1..MaximumCells
    std::int32_t ChargeRate = 0;     // 1..ChargeRateCount-1
    std::int32_t DischargeRate = 0;  // 1..15
    std::int32_t MaximumCycles = 0;  // 1..MaximumCycleCount
    bool StopOnSmallIncrease = false;
    bool SaveGraphEachCycle = false;
};

// The ranges the settings dialog accepts.
inline constexpr std::int32_t MaximumCapacity = 99999;
inline constexpr std::int32_t MaximumCells = 12;
inline constexpr std::int32_t MaximumCycleCount = 99;

// What the settings dialog's groups hold when Start is clicked. A group the
// dialog does not show (a Discharge has no charge rate) is left out of the
// check and of the settings. A number field holds 0 when its text is no
// whole number.
struct TestSettingsEntry {
    bool BatteryShown = false;
    std::string CellType;  // empty: none chosen
    std::int32_t Capacity = 0;
    std::int32_t NumberOfCells = 0;
    bool ChargeShown = false;
    std::int32_t ChargeRate = 0;
    bool DischargeShown = false;
    std::int32_t DischargeRate = 0;
    bool AutoCycleShown = false;
    std::int32_t MaximumCycles = 0;
    bool StopOnSmallIncrease = false;
    bool SaveGraphEachCycle = false;
};

// The field a check refused, and the message that says what it takes.
enum class SettingsField { CellType, Capacity, NumberOfCells, MaximumCycles };
struct SettingsRefusal {
    SettingsField Field;
    std::string Message;
};

// Checks the entry field by field in the dialog's order (cell type, capacity,
// cells, maximum cycles) and stores each field in settings as soon as it has
// passed; the first that fails ends the check, and the fields before it stay
// stored. None when every field passed.
std::optional<SettingsRefusal> ApplySettingsEntry(const TestSettingsEntry& entry,
                                                  TestSettings& settings);

}  // namespace voltrex
