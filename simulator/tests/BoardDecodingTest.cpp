#include <gtest/gtest.h>

#include "TestRig.h"
#include "instrument/PortBits.h"

namespace voltrex::testing {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;
using simulator::SimulatedBoard;

const BatteryPack::Settings Pack{Chemistry::NiMH, 7, 2000.0, 0.5};

// The program and the board name the same lines, each on its own side.
static_assert(SimulatedBoard::RateBits == RateBits && SimulatedBoard::ModeRelay == ModeRelay &&
              SimulatedBoard::BatteryRelay == BatteryRelay &&
              SimulatedBoard::CounterReset == CounterReset &&
              SimulatedBoard::CounterClock == CounterClock);
static_assert(SimulatedBoard::LowSideBit == LowSideComparator &&
              SimulatedBoard::HighSideBit == HighSideComparator);
static_assert(SimulatedBoard::CounterRange == CounterRange);

TEST(BoardDecoding, DriveOperationsSetRelaysAndCurrent) {
    TestRig rig(Pack);
    SimulatedBoard& board = rig.port.Board();
    const auto& cal = board.Calibration();
    EXPECT_EQ(board.Latch(), 0x00);
    EXPECT_EQ(board.Current(), 0.0);

    rig.instrument.StartCharge(5);
    EXPECT_EQ(board.Latch(), 0x35);
    EXPECT_TRUE(board.ChargeMode());
    EXPECT_TRUE(board.Connected());
    EXPECT_EQ(board.Rate(), 5);
    EXPECT_EQ(board.Current(), -cal.ChargeCurrent[5]);

    rig.instrument.SetRate(0x13);  // only the low four bits count
    EXPECT_EQ(board.Rate(), 3);
    EXPECT_EQ(board.Current(), -cal.ChargeCurrent[3]);

    rig.instrument.StartDischarge(4);
    EXPECT_EQ(board.Latch(), 0x24);
    EXPECT_FALSE(board.ChargeMode());
    EXPECT_EQ(board.Current(), cal.DischargeCurrent[4]);

    // An open battery relay carries no current, whatever the rate bits say.
    rig.instrument.SetLatchManual(7, true, false);
    EXPECT_EQ(board.Latch(), 0x17);
    EXPECT_EQ(board.Current(), 0.0);
    // Rate 0 is no current with the pack connected.
    rig.instrument.SetLatchManual(0, false, true);
    EXPECT_EQ(board.Current(), 0.0);

    rig.instrument.StartDischarge(15);
    EXPECT_EQ(board.Current(), cal.DischargeCurrent[15]);
    rig.instrument.AllOff();
    EXPECT_EQ(board.Latch(), 0x00);
    EXPECT_EQ(board.Current(), 0.0);
}

TEST(BoardDecoding, WithoutPowerNoCurrentFlowsAndNoConversionSucceeds) {
    TestRig rig(Pack);
    SimulatedBoard& board = rig.port.Board();
    rig.instrument.StartCharge(5);
    const double volts = rig.instrument.MeasureVoltage(rig.config.Calibration);
    ASSERT_GT(volts, 7.0);

    board.SetPowered(false);
    EXPECT_EQ(board.Current(), 0.0);
    EXPECT_EQ(board.In(0x379), 0x7F);
    EXPECT_EQ(rig.instrument.MeasureVoltage(rig.config.Calibration), -1.0);

    board.SetPowered(true);
    EXPECT_EQ(board.Current(), -board.Calibration().ChargeCurrent[5]);
    EXPECT_NEAR(rig.instrument.MeasureVoltage(rig.config.Calibration), volts, 0.05);
}

TEST(BoardDecoding, CounterResetsClocksAndWraps) {
    TestRig rig(Pack);
    SimulatedBoard& board = rig.port.Board();
    const auto& weights = rig.config.Calibration.BitWeights;

    rig.instrument.StartDischarge(3);
    rig.instrument.ClockCounterTo(100);
    EXPECT_EQ(board.Counter(), 100);
    EXPECT_EQ(board.DacOutput(), WeightSum(100, weights));
    // The pulses leave the rate and relays alone.
    EXPECT_EQ(board.Latch(), 0x23);
    EXPECT_EQ(board.Current(), board.Calibration().DischargeCurrent[3]);

    rig.instrument.ClockCounterTo(4095);
    EXPECT_EQ(board.Counter(), 4095);
    EXPECT_EQ(board.DacOutput(), WeightSum(4095, weights));
    rig.instrument.ClockCounterTo(4097);
    EXPECT_EQ(board.Counter(), 1);
    rig.instrument.ClockCounterTo(0);
    EXPECT_EQ(board.Counter(), 0);
    EXPECT_EQ(board.DacOutput(), 0.0);

    // Bit 6 held high keeps the counter at 0 through clock edges.
    rig.port.Out(0x378, 0x40);
    rig.port.Out(0x378, 0xC0);
    rig.port.Out(0x378, 0x40);
    rig.port.Out(0x378, 0xC0);
    EXPECT_EQ(board.Counter(), 0);
    // Only rising edges count: bit 7 staying high is one pulse.
    rig.port.Out(0x378, 0x80);
    rig.port.Out(0x378, 0x80);
    EXPECT_EQ(board.Counter(), 0);  // the edge came while reset was high
    rig.port.Out(0x378, 0x00);
    rig.port.Out(0x378, 0x80);
    rig.port.Out(0x378, 0x80);
    EXPECT_EQ(board.Counter(), 1);
}

TEST(BoardDecoding, AnswersOnlyAtItsOwnRegisters) {
    TestRig rig(Pack, 0x278);
    SimulatedBoard& board = rig.port.Board();
    rig.instrument.StartCharge(2);
    EXPECT_EQ(board.Latch(), 0x32);

    // Another port's data register: nothing happens, nothing answers.
    rig.port.Out(0x378, 0x3F);
    EXPECT_EQ(board.Latch(), 0x32);
    EXPECT_EQ(rig.port.In(0x378), 0xFF);
    EXPECT_EQ(rig.port.In(0x379), 0xFF);
    EXPECT_EQ(rig.port.In(0x27B), 0xFF);

    // The data register reads back the latch; the control register keeps
    // what is written.
    EXPECT_EQ(rig.port.In(0x278), 0x32);
    EXPECT_EQ(rig.port.In(0x27A), 0x0C);
    rig.port.Out(0x27A, 0x04);
    EXPECT_EQ(rig.port.In(0x27A), 0x04);
    EXPECT_EQ(board.Latch(), 0x32);

    // Status: the unconnected lines idle as 0x67; at count 0 both comparators
    // are still below their inputs.
    EXPECT_EQ(rig.port.In(0x279), 0x67 | 0x10 | 0x08);
    rig.instrument.ClockCounterTo(4095);
    EXPECT_EQ(rig.port.In(0x279), 0x67);
}

TEST(BoardDecoding, CurrentIntegratesBetweenLatchChanges) {
    TestRig rig(Pack);
    const auto& cal = rig.port.Board().Calibration();
    rig.instrument.StartDischarge(8);
    rig.clock.Advance(100.0);
    rig.instrument.AllOff();
    // The current flowed from the write of the rate to the write that cleared
    // it, whatever the waits around them.
    EXPECT_NEAR(rig.port.DeliveredMah(), cal.DischargeCurrent[8] * 100.0 / 3.6, 1e-9);
    EXPECT_EQ(rig.port.ReceivedMah(), 0.0);

    rig.instrument.StartCharge(9);
    rig.clock.Advance(3600.0);
    // Counter pulses and status reads neither stop nor double the count.
    rig.instrument.ReadVoltage(true);
    rig.instrument.SetRate(0);
    EXPECT_NEAR(rig.port.ReceivedMah(), cal.ChargeCurrent[9] * (3600.0 + 0.020) / 3.6, 1e-6);
}

}  // namespace
}  // namespace voltrex::testing

namespace voltrex::testing {
namespace {

TEST(SimulatedPortTiming, AccessTimeAdvancesTheVirtualClock) {
    TestRig rig({simulator::Chemistry::NiMH, 7, 2000.0, 0.5});
    rig.port.SetAccessTime(&rig.clock, 1e-6);
    const double before = rig.clock.Elapsed();
    const std::int64_t accesses = rig.port.Writes() + rig.port.Reads();
    rig.instrument.MeasureVoltage(rig.config.Calibration);
    const std::int64_t made = rig.port.Writes() + rig.port.Reads() - accesses;
    // The 1 ms after the reset pulse plus 1 us for each access: milliseconds,
    // as on the real port.
    EXPECT_NEAR(rig.clock.Elapsed() - before, 0.001 + static_cast<double>(made) * 1e-6, 1e-9);
    EXPECT_GT(made, 2000);
    rig.port.SetAccessTime(nullptr, 0.0);
    const double after = rig.clock.Elapsed();
    rig.port.In(0x379);
    EXPECT_EQ(rig.clock.Elapsed(), after);
}

}  // namespace
}  // namespace voltrex::testing
