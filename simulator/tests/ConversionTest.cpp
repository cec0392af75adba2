#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "TestRig.h"

namespace voltrex::testing {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;

struct Case {
    Chemistry chemistry;
    int cells;
};

// The mean of 20 conversions (a restart reading) matches the pack's terminal
// voltage to within one count of the high side, for every chemistry, with
// the pack at rest, discharging and charging.
TEST(Conversion, ReadingMatchesTerminalVoltage) {
    const std::vector<Case> cases = {{Chemistry::NiCd, 1},
                                     {Chemistry::NiMH, 7},
                                     {Chemistry::LiPo, 12},
                                     {Chemistry::LiNP, 4},
                                     {Chemistry::PbAcid, 6}};
    for (const Case& c : cases) {
        for (double soc : {0.1, 0.5, 0.95}) {
            TestRig rig({c.chemistry, c.cells, 2000.0, soc});
            for (int mode : {0, -1, +1}) {
                SCOPED_TRACE(::testing::Message() << simulator::ChemistryName(c.chemistry) << " x"
                                                  << c.cells << " soc " << soc << " mode " << mode);
                if (mode < 0) {
                    rig.instrument.StartDischarge(11);
                } else if (mode > 0) {
                    rig.instrument.StartCharge(11);
                } else {
                    rig.instrument.AllOff();
                }
                rig.clock.Advance(5.0);
                const double reading = rig.instrument.ReadVoltage(true);
                const double terminal = rig.port.TerminalVoltage();
                EXPECT_NEAR(reading, terminal, rig.Count());
                if (mode < 0) {
                    EXPECT_LT(terminal, rig.port.Pack().OpenCircuitVoltage());
                } else if (mode > 0) {
                    EXPECT_GT(terminal, rig.port.Pack().OpenCircuitVoltage());
                }
            }
        }
    }
}

TEST(Conversion, FullScaleCoversTwelveLithiumCellsCharging) {
    TestRig rig({Chemistry::LiPo, 12, 4000.0, 1.0});
    rig.instrument.StartCharge(15);
    rig.clock.Advance(60.0);
    const double terminal = rig.port.TerminalVoltage();
    EXPECT_GT(terminal, 50.4);
    EXPECT_NEAR(rig.instrument.ReadVoltage(true), terminal, rig.Count());
    // 12 to 15 mV per count.
    EXPECT_GT(rig.Count(), 0.012);
    EXPECT_LT(rig.Count(), 0.015);
}

TEST(Conversion, PackAboveFullScaleFailsTheConversion) {
    // Twelve overcharged lithium cells with a high resistance, charging hard:
    // the high side never flips and the conversion reports -1.
    TestRig rig({Chemistry::LiPo, 12, 2000.0, 1.03, 0.2});
    rig.instrument.StartCharge(15);
    EXPECT_GT(rig.port.TerminalVoltage() + rig.port.Board().GroundOffset(),
              4096 * 0.001 * rig.config.Calibration.HighSideMultiplier);
    EXPECT_EQ(rig.instrument.MeasureVoltage(rig.config.Calibration), -1.0);
}

TEST(Conversion, NoiseIsAboutOneCountAndRepeatsWithTheSeed) {
    auto conversions = [](std::uint32_t seed) {
        VirtualClock clock;
        SimulatedPort port(clock, {Chemistry::NiMH, 7, 2000.0, 0.5}, 0x378,
                           simulator::DefaultBoardCalibration(), seed);
        const Configuration config = simulator::SampleConfiguration();
        Instrument instrument(clock, config.Calibration);
        instrument.BindPort(port);
        instrument.SetPortAddress(0x378);
        std::vector<double> values;
        for (int i = 0; i < 200; ++i) {
            values.push_back(instrument.MeasureVoltage(config.Calibration));
        }
        return values;
    };
    const std::vector<double> first = conversions(1);
    EXPECT_EQ(first, conversions(1));
    EXPECT_NE(first, conversions(2));

    double mean = 0.0;
    for (double v : first) {
        mean += v / static_cast<double>(first.size());
    }
    double variance = 0.0;
    for (double v : first) {
        variance += (v - mean) * (v - mean) / static_cast<double>(first.size());
    }
    const double count = 0.001 * 13.42;
    EXPECT_GT(std::sqrt(variance), 0.2 * count);
    EXPECT_LT(std::sqrt(variance), 2.0 * count);
}

}  // namespace
}  // namespace voltrex::testing
