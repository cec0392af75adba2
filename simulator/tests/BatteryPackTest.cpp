#include "simulator/BatteryPack.h"

#include <gtest/gtest.h>

#include <cmath>

namespace voltrex::simulator {
namespace {

TEST(BatteryPack, OpenCircuitVoltageFollowsTheCellTables) {
    EXPECT_NEAR(BatteryPack({Chemistry::LiPo, 3, 2000.0, 0.5}).OpenCircuitVoltage(), 3 * 3.805,
                1e-12);
    EXPECT_NEAR(BatteryPack({Chemistry::LiPo, 1, 2000.0, 0.85}).OpenCircuitVoltage(),
                (3.983 + 4.066) / 2, 1e-12);
    EXPECT_NEAR(BatteryPack({Chemistry::LiNP, 4, 2000.0, 0.40}).OpenCircuitVoltage(), 4 * 3.263,
                1e-12);
    EXPECT_NEAR(BatteryPack({Chemistry::PbAcid, 6, 7000.0, 1.0}).OpenCircuitVoltage(), 6 * 2.10,
                1e-12);
    EXPECT_NEAR(BatteryPack({Chemistry::NiMH, 7, 2000.0, 0.5}).OpenCircuitVoltage(), 7 * 1.27,
                1e-12);
    // NiCd sits a few tens of millivolts below NiMH.
    const double nicd = BatteryPack({Chemistry::NiCd, 1, 2000.0, 0.5}).OpenCircuitVoltage();
    EXPECT_GT(1.27 - nicd, 0.01);
    EXPECT_LT(1.27 - nicd, 0.06);
}

TEST(BatteryPack, SeriesDropAtOnceThenPolarisationWithThirtySeconds) {
    BatteryPack pack({Chemistry::NiMH, 7, 2000.0, 0.5, 0.05});
    const double rest = pack.TerminalVoltage();
    pack.SetCurrent(2.0);
    // The internal resistance R0 acts at once.
    EXPECT_NEAR(rest - pack.TerminalVoltage(), 2.0 * 7 * 0.05, 1e-12);
    pack.Advance(30.0);
    const double soc = pack.StateOfCharge();
    EXPECT_NEAR(soc, 0.5 - 2.0 * 30.0 / (2000.0 * 3.6), 1e-12);
    // One time constant: 63 % of the R1 drop, R1 being 55 % of a NiMH cell's
    // DC resistance where R0 is the other 45 % (less a trace: the cell has
    // warmed by a hundredth of a kelvin).
    EXPECT_NEAR(pack.PolarisationVoltage(), 2.0 * 7 * 0.05 * 55 / 45 * (1.0 - std::exp(-1.0)),
                0.001);
    // After the current stops, the voltage recovers with the same time constant.
    pack.SetCurrent(0.0);
    const double v1 = pack.PolarisationVoltage();
    pack.Advance(60.0);
    EXPECT_NEAR(pack.PolarisationVoltage(), v1 * std::exp(-2.0), 1e-9);
    EXPECT_DOUBLE_EQ(pack.StateOfCharge(), soc);
    EXPECT_NEAR(pack.ChargeDelivered(), 60.0, 1e-9);
}

TEST(BatteryPack, SplitsLongStepsAndStaysWithinItsLimits) {
    BatteryPack coarse({Chemistry::LiPo, 3, 1000.0, 0.9});
    BatteryPack fine({Chemistry::LiPo, 3, 1000.0, 0.9});
    coarse.SetCurrent(-1.0);
    fine.SetCurrent(-1.0);
    coarse.Advance(600.0);
    for (int i = 0; i < 1200; ++i) {
        fine.Advance(0.5);
    }
    EXPECT_NEAR(coarse.TerminalVoltage(), fine.TerminalVoltage(), 1e-9);

    // Hours of overcharge or over-discharge end at the model's limits, with
    // the voltage far beyond any ceiling or end voltage.
    coarse.Advance(10 * 3600.0);
    EXPECT_LE(coarse.StateOfCharge(), 1.03 + 1e-12);
    EXPECT_GT(coarse.TerminalVoltage(), 3 * 4.4);
    // The charge held stops at empty; only the surface goes on falling.
    coarse.SetCurrent(1.0);
    coarse.Advance(20 * 3600.0);
    EXPECT_EQ(coarse.StateOfCharge(), 0.0);
    EXPECT_LT(coarse.TerminalVoltage(), 3 * 2.6);
    // With rest it comes back to an empty cell's voltage.
    coarse.SetCurrent(0.0);
    coarse.Advance(3 * 3600.0);
    EXPECT_NEAR(coarse.TerminalVoltage(), coarse.OpenCircuitVoltage(), 1e-3);
    EXPECT_NEAR(coarse.OpenCircuitVoltage(), 3 * 3.4, 1e-9);
}

TEST(BatteryPack, NickelOverchargeTurnsIntoHeat) {
    BatteryPack pack({Chemistry::NiMH, 1, 2000.0, 0.5});
    pack.SetCurrent(-2.0);
    pack.Advance(0.2 * 3600.0);
    // Below 70 % nearly all of the charge is stored and the pack warms only
    // by its resistive losses.
    EXPECT_NEAR(pack.StateOfCharge(), 0.5 + 0.2 * 0.985, 0.01);
    EXPECT_LT(pack.TemperatureCelsius(), 27.0);
    pack.Advance(3600.0);
    EXPECT_GT(pack.StateOfCharge(), 1.0);
    EXPECT_LE(pack.StateOfCharge(), 1.05);
    EXPECT_GT(pack.TemperatureCelsius(), 35.0);
    EXPECT_LE(pack.TemperatureCelsius(), 25.0 + BatteryPack::MaximumRiseKelvin);
    // Left alone it cools back towards ambient.
    pack.SetCurrent(0.0);
    const double warm = pack.TemperatureCelsius();
    pack.Advance(BatteryPack::CoolingSeconds);
    EXPECT_NEAR(pack.TemperatureCelsius() - 25.0, (warm - 25.0) * std::exp(-1.0), 0.2);
}

// Without a configured resistance a cell has its chemistry's resistance for
// its capacity: half the capacity, twice the resistance.
TEST(BatteryPack, ZeroResistanceTakesTheChemistryDefaultForTheCapacity) {
    const CellData& nimh = CellDataOf(Chemistry::NiMH);
    const BatteryPack aa({Chemistry::NiMH, 7, 2000.0, 0.5, 0.0});
    EXPECT_DOUBLE_EQ(aa.ResistancePerCell(), nimh.OhmicShare * nimh.ResistanceAmpHours / 2.0);
    EXPECT_DOUBLE_EQ(aa.ResistancePerCell() + aa.PolarisationResistancePerCell(),
                     nimh.ResistanceAmpHours / 2.0);
    EXPECT_DOUBLE_EQ(BatteryPack({Chemistry::NiMH, 7, 1000.0, 0.5}).ResistancePerCell(),
                     2 * aa.ResistancePerCell());
    EXPECT_EQ(BatteryPack({Chemistry::NiMH, 7, 2000.0, 0.5, 0.2}).Resistance(), 7 * 0.2);
}

}  // namespace
}  // namespace voltrex::simulator
