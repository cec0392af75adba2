#include "graph/GraphPlot.h"
#include "platform/CFormat.h"
#include "procedures/ProcedureTexts.h"
#include "procedures/tests/ProcedureFixture.h"

namespace voltrex::testing {
namespace {

// A 6-cell NiMH pack discharged at rate 5 (1.0 A); the recording port's pack
// has no internal resistance, so the end voltage is the pack minimum, 6.0 V.
class DischargeTest : public RecordedProcedureTest {
  protected:
    // 7.2 V for the first ten seconds, then falling by 10 mV a second.
    void FallingPack() {
        SetVoltageFunction([this] {
            const double t = clock.Elapsed();
            return t < 10.0 ? 7.2 : 7.2 - 0.01 * (t - 10.0);
        });
    }
    // Fields of the one record of the results log.
    std::vector<std::string> RecordFields() {
        const std::vector<std::string> lines = ResultLines();
        EXPECT_EQ(lines.size(), 2u);
        std::vector<std::string> fields;
        if (lines.size() == 2) {
            std::string field;
            for (char c : lines[1]) {
                if (c == ',') {
                    fields.push_back(field);
                    field.clear();
                } else {
                    field += c;
                }
            }
            fields.push_back(field);
        }
        return fields;
    }
};

TEST_F(DischargeTest, EndsBelowTheEndVoltageAndLogsTheChargeTakenOut) {
    FallingPack();
    double firstLow = 0.0;
    double firstHigh = 0.0;
    ui.OnYield = [this, &firstLow, &firstHigh] {
        if (ui.Yields() == 1) {
            firstLow = graph.CurrentGraph()->Low;
            firstHigh = graph.CurrentGraph()->High;
        }
    };
    const std::int32_t seconds = procedures.RunDischarge(0);
    // The graph starts from the end voltage up to 50 mV above the start.
    EXPECT_LE(firstLow, 6.0);
    EXPECT_GT(firstLow, 5.0);
    EXPECT_GE(firstHigh, 7.25 - 1e-9);
    EXPECT_LT(firstHigh, 8.0);

    // 6.0 V is reached 130 s in; the smoothed reading follows a few seconds later.
    EXPECT_GE(seconds, 130);
    EXPECT_LE(seconds, 140);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_LT(instrument.SmoothedVoltage(), 6.0);
    EXPECT_TRUE(ui.Errors.empty());

    // One second's worth of 1.0 A for every second after the first.
    const std::vector<std::string> fields = RecordFields();
    ASSERT_EQ(fields.size(), 12u);
    EXPECT_EQ(fields[1], "\"DIS\"");
    EXPECT_EQ(fields[2], "0");
    EXPECT_EQ(fields[3], "0");
    EXPECT_EQ(fields[4], "\"NiMH\"");
    EXPECT_EQ(fields[5], "2000");
    EXPECT_EQ(fields[6], "6");
    EXPECT_EQ(fields[7], "1000.0");
    EXPECT_EQ(fields[8], Format("%1.1f", seconds * 1.0 / 3.6));
    EXPECT_EQ(fields[10], "0.0000");
    // The mean cell voltage of a pack falling from 7.2 V to 6.0 V.
    double voltsPerCell = 0.0;
    ASSERT_EQ(ScanC(fields[11].c_str(), "%lf", &voltsPerCell), 1);
    EXPECT_GT(voltsPerCell, 1.04);
    EXPECT_LT(voltsPerCell, 1.17);

    ExpectTitleBand(graph.Image(),
                    "Discharge  Battery: 6 NiMH  Rate: 1000mA  VMin: 6.00V  "
                    "Resistance: 0.0000 Ohms");
}

TEST_F(DischargeTest, SwitchesInTheOrderOfResistanceTestLoadAndAllOff) {
    FallingPack();
    procedures.RunDischarge(0);
    const std::vector<std::uint8_t> expected = {
        0x20, 0x25,        // resistance test: relay, then the current
        0x20, 0x20, 0x20,  // current off, relay kept, rate 0: pack left connected
        0x20, 0x20, 0x25,  // the discharge itself
        0x20, 0x00};       // all off
    EXPECT_EQ(DriveWrites(), expected);
}

TEST_F(DischargeTest, TitleShowsTheCycleWithinAnAutoCycle) {
    FallingPack();
    settings.MaximumCycles = 12;
    settings.DischargeRate = 10;
    ASSERT_GE(procedures.RunDischarge(7), 0);
    ExpectTitleBand(graph.Image(),
                    "Discharge 7 of 12  Battery: 6 NiMH  Rate: 2000mA  VMin: 6.00V  "
                    "Resistance: 0.0000 Ohms");
    const std::vector<std::string> fields = RecordFields();
    ASSERT_EQ(fields.size(), 12u);
    EXPECT_EQ(fields[2], "7");
    EXPECT_EQ(fields[3], "12");
}

TEST_F(DischargeTest, StopEndsItWithEverythingOffAndNoRecord) {
    SetVoltage(7.2);
    ui.OnYield = [this] {
        if (ui.Yields() == 10) {
            ui.ClickStop();
        }
    };
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(ui.Yields(), 10);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_EQ(DriveWrites().back(), 0x00);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(DischargeTest, StopDuringThePreparationIsHandledInTheFirstPass) {
    SetVoltage(7.2);
    ui.ClickStop();  // clicked while the resistance test held the window
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(ui.Yields(), 1);
    const std::vector<std::uint8_t> writes = DriveWrites();
    ASSERT_EQ(writes.size(), 10u);
    EXPECT_EQ(writes[7], 0x25);  // the load did come on
    // The resistance test's three fresh readings, the fresh starting reading
    // and the one conversion of the pass.
    EXPECT_EQ(port.ResetPulses(), 3 * 20 + 20 + 1);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(DischargeTest, AFailedConversionAtTheStartSwitchesOffAndLogsNothing) {
    SetVoltage(1000.0);  // the high-side comparator never flips
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(ui.Yields(), 0);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    EXPECT_EQ(DriveWrites(), std::vector<std::uint8_t>{0x00});
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));

    // The resistance test's 60 conversions succeed, the starting reading fails:
    // the load never comes on.
    ui.Errors.clear();
    port.ClearLog();
    SetVoltageFunction([this] { return port.ResetPulses() > 60 ? 1000.0 : 7.2; });
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    EXPECT_EQ(DriveWrites(), (std::vector<std::uint8_t>{0x20, 0x25, 0x20, 0x20, 0x20, 0x20, 0x00}));
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));

    // A reading of the discharge itself fails: the load goes off in that pass.
    ui.Errors.clear();
    port.ClearLog();
    SetVoltageFunction([this] { return port.ResetPulses() > 90 ? 1000.0 : 7.2; });
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    EXPECT_EQ(ui.Yields(), 10);  // conversions 81 to 90 were good
    EXPECT_EQ(DriveWrites().back(), 0x00);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(DischargeTest, PackAlreadyBelowTheEndVoltageEndsInOnePass) {
    SetVoltage(5.5);
    EXPECT_EQ(procedures.RunDischarge(0), 0);
    EXPECT_EQ(ui.Yields(), 1);
    const std::vector<std::string> fields = RecordFields();
    ASSERT_EQ(fields.size(), 12u);
    // Nothing is counted in the second the discharge starts in.
    EXPECT_EQ(fields[8], "0.0");
    EXPECT_EQ(fields[9], "0.0");
    EXPECT_EQ(fields[11], "0.0000");
    ExpectStatusBand(graph.Image(), "Time: 0:00:00  Voltage: 5.50V  Discharge: 0mAh (0mWh)");
    // The graph reaches below the starting voltage, not down to the end
    // voltage, and holds the pass's point.
    ASSERT_NE(graph.CurrentGraph(), nullptr);
    EXPECT_EQ(graph.CurrentGraph()->ColumnWeight[0], 1.0);
    EXPECT_LE(graph.CurrentGraph()->Low, 5.45 + 1e-9);
    EXPECT_GT(graph.CurrentGraph()->Low, 4.0);
}

TEST_F(DischargeTest, AReadingEqualToTheEndVoltageGoesOnAndOneCountLessEndsIt) {
    // One cell, so that the end voltage is the configured minimum itself, set
    // to exactly what the instrument reads for the pack.
    settings.NumberOfCells = 1;
    SetVoltage(1.2);
    const double reading = instrument.ReadVoltage(true);
    ASSERT_EQ(instrument.ReadVoltage(false), reading);
    config.NiMHVmin = reading;
    SetVoltageFunction([this] { return clock.Elapsed() < 30.0 ? 1.2 : 1.2 - VoltsPerCount; });
    double firstLow = 0.0;
    ui.OnYield = [this, &firstLow] {
        if (ui.Yields() == 1) {
            firstLow = graph.CurrentGraph()->Low;
        }
    };
    const std::int32_t seconds = procedures.RunDischarge(0);
    // A start not above the end voltage: the graph reaches 50 mV below it.
    EXPECT_LE(firstLow, 1.15 + 1e-9);
    EXPECT_GT(firstLow, 1.0);
    EXPECT_GE(seconds, 30);
    EXPECT_LE(seconds, 31);
    ExpectTitleBand(graph.Image(),
                    "Discharge  Battery: 1 NiMH  Rate: 1000mA  VMin: 1.20V  "
                    "Resistance: 0.0000 Ohms");
}

TEST_F(DischargeTest, StopInThePassThatEndsItWins) {
    SetVoltage(5.5);
    ui.OnYield = [this] { ui.ClickStop(); };
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(DischargeTest, ASlowPassCountsOneSecondsWorth) {
    // Every pass takes three seconds: each counts one second of 1.0 A only.
    ui.PassSeconds = 3.0;
    SetVoltageFunction([this] { return clock.Elapsed() < 60.0 ? 7.2 : 0.0; });
    const std::int32_t seconds = procedures.RunDischarge(0);
    const int passes = ui.Yields();
    ASSERT_GT(passes, 15);
    EXPECT_GE(seconds, 3 * (passes - 1));
    const std::vector<std::string> fields = RecordFields();
    ASSERT_EQ(fields.size(), 12u);
    EXPECT_EQ(fields[8], Format("%1.1f", (passes - 1) * 1.0 / 3.6));
}

TEST_F(DischargeTest, UnrecognizedCellTypeTouchesNothing) {
    settings.CellType = "nimh";
    config.DischargeCurrent[5] = 0.0;  // the cell type is reported first
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    ASSERT_EQ(ui.Errors.size(), 1u);
    EXPECT_EQ(ui.Errors[0], "Unrecognized cell type: nimh");
    EXPECT_TRUE(port.Writes().empty());
    EXPECT_EQ(graph.CurrentGraph(), nullptr);
    EXPECT_EQ(ui.Yields(), 0);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(DischargeTest, RefusesARateWithoutCurrent) {
    config.DischargeCurrent[5] = 0.0;
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    config.DischargeCurrent[5] = -0.5;
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    // Rates outside the table are refused before the table is read.
    settings.DischargeRate = 16;
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    settings.DischargeRate = 0;
    EXPECT_EQ(procedures.RunDischarge(0), -1);

    ASSERT_EQ(ui.Errors.size(), 4u);
    EXPECT_EQ(ui.Errors[3],
              "The discharge rate 0 is not one of the rates 1 to 15; choose a rate in the test "
              "settings.");
    EXPECT_EQ(ui.Errors[0],
              "The discharge current of rate 5 is 0.000 A; set a current above zero in the "
              "configuration.");
    EXPECT_EQ(ui.Errors[1],
              "The discharge current of rate 5 is -0.500 A; set a current above zero in the "
              "configuration.");
    EXPECT_EQ(ui.Errors[2],
              "The discharge rate 16 is not one of the rates 1 to 15; choose a rate in the test "
              "settings.");
    EXPECT_TRUE(port.Writes().empty());
    EXPECT_EQ(graph.CurrentGraph(), nullptr);
    EXPECT_EQ(ui.Yields(), 0);
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));

    // The highest rate is one of them.
    settings.DischargeRate = 15;
    ui.ClickStop();
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    EXPECT_EQ(ui.Errors.size(), 4u);
    EXPECT_EQ(ui.Yields(), 1);
}

TEST_F(DischargeTest, TheGraphRunsFromTheEndVoltageTo50mVAboveTheStart) {
    // 7.2 V at rest, 6.0 V under 2.0 A (0.6 ohm): an end voltage of
    // 6 x 1.35 V - 1.2 V = 6.9 V, and a first reading under load 60 mV below
    // the start, so that the graph's top is the one it was made with.
    settings.DischargeRate = 10;
    config.NiMHVmin = 1.35;
    SetVoltageFunction([this] {
        const std::uint8_t latch = instrument.ControlLatch();
        return (latch & 0x30) == 0x20 && (latch & 0x0F) != 0 ? 6.0 : 7.2;
    });
    ui.OnYield = [this] {
        if (ui.Yields() == 1) {
            // The range rounded outward to the grid: 6.85 V to 7.30 V.
            EXPECT_LE(graph.CurrentGraph()->Low, 6.9);
            EXPECT_GT(graph.CurrentGraph()->Low, 6.8);
            EXPECT_GE(graph.CurrentGraph()->High, 7.25);
            EXPECT_LT(graph.CurrentGraph()->High, 7.35);
        }
    };
    EXPECT_GE(procedures.RunDischarge(0), 0);
}

TEST_F(DischargeTest, HighResistanceLowersTheEndVoltage) {
    // A pack with 0.25 ohm: 0.5 V less under 2.0 A, so the loop ends below 5.5 V.
    settings.DischargeRate = 10;
    SetVoltageFunction([this] {
        const std::uint8_t latch = instrument.ControlLatch();
        const bool loaded = (latch & 0x30) == 0x20 && (latch & 0x0F) != 0;
        const double t = clock.Elapsed();
        const double open = t < 10.0 ? 7.2 : 7.2 - 0.01 * (t - 10.0);
        return loaded ? open - 0.5 : open;
    });
    const std::int32_t seconds = procedures.RunDischarge(0);
    // Open-circuit 6.0 V at 130 s under load reads 5.5 V: the corrected end.
    EXPECT_GE(seconds, 130);
    EXPECT_LE(seconds, 140);
    ExpectTitleBand(graph.Image(),
                    "Discharge  Battery: 6 NiMH  Rate: 2000mA  VMin: 5.50V  "
                    "Resistance: 0.2500 Ohms");
}

// Nickel packs vary: one outside the resting range is put to the user, and
// No switches nothing.
TEST_F(DischargeTest, ANickelPackOutsideItsRangeRunsOnlyWhenTheUserSaysYes) {
    SetVoltage(10.2);  // 6 cells at 1.7 V
    EXPECT_EQ(procedures.RunDischarge(0), -1);
    ASSERT_EQ(ui.Questions.size(), 1u);
    EXPECT_NE(ui.Questions[0].find("1.700 V per cell for the 6 cells set"), std::string::npos);
    EXPECT_TRUE(ui.Errors.empty());
    EXPECT_TRUE(DriveWrites().empty());
    EXPECT_TRUE(ResultLines().empty());

    ui.Answer = true;
    SetVoltageFunction([this] { return ui.Yields() < 5 ? 10.2 : 5.0; });
    EXPECT_GT(procedures.RunDischarge(0), 0);
    EXPECT_EQ(ui.Questions.size(), 2u);
    EXPECT_EQ(ResultLines().size(), 2u);
}

}  // namespace
}  // namespace voltrex::testing
