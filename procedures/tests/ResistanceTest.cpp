#include "graph/GraphPlot.h"
#include "procedures/ProcedureTexts.h"
#include "procedures/tests/ProcedureFixture.h"

namespace voltrex::testing {
namespace {

// A pack of 7.2 V open-circuit that shows 0.16 ohm under discharge and
// 0.24 ohm under charge, measured at discharge rate 10 (2.0 A, 6.88 V under
// load) and charge rate 5 (0.5 A, 7.32 V under charge): the two halves and
// the result line can be told apart.
class ResistanceTest : public RecordedProcedureTest {
  protected:
    void SetUp() override {
        RecordedProcedureTest::SetUp();
        settings.DischargeRate = 10;
        settings.ChargeRate = 5;
        SetVoltageFunction([this] {
            const std::uint8_t latch = instrument.ControlLatch();
            const std::size_t rate = latch & 0x0F;
            if ((latch & 0x20) == 0 || rate == 0) {
                return 7.2;
            }
            return (latch & 0x10) != 0 ? 7.2 + 0.24 * config.ChargeCurrent[rate]
                                       : 7.2 - 0.16 * config.DischargeCurrent[rate];
        });
    }
};

// The plot area of a graph with a curve on it, as it is and after ClearPlotArea.
RasterImage CurveImage(bool cleared) {
    RasterImage image(Graph::ImageWidth, Graph::ImageHeight);
    GraphPlot plot(image, 0.0, 0.0);
    for (int t = 0; t < 200; ++t) {
        AddPoint(plot, t, 7.0 + 0.001 * t);
    }
    if (cleared) {
        ClearPlotArea(plot);
    }
    return image;
}

// Rows between the title and the status band.
constexpr int PlotRowsTop = 11;
constexpr int PlotRowsBottom = Graph::ImageHeight - 16;

TEST_F(ResistanceTest, ButtonMeasuresBothHalvesAndLeavesEverythingOff) {
    GraphPlot own(graph.Image(), 0.0, 0.0);
    for (int t = 0; t < 200; ++t) {
        AddPoint(own, t, 7.0 + 0.001 * t);
    }
    ui.ClickStop();  // the test cannot be stopped: it neither yields nor polls
    // The Resistance button's result is the charge half's.
    EXPECT_NEAR(procedures.MeasureInternalResistance(ResistanceHalves::Both, own), 0.24, 1e-9);
    EXPECT_EQ(ui.Yields(), 0);
    EXPECT_EQ(ui.Polls(), 0);
    EXPECT_TRUE(ui.StopPending());

    const std::vector<std::uint8_t> expected = {0x20, 0x2A,        // discharge at rate 10
                                                0x20, 0x20, 0x20,  // current off, relay kept
                                                0x20, 0x30, 0x35,  // charge at rate 5
                                                0x30, 0x30, 0x30,  // current off, relays kept
                                                0x30, 0x00};       // all off
    EXPECT_EQ(DriveWrites(), expected);
    EXPECT_EQ(instrument.ControlLatch(), 0);
    // A first reading that is thrown away, then two for each half.
    EXPECT_EQ(port.ResetPulses(), 5 * 20);
    ExpectTitleBand(graph.Image(),
                    "Charge: 0.2400 Ohms (at 500mA)  Discharge: 0.1600 Ohms (at 2000mA)  "
                    "Average: 0.2000 Ohms");
    ExpectStatusBand(graph.Image(), " ");
    // The curve that was on the graph is gone.
    EXPECT_TRUE(SameRows(graph.Image(), CurveImage(true), PlotRowsTop, PlotRowsBottom));
}

TEST_F(ResistanceTest, AFailedReadingShowsTheErrorInsteadOfAResult) {
    GraphPlot own(graph.Image(), 0.0, 0.0);
    // Under load the high side is beyond full scale: the loaded reading fails.
    SetVoltageFunction([this] { return (instrument.ControlLatch() & 0x0F) != 0 ? 1000.0 : 7.2; });
    EXPECT_EQ(procedures.MeasureInternalResistance(ResistanceHalves::Both, own), 0.0);
    EXPECT_EQ(ui.Errors, std::vector<std::string>{texts::MeasurementFailure});
    // Discharge on, then current off and the relay open at once.
    EXPECT_EQ(DriveWrites(), (std::vector<std::uint8_t>{0x20, 0x2A, 0x20, 0x00}));
    ExpectTitleBand(graph.Image(), "Measuring Discharge Impedance");
    ExpectStatusBand(graph.Image(), " ");
}

TEST_F(ResistanceTest, UnloadedReadingFollowsTwoHundredMillisecondsOfRest) {
    GraphPlot own(graph.Image(), 0.0, 0.0);
    procedures.MeasureInternalResistance(ResistanceHalves::Both, own);
    // From the current going off (0x20 after 0x2A, 0x30 after 0x35) to the
    // next conversion's reset pulse: the relay settling of the switch and the
    // wait of the test.
    const auto& writes = port.Writes();
    for (const std::uint8_t loaded : {0x2A, 0x35}) {
        SCOPED_TRACE(static_cast<int>(loaded));
        std::size_t off = 0;
        while (off + 1 < writes.size() &&
               !(writes[off].Value == loaded && writes[off + 1].Value == (loaded & 0x30))) {
            ++off;
        }
        ++off;
        ASSERT_LT(off, writes.size());
        std::size_t reset = off;
        while (reset < writes.size() && (writes[reset].Value & 0x40) == 0) {
            ++reset;
        }
        ASSERT_LT(reset, writes.size());
        // 1 ms for the current to stop, 100 ms for the relays, 100 ms of rest.
        EXPECT_NEAR(writes[reset].Time - writes[off].Time, 0.201, 1e-6);
    }
}

TEST_F(ResistanceTest, DischargeHalfNeverSelectsChargeAndLeavesThePackConnected) {
    GraphPlot own(graph.Image(), 0.0, 0.0);
    for (int t = 0; t < 200; ++t) {
        AddPoint(own, t, 7.0 + 0.001 * t);
    }
    EXPECT_NEAR(procedures.MeasureInternalResistance(ResistanceHalves::Discharge, own), 0.16, 1e-9);
    for (std::uint8_t value : DriveWrites()) {
        EXPECT_EQ(value & 0x10, 0);
    }
    EXPECT_EQ(instrument.ControlLatch(), 0x20);
    EXPECT_EQ(port.ResetPulses(), 3 * 20);
    // Only the Resistance button's test clears the plot.
    EXPECT_TRUE(SameRows(graph.Image(), CurveImage(false), PlotRowsTop, PlotRowsBottom));
    ExpectTitleBand(graph.Image(), "Measuring Discharge Impedance");
    ExpectStatusBand(graph.Image(), "One moment please...");
}

TEST_F(ResistanceTest, ChargeHalfNeverSelectsDischargeAndLeavesChargeModeAtRateZero) {
    GraphPlot own(graph.Image(), 0.0, 0.0);
    EXPECT_NEAR(procedures.MeasureInternalResistance(ResistanceHalves::Charge, own), 0.24, 1e-9);
    for (std::uint8_t value : DriveWrites()) {
        EXPECT_NE(value & 0x30, 0x20);
    }
    EXPECT_EQ(instrument.ControlLatch(), 0x30);
    EXPECT_EQ(port.ResetPulses(), 3 * 20);
    ExpectTitleBand(graph.Image(), "Measuring Charge Impedance");
    ExpectStatusBand(graph.Image(), "One moment please...");
}

TEST_F(ResistanceTest, PackThatDoesNotMoveGivesZero) {
    SetVoltage(7.2);
    GraphPlot own(graph.Image(), 0.0, 0.0);
    EXPECT_EQ(procedures.MeasureInternalResistance(ResistanceHalves::Both, own), 0.0);
    ExpectTitleBand(graph.Image(),
                    "Charge: 0.0000 Ohms (at 500mA)  Discharge: 0.0000 Ohms (at 2000mA)  "
                    "Average: 0.0000 Ohms");
}

TEST_F(ResistanceTest, ButtonRefusesARateWithoutCurrent) {
    config.ChargeCurrent[5] = 0.0;
    GraphPlot own(graph.Image(), 0.0, 0.0);
    EXPECT_EQ(procedures.MeasureInternalResistance(ResistanceHalves::Both, own), 0.0);
    config.ChargeCurrent[5] = 0.5;
    settings.DischargeRate = 17;
    EXPECT_EQ(procedures.MeasureInternalResistance(ResistanceHalves::Both, own), 0.0);

    const std::vector<std::string> expected = {
        "The charge current of rate 5 is 0.000 A; set a current above zero in the "
        "configuration.",
        "The discharge rate 17 is not one of the rates 1 to 15; choose a rate in the test "
        "settings."};
    EXPECT_EQ(ui.Errors, expected);
    EXPECT_TRUE(port.Writes().empty());
    // Nothing drawn: the image is still the black of a fresh graph.
    ExpectTitleBand(graph.Image(), "");
    ExpectStatusBand(graph.Image(), "");
}

}  // namespace
}  // namespace voltrex::testing
