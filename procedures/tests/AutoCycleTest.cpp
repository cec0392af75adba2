#include "graph/GraphFileError.h"
#include "platform/CFormat.h"
#include "procedures/CapacityRule.h"
#include "procedures/tests/ProcedureFixture.h"

namespace voltrex::testing {
namespace {

TEST(CapacityRuleTest, ComparesThePreviousDurationTimesTheRatio) {
    // 3600 x 1.001 = 3603.6
    EXPECT_TRUE(CapacityStoppedGrowing(3600, 3603, 1.001));
    EXPECT_FALSE(CapacityStoppedGrowing(3600, 3604, 1.001));
    EXPECT_TRUE(CapacityStoppedGrowing(3600, 3600, 1.0));
    EXPECT_TRUE(CapacityStoppedGrowing(3600, 3500, 1.001));
    EXPECT_FALSE(CapacityStoppedGrowing(3600, 3601, 1.0));
}

// A scripted 2-cell LiPo pack (end voltage 7.0 V, ceiling 8.4 V): it holds
// 7.2 V while discharging until the scripted duration of that discharge has
// passed, then reads nothing; on charge it reads 8.8 V (above the ceiling,
// below the 8.9 V cut-off), so each charge steps down from rate 2 to 0 in two
// passes. The window's yields record the phases:
// D discharge, R rest (all off), C charge.
class AutoCycleTest : public RecordedProcedureTest {
  protected:
    void SetUp() override {
        RecordedProcedureTest::SetUp();
        settings.CellType = "LiPo";
        settings.NumberOfCells = 2;
        settings.ChargeRate = 2;
        settings.DischargeRate = 5;
        settings.MaximumCycles = 3;
        settings.StopOnSmallIncrease = false;
        settings.SaveGraphEachCycle = false;
        config.LiPoVmin = 3.5;
        config.CycleRestTime = 10;
        config.CycleTerminationRatio = 1.1;
        SetVoltageFunction(
            [this] { return (instrument.ControlLatch() & 0x30) == 0x30 ? 8.8 : dischargeVolts_; });
        ui.OnYield = [this] { Watch(); };
    }

    void Watch() {
        port.ClearLog();
        const std::uint8_t latch = instrument.ControlLatch();
        const char phase = (latch & 0x20) == 0 ? 'R' : ((latch & 0x10) != 0 ? 'C' : 'D');
        if (phases.empty() || phases.back() != phase) {
            phases += phase;
            if (phase == 'D') {
                began_ = clock.Elapsed();
                ++discharges_;
            }
            if (StopOnPhase != 0 && phases.size() == StopOnPhase) {
                ui.ClickStop();
            }
        }
        if (phase == 'D' &&
            clock.Elapsed() - began_ >= Durations[static_cast<std::size_t>(discharges_ - 1)]) {
            dischargeVolts_ = 0.0;
        }
        if (phase == 'R') {
            dischargeVolts_ = 7.2;
        }
    }

    // Mode column of every record.
    std::string Modes() {
        std::string modes;
        const std::vector<std::string> lines = ResultLines();
        for (std::size_t i = 1; i < lines.size(); ++i) {
            modes += lines[i].substr(23, 3) + lines[i].substr(27, 3);
        }
        return modes;
    }

    std::vector<double> Durations = {20, 20, 20, 20, 20, 20};
    std::size_t StopOnPhase = 0;  // click Stop when this phase (1-based) begins
    std::string phases;

  private:
    double dischargeVolts_ = 7.2;
    double began_ = 0.0;
    int discharges_ = 0;
};

TEST_F(AutoCycleTest, ThreeCyclesOfDischargeRestChargeWithABitmapEach) {
    settings.SaveGraphEachCycle = true;
    const double before = clock.Elapsed();
    procedures.RunAutoCycle();

    EXPECT_EQ(phases, "DRCRDRCRDRC");  // no rest after the last charge
    EXPECT_TRUE(ui.Errors.empty());
    EXPECT_EQ(instrument.ControlLatch(), 0);
    // Five rests of 10 s and three discharges of 20 s at least.
    EXPECT_GE(clock.Elapsed() - before, 5 * 10 + 3 * 20);
    EXPECT_LE(clock.Elapsed() - before, 5 * 11 + 3 * 20 + 30);

    const std::vector<std::string> lines = ResultLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(Modes(), "DIS,1,CHG,1,DIS,2,CHG,2,DIS,3,CHG,3,");
    // Every record is of 3 cycles.
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].substr(29, 3), ",3,") << lines[i];
    }

    // One bitmap per cycle, named by the local time the cycle's charge ended.
    std::vector<std::string> expected;
    for (std::size_t i = 2; i < lines.size(); i += 2) {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        ASSERT_EQ(ScanC(lines[i].c_str(), "\"%d-%d-%d %d:%d:%d\"", &y, &mo, &d, &h, &mi, &s), 6);
        expected.push_back(Format("%04d%02d%02d-%02d%02d%02d.bmp", y, mo, d, h, mi, s));
    }
    expected.push_back("Voltrex2.csv");
    expected.push_back("curves");
    EXPECT_EQ(folder.Files(), expected);
}

TEST_F(AutoCycleTest, OneCycleHasNoRestBeforeItAndNoneAfter) {
    settings.MaximumCycles = 1;
    settings.StopOnSmallIncrease = true;
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "DRC");
    EXPECT_EQ(Modes(), "DIS,1,CHG,1,");
    EXPECT_EQ(folder.Files(), (std::vector<std::string>{"Voltrex2.csv", "curves"}));
}

// A nickel pack outside its resting range is put to the user once, before
// the first discharge: No starts nothing, and after Yes the later phases do
// not hold the pack waiting for another answer.
TEST_F(AutoCycleTest, ADoubtfulNickelPackIsAskedAboutOnceForTheWholeSequence) {
    settings.CellType = "NiMH";  // 3.6 V per cell at rest
    settings.Capacity = 2;       // each charge ends on its 45 s time limit
    settings.MaximumCycles = 2;
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "");
    EXPECT_EQ(ui.Questions.size(), 1u);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));

    ui.Answer = true;
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "DRCRDRC");
    EXPECT_EQ(ui.Questions.size(), 2u);
    EXPECT_EQ(Modes(), "DIS,1,CHG,1,DIS,2,CHG,2,");
}

TEST_F(AutoCycleTest, EndsAfterTheChargeOfTheCycleWhoseCapacityStoppedGrowing) {
    settings.MaximumCycles = 6;
    settings.StopOnSmallIncrease = true;
    settings.SaveGraphEachCycle = true;
    // Cycle 2 shorter than cycle 1 does not count; cycle 3 gains over cycle 2,
    // cycle 4 holds level with cycle 3 (within the ratio of 1.1) and ends it.
    Durations = {40, 20, 30, 31, 60, 60};
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "DRCRDRCRDRCRDRC");
    EXPECT_EQ(Modes(), "DIS,1,CHG,1,DIS,2,CHG,2,DIS,3,CHG,3,DIS,4,CHG,4,");
    // The last cycle's graph is saved before the capacity test ends the run.
    EXPECT_EQ(folder.Files().size(), 4u + 1u + 1u);  // the bitmaps, the log and the curves
}

TEST_F(AutoCycleTest, WithoutTheCapacityTestAllCyclesRun) {
    settings.MaximumCycles = 4;
    Durations = {20, 20, 20, 20};
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "DRCRDRCRDRCRDRC");
}

TEST_F(AutoCycleTest, StopInTheRestBeforeTheChargeEndsItWithoutCharging) {
    StopOnPhase = 2;
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "DR");
    EXPECT_EQ(Modes(), "DIS,1,");
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_FALSE(ui.StopPending());
}

TEST_F(AutoCycleTest, StopInTheRestBeforeTheNextDischargeEndsIt) {
    settings.SaveGraphEachCycle = true;
    StopOnPhase = 4;
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "DRCR");
    EXPECT_EQ(Modes(), "DIS,1,CHG,1,");
    EXPECT_EQ(folder.Files().size(), 3u);  // the log, cycle 1's bitmap and the curves
}

TEST_F(AutoCycleTest, StopDuringTheSecondDischargeEndsItAfterSwitchingOff) {
    settings.SaveGraphEachCycle = true;
    StopOnPhase = 5;
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "DRCRD");
    EXPECT_EQ(Modes(), "DIS,1,CHG,1,");
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_EQ(folder.Files().size(), 3u);
}

TEST_F(AutoCycleTest, AStopLeftPendingBetweenCyclesIsCaughtAtTheHead) {
    ui.ClickStop();
    procedures.RunAutoCycle();
    EXPECT_EQ(phases, "");
    EXPECT_TRUE(port.Writes().empty());
    EXPECT_FALSE(ui.StopPending());
}

TEST_F(AutoCycleTest, ABitmapThatCannotBeCreatedEndsTheSequence) {
    settings.SaveGraphEachCycle = true;
    const std::string missing = folder.File("gone");
    Procedures elsewhere(config, settings, instrument, graph, clock, ui, missing);
    try {
        elsewhere.RunAutoCycle();
        FAIL() << "no error";
    } catch (const GraphFileError& error) {
        // "Cannot create file <folder>/yyyymmdd-hhmmss.bmp", on the day of the test.
        const std::string message = error.what();
        const std::string prefix = "Cannot create file " + missing + "/20260314-";
        ASSERT_EQ(message.size(), prefix.size() + 10) << message;
        EXPECT_EQ(message.substr(0, prefix.size()), prefix);
        EXPECT_EQ(message.substr(prefix.size() + 6), ".bmp");
    }
    EXPECT_EQ(phases, "DRC");
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_FALSE(FileExists(missing));
}

TEST_F(AutoCycleTest, APhaseThatRefusesToRunEndsTheSequence) {
    config.DischargeCurrent[5] = 0.0;
    procedures.RunAutoCycle();
    EXPECT_EQ(ui.Errors.size(), 1u);
    EXPECT_EQ(phases, "");

    ui.Errors.clear();
    config.DischargeCurrent[5] = 1.0;
    config.ChargeCurrent[2] = 0.0;
    procedures.RunAutoCycle();
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_EQ(ui.Errors[0],
              "The charge current of rate 2 is 0.000 A; set a current above zero in the "
              "configuration.");
    EXPECT_EQ(phases, "DR");
    EXPECT_EQ(Modes(), "DIS,1,");
}

}  // namespace
}  // namespace voltrex::testing
