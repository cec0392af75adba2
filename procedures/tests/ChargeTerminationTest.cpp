#include "procedures/ChargeTermination.h"

#include <gtest/gtest.h>

#include <limits>

namespace voltrex {
namespace {

ChemistryRules Nickel(double threshold) {
    ChemistryRules rules;
    rules.DeltaThreshold = threshold;
    return rules;
}

TEST(ChargeTerminationTest, TheTimeLimitIsTruncatedTwice) {
    // 1000 mAh at 0.7 A: 5142.86 s, truncated to 5142; times 1.75 is 8998.5,
    // truncated to 8998 (9000 without the first truncation).
    EXPECT_EQ(ChargeTermination::TimeLimitFor(1000, 0.7, 1.75), 8998);
    EXPECT_EQ(ChargeTermination::TimeLimitFor(2000, 1.0, 1.25), 9000);
    EXPECT_EQ(ChargeTermination::TimeLimitFor(2000, 1.0, 1.75), 12600);
    // A tiny current cannot overflow a 32-bit count of seconds.
    EXPECT_EQ(ChargeTermination::TimeLimitFor(99999, 1e-12, 1.75),
              std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(Nickel(0.005).TimeLimitFactor(), 1.25);
    EXPECT_EQ(Nickel(NoDeltaThreshold).TimeLimitFactor(), 1.75);
}

TEST(ChargeTerminationTest, TheFirstRuleThatAppliesDecides) {
    ChemistryRules lithium;
    lithium.VoltageCeiling = 8.4;
    ChargeTermination rules(lithium, 100, 30, 1000);
    // Above the ceiling during the first minute: stepped down, not settled.
    EXPECT_EQ(rules.Evaluate(1010, 10, 8.5), ChargeVerdict::StepDown);
    EXPECT_EQ(rules.Evaluate(1100, 100, 8.5), ChargeVerdict::StepDown);
    // The time limit comes first once it is passed, strictly.
    EXPECT_EQ(rules.Evaluate(1101, 101, 8.5), ChargeVerdict::TimeLimit);
    EXPECT_EQ(rules.Evaluate(1101, 101, 8.0), ChargeVerdict::TimeLimit);
    EXPECT_EQ(rules.Evaluate(1100, 100, 8.4), ChargeVerdict::Continue);
}

TEST(ChargeTerminationTest, NoPeakIsTrackedUpToSixtySecondsAndTheTimerFollowsThem) {
    ChargeTermination rules(Nickel(0.25), 10000, 30, 1000);
    EXPECT_EQ(rules.Evaluate(1060, 60, 9.0), ChargeVerdict::Continue);
    EXPECT_EQ(rules.Drop(), 0.0);
    EXPECT_EQ(rules.DeltaSeconds(1060), 0);
    // 9.0 V at 60 s set no peak: 8.0 V at 61 s is the peak, no drop.
    EXPECT_EQ(rules.Evaluate(1061, 61, 8.0), ChargeVerdict::Continue);
    EXPECT_EQ(rules.Drop(), 0.0);
    EXPECT_EQ(rules.Evaluate(1062, 62, 7.0), ChargeVerdict::Continue);
    EXPECT_EQ(rules.Drop(), 0.125);
}

TEST(ChargeTerminationTest, ADropEqualToTheThresholdCountsAndTheEndComesAfterMoreThanTheDuration) {
    ChargeTermination rules(Nickel(0.25), 10000, 30, 1000);
    EXPECT_EQ(rules.Evaluate(1100, 100, 8.0), ChargeVerdict::Continue);  // the peak
    // 6.0 V is exactly 25 % below 8.0 V: at the threshold, so the timer runs
    // from the last pass below it, at 100.
    for (std::int64_t t = 101; t <= 130; ++t) {
        ASSERT_EQ(rules.Evaluate(1000 + t, t, 6.0), ChargeVerdict::Continue) << t;
    }
    EXPECT_EQ(rules.Drop(), 0.25);
    EXPECT_EQ(rules.DeltaSeconds(1130), 30);
    EXPECT_EQ(rules.Evaluate(1131, 131, 6.0), ChargeVerdict::DeltaV);
}

TEST(ChargeTerminationTest, OnePassBelowTheThresholdStartsTheCountAgain) {
    ChargeTermination rules(Nickel(0.25), 10000, 30, 1000);
    rules.Evaluate(1100, 100, 8.0);
    for (std::int64_t t = 101; t <= 120; ++t) {
        rules.Evaluate(1000 + t, t, 6.0);
    }
    EXPECT_EQ(rules.Evaluate(1121, 121, 6.01), ChargeVerdict::Continue);
    EXPECT_EQ(rules.DeltaSeconds(1121), 0);
    for (std::int64_t t = 122; t <= 151; ++t) {
        ASSERT_EQ(rules.Evaluate(1000 + t, t, 6.0), ChargeVerdict::Continue) << t;
    }
    EXPECT_EQ(rules.Evaluate(1152, 152, 6.0), ChargeVerdict::DeltaV);
}

TEST(ChargeTerminationTest, WithoutDeltaVOnlyAReadingOfZeroCountsAsADrop) {
    ChargeTermination rules(Nickel(NoDeltaThreshold), 10000, 30, 1000);
    rules.Evaluate(1100, 100, 8.0);
    for (std::int64_t t = 101; t <= 200; ++t) {
        ASSERT_EQ(rules.Evaluate(1000 + t, t, 0.001), ChargeVerdict::Continue) << t;
    }
    for (std::int64_t t = 201; t <= 230; ++t) {
        ASSERT_EQ(rules.Evaluate(1000 + t, t, 0.0), ChargeVerdict::Continue) << t;
    }
    EXPECT_EQ(rules.Evaluate(1231, 231, 0.0), ChargeVerdict::DeltaV);
}

}  // namespace
}  // namespace voltrex
