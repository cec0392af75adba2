// A pack's health from its records: packs whose true fade is known, made
// here test by test with seeded noise, must come out within the intervals
// the model states; and packs are matched into sets within given limits.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "records/CalendarTime.h"
#include "results/PackHealth.h"

namespace voltrex::results {
namespace {

constexpr std::int64_t HealthDay = 86400;
const std::int64_t HealthStart = CalendarSeconds({2024, 3, 1, 0, 0, 0});

// A pack tested weekly: charged (ending at 10:00), then discharged at 2 A
// (ending at 12:00). Its true capacity on day d after the first test is
// Start - Fade d - Acceleration d^2, its resistance StartOhms + OhmsPerDay d.
struct FadePlan {
    const char* What = "";
    int Tests = 30;
    double Fade = 0.5;
    double Acceleration = 0.0;
    std::vector<double> Formation{};  // the capacity of the first tests instead
    double Noise = 8.0;               // mAh, standard deviation
    int MissingCharge = -1;           // the test whose charge record was lost
    int SecondDischarge = -1;         // a test discharged again, empty, the same day
    int RenamedAt = -1;               // the type entered differently from this test on
    int TopUp = -1;                   // the test whose charge was topped up before its discharge
    double Start = 2000.0;
    double OhmsPerDay = 0.0002;
    unsigned Seed = 12345;

    double TrueCapacity(double day) const { return Start - Fade * day - Acceleration * day * day; }
    double TrueSlopePerDay(double day) const { return -Fade - 2.0 * Acceleration * day; }
};

std::string HealthRecordLine(std::int64_t seconds, TestMode mode, const char* type, double mah,
                             double voltsPerCell, double ohms) {
    return ResultRecordLine(CalendarTimeAt(seconds), mode, 0, 0, type, 2000, 7, 2.0, mah,
                            mah * voltsPerCell * 7, ohms);
}

ResultsFile FadingPackLog(const FadePlan& plan) {
    std::mt19937 random(plan.Seed);
    const auto noise = [&] {  // Box-Muller on the generator's raw output
        const double u1 = (random() + 1.0) / 4294967297.0;
        const double u2 = random() / 4294967296.0;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
    };
    std::string text = ResultsHeader() + "\n";
    for (int test = 0; test < plan.Tests; ++test) {
        const double day = 7.0 * test;
        const std::int64_t midnight = HealthStart + 7 * test * HealthDay;
        const char* type = plan.RenamedAt >= 0 && test >= plan.RenamedAt ? "Eneloop" : "NiMH";
        double capacity = static_cast<std::size_t>(test) < plan.Formation.size()
                              ? plan.Formation[test]
                              : plan.TrueCapacity(day);
        capacity += plan.Noise * noise();
        const double ohms = 0.1 + plan.OhmsPerDay * day + 0.002 * noise();
        if (test != plan.MissingCharge) {
            text += HealthRecordLine(midnight + 10 * 3600, TestMode::Charge, type, capacity * 1.2,
                                     1.4, ohms) +
                    "\n";
        } else {
            capacity *= 0.6;  // a week on the shelf since the last charge
        }
        if (test == plan.TopUp) {
            text +=
                HealthRecordLine(midnight + 11 * 3600, TestMode::Charge, type, 150.0, 1.4, ohms) +
                "\n";
        }
        text +=
            HealthRecordLine(midnight + 12 * 3600, TestMode::Discharge, type, capacity, 1.2, ohms) +
            "\n";
        if (test == plan.SecondDischarge) {
            text +=
                HealthRecordLine(midnight + 15 * 3600, TestMode::Discharge, type, 40.0, 1.1, ohms) +
                "\n";
        }
    }
    return ParseResultsText(text);
}

PackHealth HealthOfPlan(const FadePlan& plan, const HealthSettings& settings = {}) {
    const ResultsFile log = FadingPackLog(plan);
    PackNames names;
    names.SetGroupName({"NiMH", 2000, 7}, "Receiver");
    names.SetGroupName({"Eneloop", 2000, 7}, "Receiver");
    const PackGrouping grouping = GroupRecords(log, names);
    EXPECT_EQ(grouping.Packs.size(), 1u) << plan.What;
    return HealthOf(log, grouping.Packs.at(0), settings);
}

void ExpectWithin(const Rate& rate, double truth, const char* what, const char* figure) {
    EXPECT_LE(rate.Low, truth) << what << ": " << figure;
    EXPECT_GE(rate.High, truth) << what << ": " << figure;
    // An interval that holds anything says nothing.
    EXPECT_LT(rate.High - rate.Low, std::fabs(truth)) << what << ": " << figure;
}

TEST(PackHealth, KnownFadesComeOutWithinTheStatedUncertainty) {
    const FadePlan plans[] = {
        {.What = "linear"},
        {.What = "accelerating", .Tests = 40, .Fade = 0.1, .Acceleration = 0.003},
        {.What = "forming", .Tests = 14, .Formation = {1700.0, 1800.0, 1880.0, 1940.0}},
        {.What = "a charge record lost", .MissingCharge = 25},
        {.What = "a second discharge without a charge", .SecondDischarge = 24},
        {.What = "renamed midway", .RenamedAt = 20},
    };
    for (const FadePlan& plan : plans) {
        const PackHealth health = HealthOfPlan(plan);
        ASSERT_TRUE(health.CapacityTrend && health.ResistanceTrend) << plan.What;
        // The fit covers the latest twelve weekly tests: its slope is the
        // true one in their middle.
        const double centreDay = 7.0 * (plan.Tests - 6.5);
        const double perDay = plan.TrueSlopePerDay(centreDay);
        ExpectWithin(health.CapacityTrend->PerMonth, perDay * SecondsPerMonth / HealthDay,
                     plan.What, "capacity per month");
        ExpectWithin(health.CapacityTrend->PerHundredCycles, perDay * 7.0 * 100.0, plan.What,
                     "capacity per 100 cycles");
        ExpectWithin(health.ResistanceTrend->PerMonth,
                     plan.OhmsPerDay * SecondsPerMonth / HealthDay, plan.What,
                     "resistance per month");
        EXPECT_EQ(health.Cycles, plan.Tests + (plan.SecondDischarge >= 0 ? 1 : 0)) << plan.What;
        EXPECT_EQ(health.Replace.Verdict, Outlook::Fading) << plan.What;
        const double lastDay = 7.0 * (plan.Tests - 1);
        EXPECT_NEAR(*health.Capacity, plan.TrueCapacity(lastDay - 7.0), 20.0) << plan.What;
        if (plan.Acceleration == 0.0) {
            // Where the true line reaches 1600 mAh lies in the projection's range.
            const auto reached = static_cast<std::int64_t>(
                HealthStart + 12 * 3600 + (plan.Start - 1600.0) / plan.Fade * HealthDay);
            EXPECT_LE(*health.Replace.EarliestDate, reached) << plan.What;
            EXPECT_GE(*health.Replace.LatestDate, reached) << plan.What;
        } else {
            // The recent tests, not the pack's whole life, set the pace.
            const double lifetimePerMonth =
                (plan.TrueCapacity(lastDay) - plan.Start) / lastDay * SecondsPerMonth / HealthDay;
            EXPECT_LT(health.CapacityTrend->PerMonth.High, lifetimePerMonth);
        }
    }
}

TEST(PackHealth, TheIntervalHoldsTheTrueSlopeAsOftenAsItSays) {
    // 95 % nominal: of 200 packs alike but for their noise, 190 should hold
    // the true fade, give or take about two standard deviations of the
    // binomial (3 packs each). An interval drawn for 84 % or for 99 % falls
    // outside.
    int held = 0;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const Rate rate = HealthOfPlan({.Noise = 20.0, .Seed = seed}).CapacityTrend->PerMonth;
        const double truth = -0.5 * SecondsPerMonth / HealthDay;
        held += rate.Low <= truth && truth <= rate.High ? 1 : 0;
    }
    EXPECT_GE(held, 184);
    EXPECT_LE(held, 196);
}

TEST(PackHealth, APackThatDoesNotFadeGetsNoDate) {
    const PackHealth health = HealthOfPlan({.What = "flat", .Fade = 0.0, .OhmsPerDay = 0.0});
    EXPECT_EQ(health.Replace.Verdict, Outlook::NotFading);
    EXPECT_FALSE(health.Replace.Date);
    EXPECT_FALSE(health.Replace.Cycle);
    EXPECT_LT(health.CapacityTrend->PerMonth.Low, 0.0);
    EXPECT_GT(health.CapacityTrend->PerMonth.High, 0.0);
}

TEST(PackHealth, TheThresholdDecidesTheVerdictAndTheProjection) {
    // Without noise: 1 mAh a day from 2000 mAh, so 1600 mAh (80 %) on day 400
    // and 1620 mAh (81 %) on day 380; weekly, that is cycles 58.1 and 55.3.
    // A flat pack is due just below the threshold.
    const struct {
        double Fade;
        double Start;
        double ReplaceAt;
        Outlook Verdict;
        int Day;  // of the projected date
        int Cycle;
    } cases[] = {
        {1.0, 2000.0, 0.80, Outlook::Fading, 400, 59},
        {1.0, 2000.0, 0.81, Outlook::Fading, 380, 56},
        {0.0, 1600.0, 0.80, Outlook::NotFading, 0, 0},
        {0.0, 1599.9, 0.80, Outlook::Reached, 0, 0},
        {0.0, 1620.0, 0.81, Outlook::NotFading, 0, 0},
        {0.0, 1619.9, 0.81, Outlook::Reached, 0, 0},
        {0.0, 0.0, 0.80, Outlook::Reached, 0, 0},  // dead: nothing came out
    };
    for (const auto& c : cases) {
        HealthSettings settings;
        settings.ReplaceAt = c.ReplaceAt;
        const PackHealth health = HealthOfPlan(
            {.Fade = c.Fade, .Noise = 0.0, .Start = c.Start, .OhmsPerDay = 0.0}, settings);
        EXPECT_EQ(health.Replace.Verdict, c.Verdict) << c.Start << " at " << c.ReplaceAt;
        EXPECT_EQ(health.BelowThreshold(), c.Verdict == Outlook::Reached);
        if (c.Verdict == Outlook::Fading) {
            EXPECT_NEAR(static_cast<double>(*health.Replace.Date),
                        static_cast<double>(HealthStart + 12 * 3600 + c.Day * HealthDay), 60.0);
            EXPECT_EQ(health.Replace.Cycle, c.Cycle);
            EXPECT_NEAR(static_cast<double>(*health.Replace.EarliestDate),
                        static_cast<double>(*health.Replace.Date), 1.0);
        } else {
            EXPECT_FALSE(health.Replace.Date);
        }
    }
}

TEST(PackHealth, EachChargeIsSetAgainstTheDischargeThatFollowsIt) {
    const PackHealth health =
        HealthOfPlan({.Noise = 0.0, .MissingCharge = 10, .SecondDischarge = 20, .TopUp = 25});
    // The discharge without its charge, and the one after another
    // discharge, have no efficiency and do not measure the pack; the one
    // after a top-up charge measures the pack, but the top-up's 150 mAh is
    // no measure of what went in.
    EXPECT_EQ(health.Efficiency.size(), 28u);
    EXPECT_EQ(health.FullDischarges, 29u);
    EXPECT_EQ(health.Efficiency[9].Cycle, 10);
    EXPECT_EQ(health.Efficiency[10].Cycle, 12);
    EXPECT_EQ(health.Efficiency[20].Cycle, 23);
    EXPECT_EQ(health.Efficiency[23].Cycle, 26);
    EXPECT_EQ(health.Efficiency[24].Cycle, 28);
    for (const CycleEfficiency& cycle : health.Efficiency) {
        EXPECT_NEAR(cycle.Charge, 1.0 / 1.2, 1e-4);
        EXPECT_NEAR(*cycle.Energy, 1.0 / 1.4, 1e-4);
    }
    EXPECT_NEAR(*health.VoltsPerCell, 1.2, 1e-4);

    // A first discharge with no charge recorded before it is drawn as full
    // in the capacity history and counts as full here too, without an
    // efficiency.
    const PackHealth chargedElsewhere = HealthOfPlan({.Noise = 0.0, .MissingCharge = 0});
    EXPECT_EQ(chargedElsewhere.FullDischarges, 30u);
    ASSERT_EQ(chargedElsewhere.Efficiency.size(), 29u);
    EXPECT_EQ(chargedElsewhere.Efficiency[0].Cycle, 2);
}

PackHealth FiguresOfPack(const char* type, int rated, int cells, double capacity, double ohms) {
    PackHealth pack;
    pack.Type = type;
    pack.Rated = rated;
    pack.Cells = cells;
    pack.Capacity = capacity;
    pack.Ohms = ohms;
    return pack;
}

TEST(PackMatching, PacksAgreeWithinTheLimitsAndNoFurther) {
    // Default limits: 3 % of the rating (60 mAh) and 15 % of the lower
    // resistance per cell.
    const PackHealth first = FiguresOfPack("NiMH", 2000, 7, 1900.0, 0.7);
    struct {
        const char* What;
        PackHealth Other;
        bool Match;
    } cases[] = {
        {"60 mAh more", FiguresOfPack("NiMH", 2000, 7, 1960.0, 0.7), true},
        {"60.1 mAh more", FiguresOfPack("NiMH", 2000, 7, 1960.1, 0.7), false},
        {"15 % more resistance", FiguresOfPack("NiMH", 2000, 7, 1900.0, 0.805), true},
        {"15.1 % more", FiguresOfPack("NiMH", 2000, 7, 1900.0, 0.8057), false},
        {"one cell fewer, alike per cell", FiguresOfPack("NiMH", 2000, 6, 1900.0, 0.6), true},
        {"another rating", FiguresOfPack("NiMH", 2100, 7, 1900.0, 0.7), false},
        {"another type", FiguresOfPack("NiCd", 2000, 7, 1900.0, 0.7), false},
        {"alike but due for replacing", FiguresOfPack("NiMH", 2000, 7, 1900.0, 0.7), false},
    };
    cases[std::size(cases) - 1].Other.Replace.Verdict = Outlook::Reached;
    for (const auto& c : cases) {
        EXPECT_EQ(MatchPacks({first, c.Other}).size(), c.Match ? 1u : 0u) << c.What;
    }
    // Every two packs of a set agree: 1960 and 1880 do not, though each
    // agrees with 1920. The largest set comes first.
    const std::vector<PackHealth> packs = {
        FiguresOfPack("NiMH", 2000, 7, 1880.0, 0.7),  FiguresOfPack("NiMH", 2000, 7, 1920.0, 0.7),
        FiguresOfPack("NiMH", 2000, 7, 1960.0, 0.7),  FiguresOfPack("LiPo", 2200, 3, 2100.0, 0.03),
        FiguresOfPack("LiPo", 2200, 3, 2110.0, 0.03), FiguresOfPack("LiPo", 2200, 3, 2120.0, 0.03)};
    EXPECT_EQ(MatchPacks(packs), (std::vector<std::vector<std::size_t>>{{5, 4, 3}, {2, 1}}));
}

TEST(PackHealth, ItsBandAgainstTheThresholdMovesWithEitherByAPoint) {
    struct Case {
        std::optional<double> health;
        double replaceAt;
        bool reached;
        HealthBand band;
    };
    for (const Case& c : std::vector<Case>{{0.85, 0.80, false, HealthBand::Good},
                                           {0.849, 0.80, false, HealthBand::Near},
                                           {0.80, 0.80, false, HealthBand::Near},
                                           {0.799, 0.80, false, HealthBand::Replace},
                                           {0.80, 0.75, false, HealthBand::Good},
                                           {0.799, 0.75, false, HealthBand::Near},
                                           {0.75, 0.75, false, HealthBand::Near},
                                           {0.95, 0.80, true, HealthBand::Replace},
                                           {std::nullopt, 0.80, false, HealthBand::Unknown}}) {
        PackHealth health;
        health.StateOfHealth = c.health;
        health.Replace.Verdict = c.reached ? Outlook::Reached : Outlook::NotFading;
        EXPECT_EQ(BandOf(health, c.replaceAt), c.band)
            << c.health.value_or(-1.0) << " against " << c.replaceAt;
    }
}

}  // namespace
}  // namespace voltrex::results
