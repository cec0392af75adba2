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
    // 451 counted seconds at 1.0 A, at a mean of about 8.25 V.
    const std::string record = LastRecord();
    EXPECT_NE(record.find(",\"CHG\",0,0,\"NiMH\",100,6,1000.0,125.3,"), std::string::npos)
        << record;
    double voltsPerCell = 0.0;
    ASSERT_EQ(ScanC(record.c_str() + record.rfind(',') + 1, "%lf", &voltsPerCell), 1);
    EXPECT_NEAR(voltsPerCell, 8.25 / 6, 0.02);
    ExpectTitleBand(graph.Image(),
                    "Charge  Battery: 6 NiMH  Rate: 1000mA  Delta: 0.50%  TLimit:  0:07:30  "
                    "Resistance: 0.0000 Ohms");

    // 101 mAh at 0.7 A is 519.43 s, truncated to 519, times 1.25 is 648.75,
    // truncated to 648: truncating once only would give 649.
    settings.Capacity = 101;
    settings.ChargeRate = 7;
    EXPECT_EQ(procedures.RunCharge(0, 0), 649);
    ExpectTitleBand(graph.Image(),
                    "Charge  Battery: 6 NiMH  Rate: 700mA  Delta: 0.50%  TLimit:  0:10:48  "
                    "Resistance: 0.0000 Ohms");
    // 519 x 1.75 = 908.25, against 909 from the untruncated time.
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    SetVoltage(7.8);
    ui.ClickStop();
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    ExpectTitleBand(graph.Image(),
                    "Charge  Battery: 2 LiPo  Rate: 700mA  VMax: 8.40V  TLimit:  0:15:08  "
                    "Resistance: 0.0000 Ohms");
}

// The first minute: the peak is not tracked and the status line shows no
// drop, held for no time. A pack that reads far too high only while the
// elapsed time is 60 s: tracked from 61 s on, its first reading there is the
// peak and the drop holds from the second reading, so the charge ends 31 s
// later, at 92 s (at 91 s if second 60 counted, at 93 s if 61 did not).
TEST_F(ChargeTest, SettlingLastsToSixtySecondsInclusiveAndShowsNoDrop) {
    ui.PassSeconds = 0.249;  // with its conversion a pass takes 0.25 s
    SetVoltageFunction([this] {
        const double t = clock.Elapsed();
        return t >= 60.0 && t < 61.0 ? 80.0 : 8.0;
    });
    bool checked = false;
    ui.OnYield = [this, &checked] {
        port.ClearLog();
        if (ui.Yields() == 1) {
            // A new graph, 50 mV either side of the starting voltage.
            EXPECT_LE(graph.CurrentGraph()->Low, 7.95 + 1e-9);
            EXPECT_GT(graph.CurrentGraph()->Low, 7.0);
            EXPECT_GE(graph.CurrentGraph()->High, 8.05 - 1e-9);
            EXPECT_LT(graph.CurrentGraph()->High, 9.0);
        }
        if (!checked && static_cast<int>(clock.Elapsed() - 0.25) == 30) {
            checked = true;
            // 30 counted seconds of 1.0 A at 8.0 V.
            ExpectStatusBand(graph.Image(),
                             "Time: 0:00:30  Voltage: 8.00V  Charge: 8mAh (67mWh)  "
                             "Delta: 0.00% (0s)");
        }
    };
    EXPECT_EQ(procedures.RunCharge(0, 0), 92);
    EXPECT_TRUE(checked);
}

// A drop exactly equal to the threshold counts as a drop: the charge ends in
// the 31st second after the last reading that was less than the threshold
// below the peak. The threshold is made the drop that the smoothed readings
// settle at, computed as the rule computes it, so the two are equal bit for
// bit.
TEST_F(ChargeTest, ADropEqualToTheThresholdEndsItOneSecondAfterTheDuration) {
    settings.Capacity = 1000;  // a limit of 4500 s, far away
    ui.PassSeconds = 0.999;    // one pass a second
    SetVoltage(8.0);
    double peak = instrument.ReadVoltage(true);
    for (double last = 0.0; last != peak;) {
        last = peak;
        peak = instrument.ReadVoltage(false);
    }
    SetVoltage(7.94);
    double settled = peak;
    for (double last = 0.0; last != settled;) {
        last = settled;
        settled = instrument.ReadVoltage(false);
    }
    config.NiMHDeltaV = (peak - settled) / peak;
    ASSERT_GT(config.NiMHDeltaV, 0.0);

    SetVoltageFunction([this] { return clock.Elapsed() < 100.0 ? 8.0 : 7.94; });
    int lastAbove = 0;
    ui.OnYield = [this, &lastAbove, settled] {
        port.ClearLog();
        if (instrument.SmoothedVoltage() != settled) {
            lastAbove = ui.Yields();
        }
    };
    const std::int32_t seconds = procedures.RunCharge(0, 0);
    EXPECT_GT(lastAbove, 100);
    EXPECT_EQ(ui.Yields(), lastAbove + 31);
    EXPECT_EQ(seconds, ui.Yields() - 1);
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

    // The fresh reading after a step down fails: the same end.
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    settings.ChargeRate = 3;
    ui.Errors.clear();
    SetVoltageFunction([this] {
        const int rate = instrument.ControlLatch() & 0x0F;
        return rate == 2 ? 1000.0 : 8.6;
    });
    port.ClearLog();
    const int yields = ui.Yields();
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    EXPECT_EQ(ui.Yields(), yields);
    const std::vector<std::uint8_t> expected = {0x30, 0x33, 0x30,
                                                0x30, 0x30,        // resistance test at rate 3
                                                0x30, 0x30, 0x33,  // the charge
                                                0x32,              // a step down
                                                0x30, 0x00};       // all off at the failed reading
    EXPECT_EQ(DriveWrites(), expected);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    EXPECT_TRUE(ResultLines().empty());

    // The resistance test's first reading fails, or the starting reading
    // after it: the charge current never comes on.
    const std::vector<std::uint8_t> resistanceTestOnly = {0x30, 0x33, 0x30, 0x30, 0x30, 0x30, 0x00};
    for (const int goodConversions : {0, 60}) {
        SCOPED_TRACE(goodConversions);
        ui.Errors.clear();
        port.ClearLog();
        SetVoltageFunction([this, goodConversions] {
            return port.ResetPulses() > goodConversions ? 1000.0 : 8.0;
        });
        EXPECT_EQ(procedures.RunCharge(0, 0), -1);
        EXPECT_EQ(ui.Yields(), yields);
        EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
        EXPECT_EQ(DriveWrites(),
                  goodConversions == 0 ? std::vector<std::uint8_t>{0x00} : resistanceTestOnly);
    }
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

// A lithium pack that crosses the ceiling at rate 3 and stays below it at
// rate 2: the rest of the charge counts 0.2 A. At the time limit it reads
// above the ceiling (though not above the 8.9 V cut-off of two cells), and the
// time limit, the first rule, ends it without a step down.
TEST_F(ChargeTest, ASteppedDownCurrentCountsAtItsNewRateAndTheTimeLimitComesFirst) {
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    settings.ChargeRate = 3;
    settings.Capacity = 10;  // 120 s at 0.3 A; limit 210 s
    SetVoltageFunction([this] {
        if (clock.Elapsed() >= 211.0) {
            return 12.0;  // smoothed: 0.95 x 8.3 + 0.05 x 12 = 8.485 V
        }
        return (instrument.ControlLatch() & 0x0F) == 3 ? 8.6 : 8.3;
    });
    std::vector<std::uint8_t> writes;
    ui.OnYield = [this, &writes] {
        for (std::uint8_t value : DriveWrites()) {
            writes.push_back(value);
        }
        port.ClearLog();
    };
    EXPECT_EQ(procedures.RunCharge(0, 0), 211);
    for (std::uint8_t value : DriveWrites()) {
        writes.push_back(value);
    }
    const std::vector<std::uint8_t> expected = {0x30, 0x33, 0x30,
                                                0x30, 0x30,        // resistance test at rate 3
                                                0x30, 0x30, 0x33,  // the charge
                                                0x32,              // the one step down
                                                0x30, 0x00};  // all off, the rate not stepped again
    EXPECT_EQ(writes, expected);
    // 211 counted seconds, one or two of them at 0.3 A, the rest at 0.2 A.
    const std::string record = LastRecord();
    double milliampHours = 0.0;
    ASSERT_EQ(ScanC(record.c_str() + record.find(",300.0,") + 7, "%lf", &milliampHours), 1)
        << record;
    EXPECT_NEAR(milliampHours, (211 * 0.2 + 0.15) / 3.6, 0.05);
    ExpectTitleBand(graph.Image(),
                    "Charge  Battery: 2 LiPo  Rate: 300mA  VMax: 8.40V  TLimit:  0:03:30  "
                    "Resistance: 1.0000 Ohms");
}

TEST_F(ChargeTest, AReadingEqualToTheCeilingIsNotAboveIt) {
    // One cell, so that the ceiling is the configured maximum itself, set to
    // exactly what the instrument reads for the pack.
    settings.CellType = "LiPo";
    settings.NumberOfCells = 1;
    settings.ChargeRate = 3;
    settings.Capacity = 1;  // 12 s at 0.3 A; limit 21 s
    SetVoltage(4.2);
    const double reading = instrument.ReadVoltage(true);
    ASSERT_EQ(instrument.ReadVoltage(false), reading);
    config.LiPoVmax = reading;
    ui.OnYield = nullptr;
    port.ClearLog();
    EXPECT_EQ(procedures.RunCharge(0, 0), 22);
    const std::vector<std::uint8_t> writes = DriveWrites();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[writes.size() - 3], 0x33);  // no step down before all off
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
    EXPECT_NEAR(writes[step + 1].Time - writes[step].Time, 0.1, 1e-6);
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
    SetVoltage(7.8);
    graph.CreateGraph(6.0, 7.3);
    GraphPlot* discharge = graph.CurrentGraph();
    for (int t = 0; t < 3600; t += 10) {
        AddPoint(*discharge, t, 7.3 - t * 0.0003);
    }
    settings.MaximumCycles = 4;
    settings.DischargeRate = 10;  // 2.0 A
    ui.OnYield = [this] {
        port.ClearLog();
        if (ui.Yields() == 48) {
            ui.ClickStop();
        }
    };
    EXPECT_EQ(procedures.RunCharge(2, 3600), -1);
    ASSERT_EQ(graph.CurrentGraph(), discharge);
    // The first points lie 3600 s along the time axis, after the discharge's
    // curve, which is still there (a new graph at the same address would not
    // hold it).
    const GraphPlot& plot = *graph.CurrentGraph();
    const auto column = static_cast<std::size_t>(3600 / plot.SecondsPerColumn);
    // (at(): without the charge's points the time axis would not have grown
    // to 3600 s.)
    EXPECT_GT(plot.ColumnWeight.at(column), 0.0);
    EXPECT_GT(plot.ColumnWeight.at(static_cast<std::size_t>(3612 / plot.SecondsPerColumn)), 0.0);
    double before = 0.0;
    for (std::size_t i = 0; i < column; ++i) {
        before += plot.ColumnWeight[i];
    }
    EXPECT_EQ(before, 360.0);  // the discharge's 360 points
    EXPECT_LE(plot.Low, 6.0);
    ExpectTitleBand(graph.Image(),
                    "Charge 2 of 4  Battery: 6 NiMH  Rate: 1000mA  Delta: 0.50%  "
                    "TLimit:  0:07:30  Resistance: 0.0000 Ohms");
    // The charge so far against what the discharge took out: 3600 s at 2.0 A.
    ExpectStatusBand(graph.Image(),
                     "Time: 0:00:12  Voltage: 7.80V  Charge: 3mAh/2000mAh (26mWh)  "
                     "Delta: 0.00% (0s)");
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(ChargeTest, StopDuringThePreparationIsHandledInTheFirstPass) {
    SetVoltage(7.8);
    ui.OnYield = nullptr;
    ui.ClickStop();
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    EXPECT_EQ(ui.Yields(), 1);
    // The resistance test's three fresh readings, the fresh starting reading
    // and the one conversion of the pass.
    EXPECT_EQ(port.ResetPulses(), 3 * 20 + 20 + 1);
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

// Cell makers forbid fast-charging a lithium cell below about 2.5 V.
TEST_F(ChargeTest, AnOverDischargedLithiumPackIsNotCharged) {
    settings.CellType = "LiPo";
    settings.NumberOfCells = 2;
    SetVoltage(4.8);  // 2.4 V per cell
    EXPECT_EQ(procedures.RunCharge(0, 0), -1);
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_NE(ui.Errors[0].find("2.400 V per cell for the 2 cells set"), std::string::npos);
    EXPECT_NE(ui.Errors[0].find("over-discharged"), std::string::npos);
    EXPECT_TRUE(DriveWrites().empty());
    EXPECT_TRUE(ResultLines().empty());
}

}  // namespace
}  // namespace voltrex::testing
