#include "graph/GraphPlot.h"
#include "platform/CFormat.h"
#include "procedures/ProcedureTexts.h"
#include "procedures/tests/ProcedureFixture.h"

namespace voltrex::testing {
namespace {

// A 6-cell NiMH pack of 100 mAh charged at rate 10 (1.0 A): 360 s to put the
// capacity in, so the time limit is 450 s.
class ChargeTest : public RecordedProcedureTest {
  protected:
    void SetUp() override {
        RecordedProcedureTest::SetUp();
        settings.Capacity = 100;
        // Long charges: the write log is not needed and would only grow.
        ui.OnYield = [this] { port.ClearLog(); };
    }
    std::string LastRecord() {
        const std::vector<std::string> lines = ResultLines();
        return lines.empty() ? std::string() : lines.back();
    }
};

TEST_F(ChargeTest, PackThatNeverPeaksEndsOneSecondAfterTheTimeLimit) {
    SetVoltageFunction([this] { return 7.8 + 0.002 * clock.Elapsed(); });
    EXPECT_EQ(procedures.RunCharge(0, 0), 451);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    // 451 counted seconds at 1.0 A.
    EXPECT_NE(LastRecord().find(",\"CHG\",0,0,\"NiMH\",100,6,1000.0,125.3,"), std::string::npos)
        << LastRecord();
    ExpectTitleBand(graph.Image(),
                    "Charge  Battery: 6 NiMH  Rate: 1000mA  Delta: 0.50%  TLimit:  0:07:30  "
                    "Resistance: 0.0000 Ohms");
}

TEST_F(ChargeTest, EndsByDeltaVWhenTheVoltageStaysBelowItsPeak) {
    // Rises to 8.4 V at 200 s, then sinks to 8.3 V, 1.2 % below the peak.
    SetVoltageFunction([this] {
        const double t = clock.Elapsed();
        return t < 200.0 ? 7.8 + 0.003 * t : 8.3;
    });
    const std::int32_t seconds = procedures.RunCharge(0, 0);
    // The smoothed voltage needs about 3 s to fall 0.5 % below the peak; then
    // the drop must hold for more than 30 s.
    EXPECT_GE(seconds, 200 + 31);
    EXPECT_LE(seconds, 200 + 36);
    EXPECT_NE(LastRecord().find(",\"CHG\","), std::string::npos);
}

TEST_F(ChargeTest, NoPeakIsTrackedInTheFirstMinute) {
    // A stored pack's false early dip: 8.2 V for 40 s, then 8.0 V for good.
    // Tracked from the start, that 2.4 % drop would end the charge at once.
    SetVoltageFunction([this] { return clock.Elapsed() < 40.0 ? 8.2 : 8.0; });
    EXPECT_EQ(procedures.RunCharge(0, 0), 451);
}

TEST_F(ChargeTest, AFailedConversionEndsTheChargeInThatPass) {
    // From 100 s on the high-side comparator never flips (a pack above the
    // converter's full scale, or a loose sense lead): without a reading the
    // ceiling of a lead pack could not act, so the charge ends at once.
    settings.CellType = "PbAcid";
    settings.Capacity = 1000;  // 3600 s, limit 6300 s
    SetVoltageFunction([this] { return clock.Elapsed() < 100.0 ? 12.5 : 1000.0; });
    double lastYield = 0.0;
    ui.OnYield = [this, &lastYield] {
        port.ClearLog();
        lastYield = clock.Elapsed();
    };
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    // The last pass that yielded took its reading before 100 s.
    EXPECT_GE(lastYield, 100.0);
    EXPECT_LT(lastYield, 100.0 + ui.PassSeconds + 0.1);
    EXPECT_EQ(DriveWrites(), (std::vector<std::uint8_t>{0x30, 0x00}));
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    EXPECT_TRUE(ResultLines().empty());
}

TEST_F(ChargeTest, LithiumPackIsSteppedDownToRateZero) {
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    settings.ChargeRate = 3;
    settings.Capacity = 2000;
    SetVoltage(8.6);  // above the 8.4 V ceiling all the time
    port.ClearLog();
    ui.OnYield = nullptr;
    // Three passes, each with the wait and the fresh average of a step down.
    EXPECT_LE(procedures.RunCharge(0, 0), 1);
    EXPECT_EQ(ui.Yields(), 3);
    const std::vector<std::uint8_t> expected = {
        0x30, 0x33,        // resistance test at rate 3
        0x30, 0x30, 0x30,  // left connected in charge mode, rate 0
        0x30, 0x30, 0x33,  // the charge
        0x32, 0x31, 0x30,  // one step down per pass over the ceiling
        0x30, 0x00};       // all off
    EXPECT_EQ(DriveWrites(), expected);
    // The title and the record keep the initial current.
    EXPECT_NE(LastRecord().find(",\"CHG\",0,0,\"LiPo\",2000,2,300.0,"), std::string::npos)
        << LastRecord();
    // 2000 mAh at 0.3 A is 24000 s; times 1.75.
    ExpectTitleBand(graph.Image(),
                    "Charge  Battery: 2 LiPo  Rate: 300mA  VMax: 8.40V  TLimit: 11:40:00  "
                    "Resistance: 0.0000 Ohms");
}

TEST_F(ChargeTest, StepDownWaitsAndStartsAFreshAverage) {
    settings.CellType = "LiNP";
    settings.NumberOfCells = 4;  // ceiling 14.4 V
    settings.ChargeRate = 2;
    SetVoltage(14.5);
    port.ClearLog();
    ui.OnYield = nullptr;
    EXPECT_LE(procedures.RunCharge(0, 0), 1);
    // After the step from 2 to 1: 100 ms, then the 20 conversions of a restart.
    const auto& writes = port.Writes();
    std::size_t step = 0;
    while (step < writes.size() && writes[step].Value != 0x31) {
        ++step;
    }
    ASSERT_LT(step + 1, writes.size());
    EXPECT_EQ(writes[step + 1].Value, 0x71);  // a reset pulse begins the restart
    EXPECT_GE(writes[step + 1].Time - writes[step].Time, 0.1 - 1e-9);
    int resets = 0;
    for (std::size_t i = step + 1; i < writes.size() && writes[i].Value != 0x30; ++i) {
        if (writes[i].Value == 0x71) {
            ++resets;
        }
    }
    // 20 of the restart and the one conversion of the next pass.
    EXPECT_EQ(resets, 21);
}

TEST_F(ChargeTest, WithinACycleItContinuesOnTheDischargesGraph) {
    SetVoltageFunction([this] { return 7.8 + 0.002 * clock.Elapsed(); });
    graph.CreateGraph(6.0, 7.3);
    const GraphPlot* discharge = graph.CurrentGraph();
    settings.MaximumCycles = 4;
    settings.DischargeRate = 5;  // 1.0 A
    ui.OnYield = [this] {
        port.ClearLog();
        if (ui.Yields() == 8) {
            ui.ClickStop();
        }
    };
    EXPECT_EQ(procedures.RunCharge(2, 3600), -1);
    ASSERT_EQ(graph.CurrentGraph(), discharge);
    // The first points lie 3600 s along the time axis, nothing before them.
    const GraphPlot& plot = *graph.CurrentGraph();
    const auto column = static_cast<std::size_t>(3600 / plot.SecondsPerColumn);
    EXPECT_GT(plot.ColumnWeight[column], 0.0);
    for (std::size_t i = 0; i < column; ++i) {
        ASSERT_EQ(plot.ColumnWeight[i], 0.0) << i;
    }
    ExpectTitleBand(graph.Image(),
                    "Charge 2 of 4  Battery: 6 NiMH  Rate: 1000mA  Delta: 0.50%  "
                    "TLimit:  0:07:30  Resistance: 0.0000 Ohms");
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(ChargeTest, StopDuringThePreparationIsHandledInTheFirstPass) {
    SetVoltage(7.8);
    ui.ClickStop();
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    EXPECT_EQ(ui.Yields(), 1);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(ChargeTest, StopInThePassThatEndsItWins) {
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    settings.ChargeRate = 1;
    SetVoltage(8.6);  // the first pass steps down to rate 0 and ends
    ui.OnYield = [this] { ui.ClickStop(); };
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    EXPECT_EQ(ui.Yields(), 1);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(ChargeTest, UnrecognizedCellTypeAndRatesWithoutCurrentAreRefused) {
    settings.CellType = "LIPO";
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    settings.CellType = "LiPo";
    config.ChargeCurrent[10] = 0.0;
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    settings.ChargeRate = 16;
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    settings.ChargeRate = -3;
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);

    const std::vector<std::string> expected = {
        "Unrecognized cell type: LIPO",
        "The charge current of rate 10 is 0.000 A; set a current above zero in the "
        "configuration.",
        "The charge rate 16 is not one of the rates 1 to 15; choose a rate in the test "
        "settings.",
        "The charge rate -3 is not one of the rates 1 to 15; choose a rate in the test "
        "settings."};
    EXPECT_EQ(ui.Errors, expected);
    EXPECT_TRUE(port.Writes().empty());
    EXPECT_EQ(graph.CurrentGraph(), nullptr);
    EXPECT_EQ(ui.Yields(), 0);
}

TEST_F(ChargeTest, ATinyCurrentGivesAVeryLongButValidTimeLimit) {
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    settings.Capacity = 99999;
    config.ChargeCurrent[10] = 1e-12;
    SetVoltage(7.0);
    ui.ClickStop();
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    ExpectTitleBand(graph.Image(),
                    "Charge  Battery: 2 LiPo  Rate: 0mA  VMax: 8.40V  TLimit: 596523:14:07  "
                    "Resistance: 0.0000 Ohms");
}

}  // namespace
}  // namespace voltrex::testing
