#include <gtest/gtest.h>

#include <vector>

#include "ProgramRules.h"

namespace voltrex::testing {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;

std::int64_t TimeLimit(double capacityMah, double current, double factor) {
    const auto nominal = static_cast<std::int64_t>(capacityMah * 3.6 / current);
    return static_cast<std::int64_t>(static_cast<double>(nominal) * factor);
}

// A nickel pack charged at 1 C peaks and falls back far enough, for long
// enough, that the program's delta-V rule with the sample configuration ends
// the charge, with the pack full and warm, well before the time limit.
TEST(ChargePhysics, NickelChargeAtOneCEndsOnDeltaV) {
    for (Chemistry chemistry : {Chemistry::NiMH, Chemistry::NiCd}) {
        SCOPED_TRACE(simulator::ChemistryName(chemistry));
        TestRig rig({chemistry, 7, 2000.0, 0.6});
        const int rate = 12;  // 2.004 A
        const double threshold =
            chemistry == Chemistry::NiMH ? rig.config.NiMHDeltaV : rig.config.NiCdDeltaV;
        const std::int64_t limit = TimeLimit(2000.0, rig.config.ChargeCurrent[rate], 1.25);
        const ChargeOutcome out = RunChargeRule(rig, rate, threshold, 100.0, limit);
        EXPECT_EQ(out.end, ChargeOutcome::End::DeltaV);
        EXPECT_LT(out.seconds, limit);
        EXPECT_GT(rig.port.StateOfCharge(), 0.97);
        EXPECT_GT(rig.port.Pack().TemperatureCelsius(), 28.0);
        // The program counts the table current per second; the pack saw it.
        EXPECT_NEAR(out.countedMah, rig.port.ReceivedMah(), 0.02 * rig.port.ReceivedMah());
    }
}

// Peak-to-trough fall of the terminal voltage per cell within the window
// after the peak, charging a 2000 mAh cell from 80 % at the given C rate.
double DeltaVPerCell(Chemistry chemistry, double cRate, double window) {
    BatteryPack pack({chemistry, 1, 2000.0, 0.8});
    pack.SetCurrent(-2.0 * cRate);
    double peak = 0.0;
    double peakTime = 0.0;
    double trough = 1e9;
    const double step = 5.0;
    for (double t = 0.0; t < 4.0 * 3600.0 / cRate; t += step) {
        pack.Advance(step);
        const double v = pack.TerminalVoltage();
        if (v > peak) {
            peak = v;
            peakTime = t;
            trough = v;
        } else if (t - peakTime <= window && v < trough) {
            trough = v;
        }
    }
    return peak - trough;
}

TEST(ChargePhysics, NegativeDeltaVGrowsWithCurrentAndIsLargerForNiCd) {
    // Five minutes after the peak at 1 C: 5-15 mV per cell for NiMH, more for
    // NiCd; half the current gives a few millivolts in ten minutes, a tenth
    // of it next to nothing.
    const double nimhOneC = DeltaVPerCell(Chemistry::NiMH, 1.0, 300.0);
    const double nicdOneC = DeltaVPerCell(Chemistry::NiCd, 1.0, 300.0);
    EXPECT_GT(nimhOneC, 0.005);
    EXPECT_LT(nimhOneC, 0.015);
    EXPECT_GT(nicdOneC, nimhOneC);
    EXPECT_LT(nicdOneC, 0.025);
    const double nimhHalfC = DeltaVPerCell(Chemistry::NiMH, 0.5, 600.0);
    EXPECT_GT(nimhHalfC, 0.003);
    EXPECT_LT(nimhHalfC, nimhOneC);
    EXPECT_LT(DeltaVPerCell(Chemistry::NiMH, 0.1, 600.0), 0.001);
}

// Lithium and lead packs reach the ceiling before they are full; the program
// steps the current down at each crossing until the lowest rate crosses too.
TEST(ChargePhysics, CeilingChargeStepsDownToTheEnd) {
    struct Case {
        Chemistry chemistry;
        int cells;
        int rate;
        double vmax;
    };
    const Configuration config = simulator::SampleConfiguration();
    const std::vector<Case> cases = {{Chemistry::LiPo, 3, 12, config.LiPoVmax},
                                     {Chemistry::LiNP, 4, 12, config.LiNPVmax},
                                     {Chemistry::PbAcid, 6, 6, config.PbAcidVmax}};
    for (const Case& c : cases) {
        SCOPED_TRACE(simulator::ChemistryName(c.chemistry));
        TestRig rig({c.chemistry, c.cells, 2000.0, 0.5});
        const std::int64_t limit =
            TimeLimit(2000.0, rig.config.ChargeCurrent[static_cast<std::size_t>(c.rate)], 1.75);
        const ChargeOutcome out = RunChargeRule(rig, c.rate, 1.0, c.cells * c.vmax, limit);
        EXPECT_EQ(out.end, ChargeOutcome::End::LowestRate);
        EXPECT_EQ(out.stepDowns, c.rate);
        EXPECT_GT(rig.port.StateOfCharge(), 0.95);
        EXPECT_LT(out.seconds, limit);
    }
}

// From full at 1 C every chemistry gives close to its rated capacity and
// then falls below its end voltage; the program's count of table current
// per second agrees with the charge that flowed.
TEST(ChargePhysics, DischargeAtOneCDeliversRatedCapacity) {
    const Configuration config = simulator::SampleConfiguration();
    struct Case {
        Chemistry chemistry;
        int cells;
        double vmin;
    };
    const std::vector<Case> cases = {{Chemistry::NiCd, 6, config.NiCdVmin},
                                     {Chemistry::NiMH, 7, config.NiMHVmin},
                                     {Chemistry::LiPo, 3, config.LiPoVmin},
                                     {Chemistry::LiNP, 4, config.LiNPVmin},
                                     {Chemistry::PbAcid, 6, config.PbAcidVmin}};
    for (const Case& c : cases) {
        SCOPED_TRACE(simulator::ChemistryName(c.chemistry));
        TestRig rig({c.chemistry, c.cells, 2000.0, 1.0});
        const int rate = 11;  // 1.996 A
        const double current = rig.config.DischargeCurrent[rate];
        const double end = c.cells * c.vmin - rig.port.Pack().SeriesResistance() * current;
        const DischargeOutcome out = RunDischargeRule(rig, rate, end, 2 * 3600);
        EXPECT_TRUE(out.reachedEnd);
        EXPECT_NEAR(rig.port.DeliveredMah(), 2000.0, 0.05 * 2000.0);
        EXPECT_NEAR(out.countedMah, rig.port.DeliveredMah(), 0.02 * rig.port.DeliveredMah());
    }
}

}  // namespace
}  // namespace voltrex::testing
