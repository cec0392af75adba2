#include <gtest/gtest.h>

#include <cmath>

#include "simulator/BoardCalibration.h"
#include "simulator/SimulatedMeter.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::simulator {
namespace {

double Ratio(double a, double b) {
    return std::fabs(a / b - 1.0);
}

// A seeded board differs from the default as real parts do, the same for the
// same seed, and its converter stays monotonic.
TEST(SeededBoard, DiffersAsRealPartsDoAndRepeatsWithItsSeed) {
    const BoardCalibration& sample = DefaultBoardCalibration();
    double largestWeight = 0.0;
    double largestCurrent = 0.0;
    for (std::uint32_t seed = 0; seed < 200; ++seed) {
        const BoardCalibration board = SeededBoardCalibration(seed);
        double below = board.ConverterOffset;
        for (std::size_t bit = 0; bit < 12; ++bit) {
            largestWeight =
                std::fmax(largestWeight, Ratio(board.BitWeights[bit], sample.BitWeights[bit]));
            // Each bit outweighs all below it: no count reads lower than the one before.
            EXPECT_GT(board.BitWeights[bit] + board.ConverterOffset, below) << seed << " " << bit;
            below += board.BitWeights[bit];
        }
        EXPECT_LE(std::fabs(board.ConverterOffset), 0.0002);
        EXPECT_LE(Ratio(board.LowSideMultiplier, sample.LowSideMultiplier), 0.02);
        EXPECT_LE(Ratio(board.HighSideMultiplier, sample.HighSideMultiplier), 0.02);
        for (std::size_t rate = 1; rate < 16; ++rate) {
            largestCurrent = std::fmax(
                largestCurrent, Ratio(board.DischargeCurrent[rate], sample.DischargeCurrent[rate]));
            EXPECT_GT(board.ChargeCurrent[rate], board.ChargeCurrent[rate - 1]);
        }
        EXPECT_EQ(board.DischargeCurrent[0], 0.0);
    }
    EXPECT_LE(largestWeight, 0.011);
    EXPECT_GT(largestWeight, 0.006);  // the spread is used, not a token one
    EXPECT_LE(largestCurrent, 0.05);
    EXPECT_GT(largestCurrent, 0.04);
    EXPECT_EQ(SeededBoardCalibration(7).BitWeights, SeededBoardCalibration(7).BitWeights);
    EXPECT_NE(SeededBoardCalibration(7).BitWeights, SeededBoardCalibration(8).BitWeights);
}

TEST(SimulatedMeter, ShowsTheProbeToItsLastDigit) {
    testing::VirtualClock clock;
    BoardCalibration calibration = DefaultBoardCalibration();
    calibration.ConverterOffset = 0.0003;
    SimulatedBoard board(clock, {Chemistry::NiMH, 7, 2000.0, 0.5}, 0x378, calibration);
    SimulatedMeter meter(board);
    // The counter at 1: the offset and bit 0, on the 200 mV range (10 uV).
    board.Out(0x378, 0x40);
    board.Out(0x378, 0x00);
    board.Out(0x378, 0x80);
    const double output = meter.Read(MeterProbe::ConverterOutput);
    EXPECT_NEAR(output, 0.0003 + calibration.BitWeights[0], 0.00002);
    EXPECT_DOUBLE_EQ(std::round(output / 1e-5) * 1e-5, output);
    // The pack on the 20 V range (1 mV); the meter in series reads no current.
    EXPECT_NEAR(meter.Read(MeterProbe::PackVoltage), meter.TrueValue(MeterProbe::PackVoltage),
                0.0015);
    EXPECT_EQ(meter.Read(MeterProbe::SeriesCurrent), 0.0);
    board.Out(0x378, 0x28);  // discharge at rate 8
    EXPECT_NEAR(meter.Read(MeterProbe::SeriesCurrent), calibration.DischargeCurrent[8], 0.0011);
    EXPECT_DOUBLE_EQ(SimulatedMeter::Resolution(1.9999, false), 0.0001);
    EXPECT_DOUBLE_EQ(SimulatedMeter::Resolution(2.0, false), 0.001);
    EXPECT_DOUBLE_EQ(SimulatedMeter::Resolution(0.1999, true), 0.00001);
}

}  // namespace
}  // namespace voltrex::simulator
