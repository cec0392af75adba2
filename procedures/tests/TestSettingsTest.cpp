// The settings dialog's checks without the dialog: each range at both of its
// ends, the order of the checks, and what a refusal leaves stored.

#include "procedures/TestSettings.h"

#include <gtest/gtest.h>

namespace voltrex {
namespace {

TestSettingsEntry FullEntry() {
    TestSettingsEntry entry;
    entry.BatteryShown = entry.ChargeShown = entry.DischargeShown = entry.AutoCycleShown = true;
    entry.CellType = "NiMH";
    entry.Capacity = 2000;
    entry.NumberOfCells = 7;
    entry.ChargeRate = 9;
    entry.DischargeRate = 10;
    entry.MaximumCycles = 5;
    entry.StopOnSmallIncrease = true;
    return entry;
}

TEST(TestSettingsTest, EachRangeEndsWhereTheDialogSays) {
    // A field of the entry (an alias: clang-format 14 and 19 space a
    // pointer to member differently in a declaration).
    using IntField = std::int32_t TestSettingsEntry::*;
    struct Case {
        IntField Field;
        std::int32_t Value;
        std::optional<SettingsField> Refused;
    };
    const Case cases[] = {
        {&TestSettingsEntry::Capacity, 0, SettingsField::Capacity},
        {&TestSettingsEntry::Capacity, 1, std::nullopt},
        {&TestSettingsEntry::Capacity, 99999, std::nullopt},
        {&TestSettingsEntry::Capacity, 100000, SettingsField::Capacity},
        {&TestSettingsEntry::NumberOfCells, 0, SettingsField::NumberOfCells},
        {&TestSettingsEntry::NumberOfCells, 12, std::nullopt},
        {&TestSettingsEntry::NumberOfCells, 13, SettingsField::NumberOfCells},
        {&TestSettingsEntry::MaximumCycles, 0, SettingsField::MaximumCycles},
        {&TestSettingsEntry::MaximumCycles, 1, std::nullopt},
        {&TestSettingsEntry::MaximumCycles, 99, std::nullopt},
        {&TestSettingsEntry::MaximumCycles, 100, SettingsField::MaximumCycles},
    };
    for (const Case& c : cases) {
        TestSettingsEntry entry = FullEntry();
        entry.*c.Field = c.Value;
        TestSettings settings;
        const std::optional<SettingsRefusal> refusal = ApplySettingsEntry(entry, settings);
        EXPECT_EQ(refusal ? std::optional(refusal->Field) : std::nullopt, c.Refused) << c.Value;
    }
}

TEST(TestSettingsTest, TheFirstRefusalSaysWhatTheFieldTakesAndKeepsTheFieldsBeforeIt) {
    TestSettingsEntry entry = FullEntry();
    entry.CellType.clear();
    entry.Capacity = 0;
    TestSettings settings;
    std::optional<SettingsRefusal> refusal = ApplySettingsEntry(entry, settings);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->Message, "Please select a Cell Type");
    EXPECT_EQ(settings.CellType, "");

    entry.CellType = "LiPo";
    entry.Capacity = 1500;
    entry.NumberOfCells = 13;
    refusal = ApplySettingsEntry(entry, settings);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->Message, "Please enter a value from 1 to 12 for the Number of Cells");
    EXPECT_EQ(settings.CellType, "LiPo");
    EXPECT_EQ(settings.Capacity, 1500);
    EXPECT_EQ(settings.NumberOfCells, 0);
    EXPECT_EQ(settings.ChargeRate, 0);

    entry.NumberOfCells = 3;
    entry.MaximumCycles = 100;
    refusal = ApplySettingsEntry(entry, settings);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->Message,
              "Please enter a value from 1 to 99 for the Maximum Number of Cycles");
    EXPECT_EQ(settings.DischargeRate, 10);  // the rates come before the cycles
    EXPECT_FALSE(settings.StopOnSmallIncrease);
}

TEST(TestSettingsTest, AGroupTheDialogDoesNotShowIsNeitherCheckedNorStored) {
    TestSettingsEntry entry;  // every number 0, no cell type
    entry.DischargeShown = true;
    entry.DischargeRate = 4;
    TestSettings settings;
    settings.CellType = "NiCd";
    EXPECT_FALSE(ApplySettingsEntry(entry, settings));
    EXPECT_EQ(settings.CellType, "NiCd");
    EXPECT_EQ(settings.DischargeRate, 4);
    EXPECT_EQ(settings.ChargeRate, 0);
    EXPECT_EQ(settings.MaximumCycles, 0);
}

}  // namespace
}  // namespace voltrex
