#include "graph/GraphPlot.h"
#include "procedures/tests/ProcedureFixture.h"

namespace voltrex::testing {
namespace {

using MonitorTest = RecordedProcedureTest;
using RestTest = RecordedProcedureTest;

TEST_F(MonitorTest, ShowsHoursBeyondNinetyNineAndOnlyMeasures) {
    SetVoltage(7.2);
    instrument.StartDischarge(3);  // whatever the last test left stays
    port.ClearLog();
    ui.OnYield = [this] {
        if (ui.Yields() == 1) {
            clock.Advance(100 * 3600.0 - ui.PassSeconds);
        } else {
            ui.ClickStop();
        }
    };
    procedures.RunMonitor();
    EXPECT_EQ(ui.Yields(), 2);
    EXPECT_TRUE(DriveWrites().empty());
    EXPECT_EQ(instrument.ControlLatch(), 0x23);
    ExpectTitleBand(graph.Image(), "Monitor");
    ExpectStatusBand(graph.Image(), "Time: 100:00:00  Voltage: 7.20V");
    EXPECT_FALSE(FileExists(folder.File("Voltrex2.csv")));
}

TEST_F(MonitorTest, AFailedConversionIsPlottedAndSaidOnTheStatusLine) {
    SetVoltage(1000.0);  // beyond full scale: every conversion fails
    ui.OnYield = [this] {
        if (ui.Yields() == 1) {
            ExpectStatusBand(graph.Image(),
                             "Time: 0:00:00  Voltage: -1.00V  No reading: the comparators did not "
                             "answer");
            SetVoltage(7.2);
        } else {
            ui.ClickStop();
        }
    };
    procedures.RunMonitor();
    EXPECT_EQ(ui.Yields(), 2);
    EXPECT_TRUE(ui.Errors.empty());
    // The failure stays in the smoothed value; the line no longer says so.
    ExpectStatusBand(graph.Image(), "Time: 0:00:00  Voltage: -0.59V");
}

TEST_F(MonitorTest, ARunOfLessThanASecondPlotsAtZeroOnlyAndStopsAfterThePoint) {
    SetVoltage(5.0);
    ui.PassSeconds = 0.1;
    ui.OnYield = [this] {
        if (ui.Yields() == 3) {
            ui.ClickStop();
        }
    };
    procedures.RunMonitor();
    ASSERT_NE(graph.CurrentGraph(), nullptr);
    const GraphPlot& plot = *graph.CurrentGraph();
    EXPECT_EQ(plot.ColumnWeight[0], 3.0);
    EXPECT_NEAR(plot.ColumnValue[0], 5.0, 1e-9);
    for (std::size_t i = 1; i < plot.ColumnWeight.size(); ++i) {
        ASSERT_EQ(plot.ColumnWeight[i], 0.0);
    }
    EXPECT_LE(plot.Low, 4.95);
    EXPECT_GE(plot.High, 5.05);
}

TEST_F(RestTest, CountsDownAndLastsBetweenTheRestTimeAndOneSecondMore) {
    std::vector<std::int64_t> seconds;
    ui.OnYield = [this, &seconds] { seconds.push_back(clock.Now()); };
    const double before = clock.Elapsed();
    EXPECT_TRUE(procedures.RestBetweenCycles(3));
    const double rested = clock.Elapsed() - before;
    EXPECT_GE(rested, 3.0);
    EXPECT_LE(rested, 4.0);
    EXPECT_EQ(ui.Yields(), 16);  // 0.25 s passes over four whole seconds
    // The rest needs a graph to write on and makes one.
    ASSERT_NE(graph.CurrentGraph(), nullptr);
    ExpectStatusBand(graph.Image(), "Waiting...0");
    EXPECT_TRUE(DriveWrites().empty());
}

TEST_F(RestTest, ZeroLastsToTheNextSecondAndANegativeRestEndsAtOnce) {
    clock.Advance(0.5);
    EXPECT_TRUE(procedures.RestBetweenCycles(0));
    EXPECT_EQ(ui.Yields(), 2);
    ExpectStatusBand(graph.Image(), "Waiting...0");

    EXPECT_TRUE(procedures.RestBetweenCycles(-1));
    EXPECT_EQ(ui.Yields(), 2);
}

TEST_F(RestTest, TwoClicksInOnePassAreOneRequest) {
    ui.OnYield = [this] {
        if (ui.Yields() == 2) {
            ui.ClickStop();
            ui.ClickStop();
        }
    };
    EXPECT_FALSE(procedures.RestBetweenCycles(5));
    EXPECT_EQ(ui.Yields(), 2);
    ExpectStatusBand(graph.Image(), "Waiting...5");
    // The request was consumed: the next rest runs out.
    EXPECT_TRUE(procedures.RestBetweenCycles(1));
}

}  // namespace
}  // namespace voltrex::testing
