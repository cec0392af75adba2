#include "graph/GraphPlot.h"
#include "procedures/ProcedureTexts.h"
#include "procedures/TestObserver.h"
#include "procedures/tests/ProcedureFixture.h"

namespace voltrex::testing {
namespace {

// What the observer heard, with the number of error boxes open by then.
struct Heard {
    TestEnding Ending;
    std::size_t ErrorsBefore = 0;
};

class RecordingObserver final : public TestObserver {
  public:
    explicit RecordingObserver(const FakeUserInterface& ui) : ui_(ui) {}
    void Passed(const TestPass& pass) override {
        ++Passes;
        LastStatus = pass.Status;
        LastTitle = pass.Title;
        LastFigures = pass.Figures;
        LastCycle = pass.Cycle;
    }
    void Ended(const TestEnding& ending) override {
        Endings.push_back({ending, ui_.Errors.size()});
    }

    int Passes = 0;
    std::string LastStatus;
    std::string LastTitle;
    TestFigures LastFigures;
    std::int32_t LastCycle = -1;
    std::vector<Heard> Endings;

  private:
    const FakeUserInterface& ui_;
};

// A 6-cell NiMH pack on discharge rate 5 (1.0 A, end at 6.0 V) and charge
// rate 5 (0.5 A).
class TestObserverTest : public RecordedProcedureTest {
  protected:
    void SetUp() override {
        RecordedProcedureTest::SetUp();
        settings.CellType = "NiMH";
        settings.NumberOfCells = 6;
        settings.Capacity = 2000;
        settings.DischargeRate = 5;
        settings.ChargeRate = 5;
        settings.MaximumCycles = 2;
        procedures.SetObserver(&observer);
    }
    // 7.2 V for ten seconds, then 10 mV a second lower.
    void FallingPack() {
        SetVoltageFunction([this] {
            const double t = clock.Elapsed();
            return t < 10.0 ? 7.2 : 7.2 - 0.01 * (t - 10.0);
        });
    }
    std::vector<Ending> Hows() const {
        std::vector<Ending> hows;
        for (const Heard& heard : observer.Endings) {
            hows.push_back(heard.Ending.How);
        }
        return hows;
    }

    RecordingObserver observer{ui};
};

TEST_F(TestObserverTest, AFinishedDischargeIsToldOnceWithTheFiguresOfItsLastPass) {
    FallingPack();
    procedures.RunDischarge(0);
    ASSERT_EQ(Hows(), std::vector<Ending>{Ending::EndVoltage});
    const TestEnding& ending = observer.Endings[0].Ending;
    EXPECT_EQ(ending.Test, TestKind::Discharge);
    EXPECT_EQ(ending.Cycle, 0);
    // The ending carries exactly what the last status line showed.
    EXPECT_EQ(observer.LastStatus,
              texts::DischargeStatus(ending.Figures.Elapsed, ending.Figures.Volts,
                                     ending.Figures.AmpSeconds, ending.Figures.WattSeconds));
    EXPECT_EQ(ending.Figures.Cells, 6);
    EXPECT_LT(ending.Figures.Volts, 6.0);
    EXPECT_GT(ending.Figures.AmpSeconds, 100.0);
    EXPECT_EQ(observer.LastTitle.rfind("Discharge  Battery: 6 NiMH", 0), 0u) << observer.LastTitle;
    EXPECT_EQ(EndingSummary(ending), "Discharge finished: end voltage reached");
}

TEST_F(TestObserverTest, AUserStopIsToldAsSuch) {
    FallingPack();
    ui.OnYield = [this] {
        if (ui.Yields() == 5) {
            ui.ClickStop();
        }
    };
    procedures.RunCharge(0, 0);
    EXPECT_EQ(Hows(), std::vector<Ending>{Ending::StoppedByUser});
    EXPECT_EQ(observer.Passes, 5);
}

// The observer hears of a failure before the error box opens: the box waits
// for a click, and nobody may be in the room.
TEST_F(TestObserverTest, AFailedReadingIsToldBeforeItsBoxOpens) {
    SetVoltageFunction([this] { return clock.Elapsed() < 30.0 ? 7.2 : 1000.0; });
    procedures.RunDischarge(0);
    ASSERT_EQ(Hows(), std::vector<Ending>{Ending::MeasurementFailure});
    EXPECT_EQ(observer.Endings[0].ErrorsBefore, 0u);
    EXPECT_EQ(ui.Errors.size(), 1u);
    const TestEnding& ending = observer.Endings[0].Ending;
    EXPECT_EQ(ending.Detail, texts::MeasurementFailure);
    EXPECT_EQ(EndingSummary(ending), "Discharge stopped: the pack voltage could not be measured");
    EXPECT_TRUE(IsFailure(ending.How));
}

TEST_F(TestObserverTest, ARefusedTestIsToldWithItsMessageBeforeTheBox) {
    settings.ChargeRate = 0;
    procedures.RunCharge(0, 0);
    ASSERT_EQ(Hows(), std::vector<Ending>{Ending::Refused});
    EXPECT_EQ(observer.Endings[0].ErrorsBefore, 0u);
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_EQ(observer.Endings[0].Ending.Detail, ui.Errors[0]);
    EXPECT_EQ(observer.Passes, 0);
    // No figures for a test that never ran: the message is the whole body.
    EXPECT_EQ(EndingBody(observer.Endings[0].Ending), ui.Errors[0]);
}

// The pack checks' refusals are refusals like any other: no pack on the
// leads, and a charge cut off above what its cells may ever read.
TEST_F(TestObserverTest, NoPackAndACutOffChargeAreToldBeforeTheirBoxes) {
    SetVoltage(0.0);
    procedures.RunDischarge(0);
    ASSERT_EQ(Hows(), std::vector<Ending>{Ending::Refused});
    EXPECT_EQ(observer.Endings[0].ErrorsBefore, 0u);
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_EQ(observer.Endings[0].Ending.Detail, ui.Errors[0]);
    EXPECT_EQ(EndingSummary(observer.Endings[0].Ending),
              "Discharge refused: nothing was switched on");

    // Two LiPo cells that read 9.0 V once the charge has run ten seconds.
    observer.Endings.clear();
    ui.Errors.clear();
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    SetVoltageFunction([this] { return clock.Elapsed() < 10.0 ? 7.6 : 9.0; });
    procedures.RunCharge(0, 0);
    ASSERT_EQ(Hows(), std::vector<Ending>{Ending::OverVoltage});
    EXPECT_EQ(observer.Endings[0].ErrorsBefore, 0u);
    const TestEnding& cut = observer.Endings[0].Ending;
    EXPECT_TRUE(IsFailure(cut.How));
    EXPECT_EQ(cut.Detail, ui.Errors.at(0));
    // The body gives the reading that ended it.
    EXPECT_GT(cut.Figures.Volts, 8.8);
}

TEST_F(TestObserverTest, TheResistanceTestIsToldItsResultLine) {
    SetVoltage(7.2);
    GraphPlot own(graph.Image(), 0.0, 0.0);
    procedures.MeasureInternalResistance(ResistanceHalves::Both, own);
    ASSERT_EQ(Hows(), std::vector<Ending>{Ending::Measured});
    EXPECT_EQ(
        observer.Endings[0].Ending.Detail,
        texts::ResistanceResult(0.0, config.ChargeCurrent[5], 0.0, config.DischargeCurrent[5]));
    EXPECT_EQ(EndingBody(observer.Endings[0].Ending), observer.Endings[0].Ending.Detail);
}

// An auto cycle tells one summary per cycle and its end, never the
// discharges and charges inside it; a failure inside it is the auto cycle's.
TEST_F(TestObserverTest, AnAutoCycleTellsEachCycleAndItsEnd) {
    config.CycleRestTime = 2;
    // Down to the end voltage on discharge, a peak and a drop on charge.
    double chargeStart = -1.0;
    SetVoltageFunction([this, &chargeStart] {
        const std::uint8_t latch = instrument.ControlLatch();
        if ((latch & 0x30) == 0x30) {
            if (chargeStart < 0) {
                chargeStart = clock.Elapsed();
            }
            const double t = clock.Elapsed() - chargeStart;
            return t < 100 ? 7.2 + 0.01 * t : 8.2 - 0.01 * (t - 100);
        }
        chargeStart = -1.0;
        return (latch & 0x20) != 0 ? 5.0 : 7.2;
    });
    procedures.RunAutoCycle();
    ASSERT_EQ(Hows(),
              (std::vector<Ending>{Ending::CycleDone, Ending::CycleDone, Ending::CycleLimit}));
    const TestEnding& second = observer.Endings[1].Ending;
    EXPECT_EQ(second.Test, TestKind::AutoCycle);
    EXPECT_EQ(second.Cycle, 2);
    EXPECT_EQ(second.Of, 2);
    EXPECT_GT(second.ChargedMilliampHours, 0.0);
    EXPECT_EQ(EndingSummary(second), "Auto Cycle: cycle 2 of 2 done");
    EXPECT_EQ(EndingSummary(observer.Endings[2].Ending), "Auto Cycle finished: all 2 cycles done");
    EXPECT_EQ(EndingBody(second).rfind("Cycle 2 of 2\nDischarged ", 0), 0u) << EndingBody(second);
}

TEST_F(TestObserverTest, AFailureInsideAnAutoCycleNamesTheCycleAndThePhase) {
    SetVoltageFunction([this] {
        return (instrument.ControlLatch() & 0x30) == 0x30 ? 1000.0
               : (instrument.ControlLatch() & 0x20) != 0  ? 5.0
                                                          : 7.2;
    });
    procedures.RunAutoCycle();
    ASSERT_EQ(Hows(), std::vector<Ending>{Ending::MeasurementFailure});
    const TestEnding& ending = observer.Endings[0].Ending;
    EXPECT_EQ(EndingSummary(ending), "Auto Cycle stopped: the pack voltage could not be measured");
    EXPECT_EQ(EndingBody(ending).rfind("Cycle 1 of 2, charging\n", 0), 0u) << EndingBody(ending);
}

TEST(TestEndingTextTest, TheBodyGivesTheStatusLineFiguresPerCell) {
    TestEnding ending;
    ending.Test = TestKind::Charge;
    ending.Phase = TestKind::Charge;
    ending.How = Ending::TimeLimit;
    ending.Figures = {3725, 8.4, 3600.0 * 1.5, 3600.0 * 12.0, 2};
    EXPECT_EQ(EndingSummary(ending), "Charge finished: time limit reached");
    EXPECT_EQ(EndingBody(ending),
              "Time 1:02:05  Voltage 8.40 V (4.200 V per cell)\nCharged 1500 mAh (12000 mWh)");
    EXPECT_FALSE(IsFailure(ending.How));
}

}  // namespace
}  // namespace voltrex::testing
