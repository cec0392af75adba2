#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "InstrumentFixture.h"
#include "platform/CFormat.h"

namespace voltrex::testing {
namespace {

using MeasureVoltageTest = InstrumentFixture;

// C entry points for a recording port, as the port library hands out its
// own: they count their calls and reach the port through this test-only
// variable (a C function carries no context).
RecordingPort* directPort = nullptr;
int directCalls = 0;

void DirectOut(unsigned short port, unsigned char value) {
    ++directCalls;
    directPort->Out(port, value);
}
unsigned char DirectIn(unsigned short port) {
    ++directCalls;
    return directPort->In(port);
}

// Every access in order, reads and writes interleaved, against a 12-bit
// counter clocked by the data byte's bits 6 (reset) and 7 (clock), whose
// comparators flip at the given counts (-1: never).
class AccessLog final : public Port {
  public:
    AccessLog(int lowFlip, int highFlip) : lowFlip_(lowFlip), highFlip_(highFlip) {}
    void Out(std::uint16_t port, std::uint8_t value) override {
        Log += Format("W%X:%02X ", port, value);
        if ((value & 0x40) != 0) {
            counter_ = 0;
        } else if ((value & 0x80) != 0 && (last_ & 0x80) == 0) {
            ++counter_;
        }
        last_ = value;
    }
    std::uint8_t In(std::uint16_t port) override {
        Log += Format("R%X@%d ", port, counter_);
        const auto below = [this](int flip) { return flip < 0 || counter_ < flip; };
        return static_cast<std::uint8_t>((below(lowFlip_) ? 0x10 : 0) |
                                         (below(highFlip_) ? 0x08 : 0) | 0x07);
    }
    std::string Log;

  private:
    int lowFlip_;
    int highFlip_;
    int counter_ = 0;
    std::uint8_t last_ = 0;
};

// The conversion as the instrument's wiring defines it, deciding at every
// count from the weights themselves whether to sample it, and logging what
// it would access; returns the result.
double ReferenceRamp(AccessLog& log, std::uint8_t idle, const CalibrationBlock& calibration) {
    log.Out(0x378, static_cast<std::uint8_t>(idle | 0x40));
    log.Out(0x378, idle);
    int low = -1;
    int high = -1;
    int count = 0;
    bool sample = true;
    while (true) {
        if (sample) {
            if (low == -1 && (log.In(0x379) & 0x10) == 0) {
                low = count;
            }
            if ((log.In(0x379) & 0x08) == 0) {
                high = count;
                break;
            }
        }
        log.Out(0x378, static_cast<std::uint8_t>(idle | 0x80));
        log.Out(0x378, idle);
        if (++count == 4096) {
            break;
        }
        sample = WeightSum(count, calibration.BitWeights) > 0.0;
    }
    if (low == -1 || high == -1) {
        return -1.0;
    }
    return WeightSum(high, calibration.BitWeights) * calibration.HighSideMultiplier -
           WeightSum(low, calibration.BitWeights) * calibration.LowSideMultiplier;
}

TEST(WeightSumTest, AddsTheSelectedWeightsAndIgnoresHighBits) {
    std::array<double, 12> weights{};
    for (int i = 0; i < 12; ++i) {
        weights[static_cast<std::size_t>(i)] = 1 << i;
    }
    EXPECT_EQ(WeightSum(0, weights), 0.0);
    EXPECT_EQ(WeightSum(4095, weights), 4095.0);
    EXPECT_EQ(WeightSum(0x1000 | 5, weights), 5.0);
    EXPECT_EQ(WeightSum(-1, weights), 4095.0);
    // Bit 12 selects nothing, not what follows the weights.
    CalibrationBlock calibration;
    calibration.BitWeights = weights;
    calibration.LowSideMultiplier = 1e6;
    calibration.HighSideMultiplier = 1e6;
    EXPECT_EQ(WeightSum(0x1000 | 5, calibration.BitWeights), 5.0);
}

TEST_F(MeasureVoltageTest, BothComparatorsAlreadyLowGiveZero) {
    SetLatch(0x23);
    port_.SetFlipCounts(0, 0);
    const double before = clock_.Elapsed();
    EXPECT_EQ(instrument_.MeasureVoltage(calibration_), 0.0);
    // The counter is given 1 ms after its reset; the ramp itself has no waits.
    EXPECT_NEAR(clock_.Elapsed() - before, 0.001, 1e-12);
    EXPECT_EQ(port_.ClockPulses(), 0);
    EXPECT_EQ(port_.StatusReads(), 2);
    // Reset pulse only, relays and rate kept.
    EXPECT_EQ(port_.WrittenValues(), (std::vector<std::uint8_t>{0x63, 0x23}));
    EXPECT_EQ(instrument_.ControlLatch(), 0x23);
}

TEST_F(MeasureVoltageTest, RampSamplesLowSideUntilItFlipsThenHighSide) {
    SetLatch(0x35);
    port_.SetFlipCounts(100, 900);
    const double v = instrument_.MeasureVoltage(calibration_);
    EXPECT_DOUBLE_EQ(v, WeightSum(900, calibration_.BitWeights) * 10.0 -
                            WeightSum(100, calibration_.BitWeights) * 2.0);
    // Two reads per count up to and including 100, one per count after.
    EXPECT_EQ(port_.StatusReads(), 101 * 2 + 800);
    EXPECT_EQ(port_.ClockPulses(), 900);
    EXPECT_EQ(port_.Counter(), 900);  // the counter stays where the ramp ended
    // Pulses keep the relay and rate bits.
    for (const auto& w : port_.Writes()) {
        EXPECT_EQ(w.Value & 0x3F, 0x35);
    }
    EXPECT_EQ(instrument_.ControlLatch(), 0x35);
}

TEST_F(MeasureVoltageTest, APortsCEntryPointsCarryTheSameConversionAsTheObject) {
    SetLatch(0x35);
    port_.SetFlipCounts(100, 900);
    const double throughObject = instrument_.MeasureVoltage(calibration_);

    RecordingPort direct(clock_);
    direct.SetFlipCounts(100, 900);
    direct.SetProcs({&DirectOut, &DirectIn});
    directPort = &direct;
    directCalls = 0;
    instrument_.BindPort(direct);
    EXPECT_EQ(instrument_.MeasureVoltage(calibration_), throughObject);
    directPort = nullptr;
    // Every access went through the entry points, and they were the same.
    EXPECT_EQ(directCalls, static_cast<int>(direct.Writes().size()) + direct.StatusReads());
    EXPECT_EQ(direct.StatusReads(), port_.StatusReads());
    ASSERT_EQ(direct.Writes().size(), port_.Writes().size());
    for (std::size_t i = 0; i < direct.Writes().size(); ++i) {
        EXPECT_EQ(direct.Writes()[i].Port, port_.Writes()[i].Port) << i;
        EXPECT_EQ(direct.Writes()[i].Value, port_.Writes()[i].Value) << i;
    }
    EXPECT_EQ(direct.OtherReads(), 0);
    instrument_.BindPort(port_);
}

// The ramp decides which counts to sample from a table made once per set of
// weights; the accesses it makes, their order and the result must be those
// of deciding at every count, for weights that skip counts (zero, negative,
// not a number, all zero), for every way the comparators can flip, and after
// the weights change in the same calibration block.
TEST_F(MeasureVoltageTest, EveryAccessInOrderIsThatOfDecidingAtEveryCount) {
    struct Weights {
        const char* Name;
        std::array<double, 12> Values;
    };
    std::array<double, 12> positive{};
    for (int i = 0; i < 12; ++i) {
        positive[static_cast<std::size_t>(i)] = 0.00125 * (1 << i);
    }
    auto with = [&positive](std::initializer_list<std::pair<int, double>> changes) {
        std::array<double, 12> values = positive;
        for (const auto& [bit, value] : changes) {
            values[static_cast<std::size_t>(bit)] = value;
        }
        return values;
    };
    const Weights weightSets[] = {
        {"positive", positive},
        {"bits 0 and 1 zero", with({{0, 0.0}, {1, 0.0}})},
        {"negative low bits", with({{0, -0.004}, {1, 0.001}, {2, 0.003}})},
        {"not a number", with({{1, std::nan("")}})},
        {"all zero", {}},
        {"negative top bit", with({{11, -100.0}})},
    };
    const std::pair<int, int> flips[] = {{0, 0},    {3, 3},       {1, 9},      {2, 7},
                                         {-1, 7},   {-1, -1},     {6, -1},     {4095, 4095},
                                         {0, 4095}, {2047, 2049}, {3000, 2000}};
    for (const Weights& weights : weightSets) {
        calibration_.BitWeights = weights.Values;
        for (const auto& [lowFlip, highFlip] : flips) {
            SCOPED_TRACE(Format("%s, flips %d %d", weights.Name, lowFlip, highFlip));
            AccessLog actual(lowFlip, highFlip);
            AccessLog expected(lowFlip, highFlip);
            instrument_.BindPort(actual);
            const double v = instrument_.MeasureVoltage(calibration_);
            const double reference = ReferenceRamp(expected, 0x00, calibration_);
            ASSERT_EQ(actual.Log, expected.Log);
            if (std::isnan(reference)) {
                EXPECT_TRUE(std::isnan(v));
            } else {
                EXPECT_EQ(v, reference);
            }
        }
    }
    instrument_.BindPort(port_);
}

TEST_F(MeasureVoltageTest, HighSideWithoutLowSideFails) {
    port_.SetFlipCounts(-1, 50);
    EXPECT_EQ(instrument_.MeasureVoltage(calibration_), -1.0);
    EXPECT_EQ(port_.ClockPulses(), 50);
}

TEST_F(MeasureVoltageTest, LowSideWithoutHighSideFails) {
    port_.SetFlipCounts(100, -1);
    EXPECT_EQ(instrument_.MeasureVoltage(calibration_), -1.0);
    EXPECT_EQ(port_.ClockPulses(), 4096);
}

TEST_F(MeasureVoltageTest, NeitherFlipRampsTheWholeRange) {
    port_.SetFlipCounts(-1, -1);
    EXPECT_EQ(instrument_.MeasureVoltage(calibration_), -1.0);
    EXPECT_EQ(port_.ClockPulses(), 4096);
    EXPECT_EQ(port_.StatusReads(), 4096 * 2);  // counts 0..4095, both sides each
    EXPECT_EQ(port_.ResetPulses(), 1);
}

TEST_F(MeasureVoltageTest, ZeroWeightCountsAreClockedWithoutSampling) {
    calibration_.BitWeights[0] = 0.0;
    calibration_.BitWeights[1] = 0.0;
    std::vector<int> sampled;
    port_.SetStatusFunction([&](int count) {
        sampled.push_back(count);
        return static_cast<std::uint8_t>(count >= 6 ? 0x00 : 0x18);
    });
    instrument_.MeasureVoltage(calibration_);
    // Count 0 is always sampled; 1, 2, 3 pass unsampled; 4 onwards are sampled.
    EXPECT_EQ(sampled, (std::vector<int>{0, 0, 4, 4, 5, 5, 6, 6}));
}

TEST_F(MeasureVoltageTest, ReadVoltageRestartAveragesTwentyConversions) {
    port_.SetFlipCounts(-1, -1);
    EXPECT_NEAR(instrument_.ReadVoltage(true), -1.0, 1e-12);
    EXPECT_EQ(port_.ResetPulses(), 20);
}

TEST_F(MeasureVoltageTest, ReadVoltageSmoothsWithWeightOneTwentieth) {
    // Unit weights make the count the voltage: high side x 0.01 V.
    for (auto& w : calibration_.BitWeights) {
        w = 0.0;
    }
    for (int i = 0; i < 12; ++i) {
        calibration_.BitWeights[static_cast<std::size_t>(i)] = (1 << i) * 0.01;
    }
    calibration_.LowSideMultiplier = 1.0;
    calibration_.HighSideMultiplier = 1.0;
    port_.SetFlipCounts(0, 1200);
    EXPECT_NEAR(instrument_.ReadVoltage(true), 12.0, 1e-9);
    port_.SetFlipCounts(0, 1220);
    EXPECT_NEAR(instrument_.ReadVoltage(false), 12.01, 1e-9);
    EXPECT_NEAR(instrument_.SmoothedVoltage(), 12.01, 1e-9);
}

TEST_F(MeasureVoltageTest, AnyFailedConversionMarksTheReadingFailed) {
    // Only the last of a restart's 20 conversions fails: the mean hides it.
    port_.SetStatusFunction([this](int count) -> std::uint8_t {
        const bool last = port_.ResetPulses() == 20;
        return last || count < 100 ? 0x18 : 0x00;
    });
    instrument_.ReadVoltage(true);
    EXPECT_TRUE(instrument_.ReadingFailed());
    EXPECT_GT(instrument_.SmoothedVoltage(), 0.0);

    // The next good conversion clears it; one failed update sets it again.
    instrument_.ReadVoltage(false);
    EXPECT_FALSE(instrument_.ReadingFailed());
    port_.SetFlipCounts(-1, -1);
    instrument_.ReadVoltage(false);
    EXPECT_TRUE(instrument_.ReadingFailed());
    port_.SetFlipCounts(0, 100);
    instrument_.ReadVoltage(true);
    EXPECT_FALSE(instrument_.ReadingFailed());
}

}  // namespace
}  // namespace voltrex::testing
