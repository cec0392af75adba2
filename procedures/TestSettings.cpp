#include "procedures/TestSettings.h"

#include "platform/CFormat.h"

namespace voltrex {

namespace {

SettingsRefusal OutOfRange(SettingsField field, std::int32_t maximum, const char* name) {
    return {field, Format("Please enter a value from 1 to %d for the %s", maximum, name)};
}

}  // namespace

std::optional<SettingsRefusal> ApplySettingsEntry(const TestSettingsEntry& entry,
                                                  TestSettings& settings) {
    if (entry.BatteryShown) {
        if (entry.CellType.empty()) {
            return SettingsRefusal{SettingsField::CellType, "Please select a Cell Type"};
        }
        settings.CellType = entry.CellType;
        if (entry.Capacity < 1 || entry.Capacity > MaximumCapacity) {
            return OutOfRange(SettingsField::Capacity, MaximumCapacity, "Capacity");
        }
        settings.Capacity = entry.Capacity;
        if (entry.NumberOfCells < 1 || entry.NumberOfCells > MaximumCells) {
            return OutOfRange(SettingsField::NumberOfCells, MaximumCells, "Number of Cells");
        }
        settings.NumberOfCells = entry.NumberOfCells;
    }
    if (entry.ChargeShown) {
        settings.ChargeRate = entry.ChargeRate;
    }
    if (entry.DischargeShown) {
        settings.DischargeRate = entry.DischargeRate;
    }
    if (entry.AutoCycleShown) {
        if (entry.MaximumCycles < 1 || entry.MaximumCycles > MaximumCycleCount) {
            return OutOfRange(SettingsField::MaximumCycles, MaximumCycleCount,
                              "Maximum Number of Cycles");
        }
        settings.MaximumCycles = entry.MaximumCycles;
        settings.StopOnSmallIncrease = entry.StopOnSmallIncrease;
        settings.SaveGraphEachCycle = entry.SaveGraphEachCycle;
    }
    return std::nullopt;
}

}  // namespace voltrex
