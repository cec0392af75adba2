#include "procedures/ProcedureTexts.h"

#include <gtest/gtest.h>

namespace voltrex::texts {
namespace {

TEST(ProcedureTextsTest, DischargeTitleShowsCycleOnlyWithinAutoCycle) {
    EXPECT_EQ(DischargeTitle(0, 5, 6, "NiMH", 1.0, 5.86, 0.14),
              "Discharge  Battery: 6 NiMH  Rate: 1000mA  VMin: 5.86V  Resistance: 0.1400 Ohms");
    EXPECT_EQ(DischargeTitle(2, 10, 12, "PbAcid", 0.25, 21.6049, 0.00123),
              "Discharge 2 of 10  Battery: 12 PbAcid  Rate: 250mA  VMin: 21.60V  "
              "Resistance: 0.0012 Ohms");
    // A high resistance can push the end voltage below zero; it is shown as is.
    EXPECT_EQ(DischargeTitle(0, 0, 1, "LiPo", 3.0, -0.5, 1.1667),
              "Discharge  Battery: 1 LiPo  Rate: 3000mA  VMin: -0.50V  Resistance: 1.1667 Ohms");
}

TEST(ProcedureTextsTest, DischargeStatusCountsInMilliampHours) {
    // 3600 As = 1000 mAh; 7200 Ws = 2000 mWh.
    EXPECT_EQ(DischargeStatus(3725, 7.123, 3600.0, 7200.0),
              "Time: 1:02:05  Voltage: 7.12V  Discharge: 1000mAh (2000mWh)");
    EXPECT_EQ(DischargeStatus(0, 0.0, 0.0, 0.0),
              "Time: 0:00:00  Voltage: 0.00V  Discharge: 0mAh (0mWh)");
}

TEST(ProcedureTextsTest, ChargeTitleShowsTheRulesOfTheChemistry) {
    // Nickel: delta-V, no ceiling; 2000 mAh at 1 A gives 9000 s.
    EXPECT_EQ(ChargeTitle(0, 3, 6, "NiMH", 1.0, 0.005, 100.0, 9000, 0.12),
              "Charge  Battery: 6 NiMH  Rate: 1000mA  Delta: 0.50%  TLimit:  2:30:00  "
              "Resistance: 0.1200 Ohms");
    // Lithium: ceiling, no delta-V; 12600 s; hours are space-padded to two places.
    EXPECT_EQ(ChargeTitle(3, 10, 3, "LiPo", 1.0, 1.0, 12.6, 12600, 0.05),
              "Charge 3 of 10  Battery: 3 LiPo  Rate: 1000mA  VMax: 12.60V  TLimit:  3:30:00  "
              "Resistance: 0.0500 Ohms");
    EXPECT_EQ(ChargeTitle(0, 0, 6, "PbAcid", 0.1, 1.0, 14.7, 7 * 3600 + 5, 0.0),
              "Charge  Battery: 6 PbAcid  Rate: 100mA  VMax: 14.70V  TLimit:  7:00:05  "
              "Resistance: 0.0000 Ohms");
    EXPECT_EQ(ChargeTitle(0, 0, 1, "NiCd", 0.05, 0.01, 100.0, 123 * 3600, 0.0),
              "Charge  Battery: 1 NiCd  Rate: 50mA  Delta: 1.00%  TLimit: 123:00:00  "
              "Resistance: 0.0000 Ohms");
}

TEST(ProcedureTextsTest, ChargeStatusFollowsTheCapacityOfTheDischarge) {
    const std::string capacity = CapacityText(3600, 1.0);
    EXPECT_EQ(capacity, "/1000mAh");
    EXPECT_EQ(ChargeStatus(61, 8.004, 950.0 * 3.6, capacity, 7800.0 * 3.6, 0.005, 0.0012, 7),
              "Time: 0:01:01  Voltage: 8.00V  Charge: 950mAh/1000mAh (7800mWh)  "
              "Delta: 0.12% (7s)");
    // No delta-V part without the rule, no capacity outside a cycle.
    EXPECT_EQ(ChargeStatus(45296, 12.59, 0.0, "", 0.0, 1.0, 0.0, 0),
              "Time: 12:34:56  Voltage: 12.59V  Charge: 0mAh (0mWh)");
}

TEST(ProcedureTextsTest, ResistanceResultLine) {
    EXPECT_EQ(ResistanceResult(0.05, 1.0, 0.07, 2.0),
              "Charge: 0.0500 Ohms (at 1000mA)  Discharge: 0.0700 Ohms (at 2000mA)  "
              "Average: 0.0600 Ohms");
    // Noise can make a small negative value; it is shown unchanged.
    EXPECT_EQ(ResistanceResult(-0.0022, 0.5, 0.0, 0.2),
              "Charge: -0.0022 Ohms (at 500mA)  Discharge: 0.0000 Ohms (at 200mA)  "
              "Average: -0.0011 Ohms");
}

TEST(ProcedureTextsTest, MonitorAndWaitingLines) {
    EXPECT_EQ(MonitorStatus(360000, 7.2), "Time: 100:00:00  Voltage: 7.20V");
    EXPECT_EQ(MonitorStatus(5, -1.0), "Time: 0:00:05  Voltage: -1.00V");
    EXPECT_EQ(WaitingStatus(600), "Waiting...600");
    EXPECT_EQ(WaitingStatus(0), "Waiting...0");
}

TEST(ProcedureTextsTest, CycleBitmapNameIsTheLocalDateAndTime) {
    EXPECT_EQ(CycleBitmapName(LocalTime{2026, 3, 14, 9, 26, 53}), "20260314-092653.bmp");
    EXPECT_EQ(CycleBitmapName(LocalTime{2027, 1, 1, 0, 0, 0}), "20270101-000000.bmp");
}

}  // namespace
}  // namespace voltrex::texts
