#include <gtest/gtest.h>

#include <cmath>

#include "calibrate/CurrentProbe.h"
#include "calibrate/EffectTexts.h"
#include "calibrate/ReadingCheck.h"
#include "calibrate/WeightFit.h"
#include "simulator/SampleConfiguration.h"
#include "testsupport/RecordingPort.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {
namespace {

TEST(ReadingCheck, SlippedDecimalsAreCaughtAndNearReadingsTaken) {
    struct Case {
        double reading;
        double expected;
        ReadingVerdict::Kind verdict;
    };
    const Case cases[] = {
        {1.0230, 1.0229, ReadingVerdict::Accepted},
        {1.99, 1.0, ReadingVerdict::Accepted},         // just within a factor of two
        {2.01, 1.0, ReadingVerdict::FarFromExpected},  // just beyond it
        {0.4999, 1.0, ReadingVerdict::FarFromExpected},
        {10.23, 1.0229, ReadingVerdict::SlippedDecimal},  // a point too far right
        {14.9, 1.0, ReadingVerdict::SlippedDecimal},
        {15.1, 1.0, ReadingVerdict::FarFromExpected},
        {0.1023, 1.0229, ReadingVerdict::SlippedDecimal},  // one too far left
        {55.0, 0.55, ReadingVerdict::SlippedDecimal},      // the meter on another range
        {0.0102, 1.0229, ReadingVerdict::SlippedDecimal},
        {6.0, 1.0, ReadingVerdict::FarFromExpected},  // neither near nor a decade off
        {-0.2, 1.0, ReadingVerdict::OutOfRange},
        {100.1, 1.0, ReadingVerdict::OutOfRange},
        {NAN, 1.0, ReadingVerdict::OutOfRange},
        {0.003, 0.0, ReadingVerdict::Accepted},  // nothing expected: the range alone
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckReading(c.reading, c.expected, -0.1, 100.0, "V").Verdict, c.verdict)
            << c.reading << " for " << c.expected;
    }
}

TEST(ReadingCheck, ARepeatFarBeyondTheMetersDigitsIsFlagged) {
    // 4 1/2 digits on the 20 V range: 1 mV a digit, four digits allowed.
    EXPECT_FALSE(CheckRepeat(MeterType::FourAndAHalfDigits, 4.0930, 4.0970));
    EXPECT_TRUE(CheckRepeat(MeterType::FourAndAHalfDigits, 4.0930, 4.0971));
    // The same difference is within four digits of a 3 1/2-digit meter.
    EXPECT_FALSE(CheckRepeat(MeterType::ThreeAndAHalfDigits, 4.093, 4.103));
}

TEST(ReadingCheck, WeightsMustDoubleFromBitToBit) {
    const auto sample = simulator::SampleConfiguration().Calibration.BitWeights;
    EXPECT_TRUE(CheckWeights(sample, sample).Faults.empty());
    auto broken = sample;
    broken[4] = broken[3] * 1.45;  // too little growth from bit 3, too much to bit 5
    EXPECT_EQ(CheckWeights(broken, sample).Faults.size(), 2U);
    broken = sample;
    broken[7] = -broken[7];
    EXPECT_FALSE(CheckWeights(broken, sample).Faults.empty());
    auto scaled = sample;
    for (double& w : scaled) {
        w *= 1.6;  // still doubling, but far from the old values
    }
    EXPECT_TRUE(CheckWeights(scaled, sample).Faults.empty());
    EXPECT_EQ(CheckWeights(scaled, sample).FarFromOld.size(), 12U);
}

TEST(ReadingCheck, CurrentsArePositiveGrowWithTheRateAndStayNearTheOld) {
    EXPECT_FALSE(CheckCurrent(1.03, 1.0, 0.9, 8, false));
    EXPECT_TRUE(CheckCurrent(0.0, 1.0, 0.0, 1, false)->Fault);
    EXPECT_TRUE(CheckCurrent(0.9, 1.0, 0.9, 8, true)->Fault);  // not above the rate below
    const auto doubtful = CheckCurrent(1.51, 1.0, 0.9, 8, false);
    ASSERT_TRUE(doubtful);
    EXPECT_FALSE(doubtful->Fault);
    EXPECT_FALSE(CheckCurrent(1.49, 1.0, 0.9, 8, false));
}

TEST(WeightFit, FindsTheWeightsAndTheOffsetTheModelCannotHold) {
    const auto truth = simulator::SeededBoardCalibration(5);
    std::vector<CountReading> readings;
    for (const std::int32_t count : DesignCounts()) {
        const double volts = truth.ConverterOffset + WeightSum(count, truth.BitWeights);
        const double digit = MeterResolution(MeterType::FourAndAHalfDigits, volts, false);
        readings.push_back({count, std::round(volts / digit) * digit, digit});
    }
    ASSERT_EQ(readings.size(), 26U);
    const WeightFit fit = FitWeights(readings);
    ASSERT_TRUE(fit.Determined);
    // Each weight to within about two thirds of a digit of its single-bit reading.
    for (std::size_t bit = 0; bit < 12; ++bit) {
        const double digit =
            MeterResolution(MeterType::FourAndAHalfDigits, truth.BitWeights[bit], false);
        EXPECT_NEAR(fit.Weights[bit], truth.BitWeights[bit], 0.7 * digit) << bit;
    }
    EXPECT_NEAR(fit.Offset, truth.ConverterOffset, 0.00001);
    EXPECT_LT(fit.ResidualDigits, 1.0);
    EXPECT_LT(fit.WorstDigits, 2.0);
    EXPECT_FALSE(CheckFitAgainstNoise(fit, 0.0));

    // One reading off by 5 mV: the fit says it is worse than the noise.
    readings[20].Volts += 0.005;
    const auto spoilt = CheckFitAgainstNoise(FitWeights(readings), 0.0);
    ASSERT_TRUE(spoilt);
    EXPECT_NE(spoilt->find("count 3967"), std::string::npos) << *spoilt;

    readings.resize(12);  // bits 11 and up never seen
    EXPECT_FALSE(FitWeights(readings).Determined);
}

TEST(EffectTexts, SayWhatAReadingAndAResultBecome) {
    const CalibrationBlock old = simulator::SampleConfiguration().Calibration;
    CalibrationBlock higher = old;
    higher.HighSideMultiplier *= 1.005;
    EXPECT_EQ(VoltageEffect(old, old, 7.2, 20.0), "a 7.200 V reading becomes 7.200 V");
    // The high side grows by 0.5 %, the low side's share stays: 7.200 V plus
    // 0.5 % of it and of the low side's 40 mV.
    EXPECT_EQ(VoltageEffect(old, higher, 7.2, 20.0), "a 7.200 V reading becomes 7.236 V");
    EXPECT_EQ(CapacityEffect(1.002, 1.033, 8, false),
              "a 1000 mAh discharge at rate 8 becomes 1031 mAh");
    EXPECT_EQ(OffsetEffect(0.0002, old).substr(0, 44),
              "at 1 cell (1.2 V) a reading is 2.3 mV low (0");
}

TEST(CurrentProbe, NoCurrentOutlivesItsTimeLimitOrTheProbe) {
    VirtualClock clock;
    RecordingPort port(clock);
    const CalibrationBlock block;
    Instrument instrument(clock, block);
    instrument.BindPort(port);
    instrument.SetPortAddress(0x378);
    {
        CurrentProbe probe(instrument, clock, 60.0);
        probe.SwitchOn(8, false);
        EXPECT_EQ(instrument.ControlLatch(), 0x28);
        clock.Advance(59.0);
        EXPECT_FALSE(probe.EnforceTimeLimit());
        clock.Advance(1.0);
        EXPECT_TRUE(probe.EnforceTimeLimit());
        EXPECT_EQ(instrument.ControlLatch(), 0x00);
        EXPECT_FALSE(probe.EnforceTimeLimit());  // told once
        probe.SwitchOn(3, true);
        EXPECT_EQ(instrument.ControlLatch(), 0x33);
    }
    EXPECT_EQ(instrument.ControlLatch(), 0x00);
    // Off as every drive operation does it: rate first, then the relays.
    const auto& writes = port.Writes();
    ASSERT_GE(writes.size(), 2U);
    EXPECT_EQ(writes[writes.size() - 2].Value, 0x30);
    EXPECT_EQ(writes.back().Value, 0x00);
    EXPECT_DOUBLE_EQ(CurrentFromReading(-0.5, 0.0), 0.5);
    EXPECT_DOUBLE_EQ(CurrentFromReading(0.05, 0.1), 0.5);
}

}  // namespace
}  // namespace voltrex::testing
