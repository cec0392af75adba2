#include "procedures/PackCheck.h"

#include <gtest/gtest.h>

#include "procedures/tests/ProcedureFixture.h"

namespace voltrex::testing {
namespace {

// Each range limit of docs/safety.md, exactly on it and one millivolt per
// cell either side, on a 2-cell pack.
TEST(PackCheckTest, ARestingReadingOnARangeLimitIsInsideIt) {
    struct Case {
        const char* cellType;
        PackTest test;
        double perCell;
        PackVerdict verdict;
    };
    const PackVerdict ok = PackVerdict::Plausible;
    const PackVerdict refused = PackVerdict::Refused;
    const PackVerdict doubtful = PackVerdict::Doubtful;
    const Case cases[] = {
        {"LiPo", PackTest::Charge, 2.949, refused},
        {"LiPo", PackTest::Charge, 2.950, ok},
        {"LiPo", PackTest::Charge, 4.350, ok},
        {"LiPo", PackTest::Charge, 4.351, refused},
        {"LiNP", PackTest::Charge, 2.399, refused},
        {"LiNP", PackTest::Charge, 2.400, ok},
        {"LiNP", PackTest::Charge, 3.650, ok},
        {"LiNP", PackTest::Charge, 3.651, refused},
        {"NiCd", PackTest::Charge, 0.799, doubtful},
        {"NiCd", PackTest::Discharge, 0.800, ok},
        {"NiMH", PackTest::Discharge, 1.500, ok},
        {"NiMH", PackTest::Charge, 1.501, doubtful},
        {"PbAcid", PackTest::Charge, 1.649, doubtful},
        {"PbAcid", PackTest::Charge, 1.650, ok},
        {"PbAcid", PackTest::Discharge, 2.300, ok},
        {"PbAcid", PackTest::Discharge, 2.301, doubtful},
        // A lithium discharge stops short of its configured end voltage
        // (LiPo 3.0 V, LiNP 2.5 V here) and of too few cells set.
        {"LiPo", PackTest::Discharge, 3.000, refused},
        {"LiPo", PackTest::Discharge, 3.001, ok},
        {"LiPo", PackTest::Discharge, 4.351, refused},
        {"LiNP", PackTest::Discharge, 2.500, refused},
        {"LiNP", PackTest::Discharge, 2.501, ok},
        // A pack this program has just emptied is charged unless over-discharged.
        {"LiPo", PackTest::ChargeAfterDischarge, 2.499, refused},
        {"LiPo", PackTest::ChargeAfterDischarge, 2.500, ok},
        {"LiPo", PackTest::ChargeAfterDischarge, 4.351, refused},
        // The Resistance button's settings hold no cell type or count.
        {"LiPo", PackTest::Resistance, 2.0, ok},
        {"NiMH", PackTest::Resistance, 1.8, ok},
    };
    const Configuration config = HandBuiltConfiguration();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.cellType << " " << static_cast<int>(c.test) << " " << c.perCell);
        const PackJudgement judgement = JudgePack(c.test, c.cellType, 2, 2 * c.perCell, config);
        EXPECT_EQ(judgement.Verdict, c.verdict) << judgement.Message;
        EXPECT_EQ(judgement.Message.empty(), c.verdict == ok);
    }
}

TEST(PackCheckTest, NoPackBelowAFifthOfAVoltWhateverTheTest) {
    const Configuration config = HandBuiltConfiguration();
    for (const PackTest test : {PackTest::Discharge, PackTest::Charge, PackTest::Resistance}) {
        EXPECT_EQ(JudgePack(test, "NiMH", 1, 0.199, config).Verdict, PackVerdict::NoPack);
        EXPECT_EQ(JudgePack(test, "LiPo", 12, -3.0, config).Verdict, PackVerdict::NoPack);
        EXPECT_NE(JudgePack(test, "NiMH", 1, 0.200, config).Verdict, PackVerdict::NoPack);
    }
}

TEST(PackCheckTest, ALithiumRefusalNamesTheReadingTheCellsAndTheLikelyCauses) {
    const Configuration config = HandBuiltConfiguration();
    EXPECT_EQ(JudgePack(PackTest::Charge, "LiPo", 3, 7.4, config).Message,
              "The LiPo pack reads 7.40 V, that is 2.467 V per cell for the 3 cells set, outside "
              "the 2.95 to 4.35 V of a LiPo cell at rest. The pack has fewer cells than set, or "
              "the cell type set is wrong, or the pack is over-discharged and must not be "
              "fast-charged. Nothing has been switched on.");
    EXPECT_NE(JudgePack(PackTest::Charge, "LiPo", 2, 12.6, config)
                  .Message.find("The pack has more cells than set"),
              std::string::npos);
}

// The hard limits, exactly on each and one millivolt beyond.
TEST(PackCheckTest, AConfiguredLimitBeyondTheHardOneIsRefusedWithItsLine) {
    // Through an alias: clang-format 14 and 19 space a member pointer
    // declarator differently.
    using Limit = double Configuration::*;
    struct Case {
        Limit field;
        const char* cellType;
        double value;
        bool usable;
    };
    const Case cases[] = {
        {&Configuration::LiPoVmax, "LiPo", 4.350, true},
        {&Configuration::LiPoVmax, "LiPo", 4.351, false},
        {&Configuration::LiNPVmax, "LiNP", 3.650, true},
        {&Configuration::LiNPVmax, "LiNP", 3.651, false},
        {&Configuration::PbAcidVmax, "PbAcid", 2.450, true},
        {&Configuration::PbAcidVmax, "PbAcid", 2.451, false},
        {&Configuration::LiPoVmin, "LiPo", 3.000, true},
        {&Configuration::LiPoVmin, "LiPo", 2.999, false},
        {&Configuration::LiNPVmin, "LiNP", 2.500, true},
        {&Configuration::LiNPVmin, "LiNP", 2.499, false},
        {&Configuration::PbAcidVmin, "PbAcid", 1.750, true},
        {&Configuration::PbAcidVmin, "PbAcid", 1.749, false},
        {&Configuration::NiCdVmin, "NiCd", 0.900, true},
        {&Configuration::NiCdVmin, "NiCd", 0.899, false},
        {&Configuration::NiMHVmin, "NiMH", 0.900, true},
        {&Configuration::NiMHVmin, "NiMH", 0.899, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.cellType << " " << c.value);
        Configuration config = HandBuiltConfiguration();
        config.*(c.field) = c.value;
        EXPECT_EQ(!ConfiguredLimitProblem(c.cellType, config).has_value(), c.usable);
    }
    Configuration config = HandBuiltConfiguration();
    config.LiPoVmax = 4.5;
    config.LiPoLine = 77;
    EXPECT_EQ(ConfiguredLimitProblem("LiPo", config),
              "The LiPo end-of-charge voltage of 4.500 V per cell on line 77 of Voltrex2.ini is "
              "above 4.35 V, the highest a LiPo cell is ever charged to. Correct it in Setup. "
              "Nothing has been switched on.");
    // Another chemistry's limits do not stop this one.
    EXPECT_FALSE(ConfiguredLimitProblem("LiNP", config).has_value());
}

}  // namespace
}  // namespace voltrex::testing
