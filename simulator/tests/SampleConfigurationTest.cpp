#include "simulator/SampleConfiguration.h"

#include <gtest/gtest.h>

#include "config/ConfigurationReader.h"
#include "instrument/Instrument.h"

namespace voltrex::simulator {
namespace {

// The shipped sample file and the in-memory configuration of the tests are
// the same record, and both hold the board's true calibration exactly.
TEST(SampleConfiguration, ShippedFileMatchesTheBoard) {
    Configuration file;
    ASSERT_EQ(ReadConfiguration(file, VOLTREX_SAMPLE_INI), std::nullopt);
    const Configuration expected = SampleConfiguration();
    const BoardCalibration& board = DefaultBoardCalibration();

    EXPECT_EQ(file.PortAddress, 0x378);
    EXPECT_EQ(file.Calibration.BitWeights, board.BitWeights);
    EXPECT_EQ(file.Calibration.LowSideMultiplier, board.LowSideMultiplier);
    EXPECT_EQ(file.Calibration.HighSideMultiplier, board.HighSideMultiplier);
    EXPECT_EQ(file.ChargeCurrent, board.ChargeCurrent);
    EXPECT_EQ(file.DischargeCurrent, board.DischargeCurrent);
    EXPECT_EQ(file.ChargeCurrent[0], 0.0);
    EXPECT_EQ(file.DischargeCurrent[0], 0.0);

    EXPECT_EQ(file.PortAddress, expected.PortAddress);
    EXPECT_EQ(file.ChargeRateCount, expected.ChargeRateCount);
    EXPECT_EQ(file.NiCdDeltaV, expected.NiCdDeltaV);
    EXPECT_EQ(file.NiCdVmin, expected.NiCdVmin);
    EXPECT_EQ(file.NiMHDeltaV, expected.NiMHDeltaV);
    EXPECT_EQ(file.NiMHVmin, expected.NiMHVmin);
    EXPECT_EQ(file.DeltaVDuration, expected.DeltaVDuration);
    EXPECT_EQ(file.CycleTerminationRatio, expected.CycleTerminationRatio);
    EXPECT_EQ(file.CycleRestTime, expected.CycleRestTime);
    EXPECT_EQ(file.LiPoVmax, expected.LiPoVmax);
    EXPECT_EQ(file.LiPoVmin, expected.LiPoVmin);
    EXPECT_EQ(file.LiNPVmax, expected.LiNPVmax);
    EXPECT_EQ(file.LiNPVmin, expected.LiNPVmin);
    EXPECT_EQ(file.PbAcidVmax, expected.PbAcidVmax);
    EXPECT_EQ(file.PbAcidVmin, expected.PbAcidVmin);
}

TEST(SampleConfiguration, BoardRampIsMonotonicAndCoversTwelveLithiumCells) {
    const BoardCalibration& board = DefaultBoardCalibration();
    for (int count = 1; count < 4096; ++count) {
        ASSERT_GT(WeightSum(count, board.BitWeights), WeightSum(count - 1, board.BitWeights))
            << count;
    }
    const double fullScale = WeightSum(4095, board.BitWeights) * board.HighSideMultiplier;
    EXPECT_GT(fullScale - board.GroundOffset, 12 * 4.2 * 1.05);
    // The low side reaches its flip before the high side for any pack of one
    // cell or more, at every current of the table.
    for (double current : {-board.ChargeCurrent[15], 0.0, board.DischargeCurrent[15]}) {
        const double offset = board.GroundOffset - current * board.ReturnResistance;
        EXPECT_GT(offset, 0.0);
        EXPECT_LT(offset / board.LowSideMultiplier, (offset + 0.5) / board.HighSideMultiplier);
    }
}

}  // namespace
}  // namespace voltrex::simulator
