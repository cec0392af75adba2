#include "graph/GraphPlot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "graph/tests/GraphTestSupport.h"

namespace voltrex {
namespace {

class GraphPlotTest : public ::testing::Test {
  protected:
    RasterImage image{640, 480};
};

TEST_F(GraphPlotTest, CreationLaysOutTheGraphAndBlanksTheImage) {
    image.SetFillColor(MakeRgb(1, 2, 3));
    image.FillRect(0, 0, 640, 480);
    image.SetTraceColor(MakeRgb(9, 9, 9));
    GraphPlot graph(image, 4.0, 8.0);
    EXPECT_EQ(graph.ImageWidth, 640);
    EXPECT_EQ(graph.ImageHeight, 480);
    EXPECT_EQ(graph.PlotLeft, 41);  // "99.99" is 30 pixels wide
    EXPECT_EQ(graph.PlotTop, 17);
    EXPECT_EQ(graph.PlotBottom, 447);
    EXPECT_EQ(graph.ColumnCount, 600);
    EXPECT_EQ(graph.ColumnValue.size(), 600u);
    EXPECT_EQ(graph.ColumnWeight.size(), 600u);
    EXPECT_EQ(graph.ColumnValue[599], EmptyColumn);
    EXPECT_EQ(graph.ColumnWeight[0], 0.0);
    EXPECT_EQ(graph.SecondsPerColumn, 1.0);
    EXPECT_EQ(graph.CompressionStep, 1);
    EXPECT_TRUE(graph.RedrawPending);
    EXPECT_EQ(graph.Low, 4.0);
    EXPECT_EQ(graph.High, 8.0);
    EXPECT_EQ(image.FillColor(), GraphBlack);
    EXPECT_EQ(image.TraceColor(), TraceColor);
    EXPECT_EQ(image.Pixel(0, 0), GraphBlack);
    EXPECT_EQ(image.Pixel(639, 479), GraphBlack);
}

TEST_F(GraphPlotTest, SamplesOfOneSecondAreAveraged) {
    GraphPlot graph(image, 0.0, 5.0);
    AddPoint(graph, 0, 1.0);
    AddPoint(graph, 0, 2.0);
    AddPoint(graph, 0, 3.0);
    EXPECT_DOUBLE_EQ(graph.ColumnValue[0], 2.0);
    EXPECT_EQ(graph.ColumnWeight[0], 3.0);
    EXPECT_EQ(graph.ColumnWeight[1], 0.0);
}

// Fills columns 0..599 at one second each with 1 to 3 samples of varying value.
void FillOneSecondColumns(GraphPlot& graph) {
    for (int second = 0; second < 600; ++second) {
        for (int sample = 0; sample <= second % 3; ++sample) {
            AddPoint(graph, second, 5.0 + 0.001 * second + 0.01 * sample);
        }
    }
}

TEST_F(GraphPlotTest, CompressionMergesColumnsByTheirSampleCounts) {
    GraphPlot graph(image, 4.0, 8.0);
    FillOneSecondColumns(graph);
    const std::vector<double> values = graph.ColumnValue;
    const std::vector<double> weights = graph.ColumnWeight;
    const double* storage = graph.ColumnValue.data();

    AddPoint(graph, 600, 6.5);
    EXPECT_EQ(graph.CompressionStep, 2);
    EXPECT_EQ(graph.SecondsPerColumn, 2.0);
    for (int i = 0; i < 300; ++i) {
        const double expected =
            (values[2 * i] * weights[2 * i] + values[2 * i + 1] * weights[2 * i + 1]) /
            (weights[2 * i] + weights[2 * i + 1]);
        EXPECT_DOUBLE_EQ(graph.ColumnValue[i], expected) << i;
        EXPECT_EQ(graph.ColumnWeight[i], weights[2 * i] + weights[2 * i + 1]) << i;
    }
    EXPECT_EQ(graph.ColumnValue[300], 6.5);
    EXPECT_EQ(graph.ColumnWeight[300], 1.0);
    for (int i = 301; i < 600; ++i) {
        EXPECT_EQ(graph.ColumnValue[i], EmptyColumn) << i;
        EXPECT_EQ(graph.ColumnWeight[i], 0.0) << i;
    }

    // Two-second columns become three-second ones: copy one, merge the next two.
    const std::vector<double> halved = graph.ColumnValue;
    const std::vector<double> halvedWeights = graph.ColumnWeight;
    AddPoint(graph, 1200, 6.0);
    EXPECT_EQ(graph.CompressionStep, 3);
    EXPECT_EQ(graph.SecondsPerColumn, 3.0);
    EXPECT_EQ(graph.ColumnValue[0], halved[0]);
    EXPECT_EQ(graph.ColumnWeight[0], halvedWeights[0]);
    EXPECT_DOUBLE_EQ(graph.ColumnValue[1],
                     (halved[1] * halvedWeights[1] + halved[2] * halvedWeights[2]) /
                         (halvedWeights[1] + halvedWeights[2]));
    EXPECT_EQ(graph.ColumnValue[2], halved[3]);
    EXPECT_EQ(graph.ColumnValue[200], 6.5);  // old column 300, copied
    EXPECT_EQ(graph.ColumnValue[400], 6.0);
    EXPECT_EQ(graph.ColumnWeight[400], 1.0);
    EXPECT_EQ(graph.ColumnValue[401], EmptyColumn);

    // The arrays were made once and only rearranged.
    EXPECT_EQ(graph.ColumnValue.data(), storage);
    EXPECT_EQ(graph.ColumnValue.size(), 600u);
}

TEST_F(GraphPlotTest, AFarSampleCompressesUntilItFits) {
    GraphPlot graph(image, 4.0, 8.0);
    AddPoint(graph, 10000, 5.0);
    EXPECT_EQ(graph.CompressionStep, 17);
    EXPECT_EQ(graph.SecondsPerColumn, 17.0);
    EXPECT_EQ(graph.ColumnWeight[588], 1.0);
    EXPECT_EQ(graph.ColumnValue[588], 5.0);
    EXPECT_FALSE(graph.RedrawPending);  // the full redraw followed at once
}

TEST_F(GraphPlotTest, MergingWithAnEmptyColumnKeepsTheSamples) {
    GraphPlot graph(image, 4.0, 8.0);
    AddPoint(graph, 0, 5.3);
    AddPoint(graph, 0, 5.5);  // column 0: 5.4 from two samples, column 1 empty
    AddPoint(graph, 3, 6.1);  // column 2 empty, column 3 holds one sample
    CompressTimeAxis(graph);
    EXPECT_DOUBLE_EQ(graph.ColumnValue[0], 5.4);
    EXPECT_EQ(graph.ColumnWeight[0], 2.0);
    EXPECT_DOUBLE_EQ(graph.ColumnValue[1], 6.1);
    EXPECT_EQ(graph.ColumnWeight[1], 1.0);
    EXPECT_EQ(graph.ColumnValue[2], EmptyColumn);  // two empty columns stay empty
    EXPECT_EQ(graph.ColumnWeight[2], 0.0);
    EXPECT_TRUE(graph.RedrawPending);
}

TEST_F(GraphPlotTest, ASampleOutsideTheRangeWidensItAndTheRedrawRoundsIt) {
    GraphPlot below(image, 4.0, 8.0);
    AddPoint(below, 0, 3.0);  // Low 3.0 - 0.4 = 2.6, rounded down to the step 1.0
    EXPECT_EQ(below.Low, 2.0);
    EXPECT_EQ(below.High, 8.0);
    EXPECT_FALSE(below.RedrawPending);

    GraphPlot above(image, 0.0, 8.0);
    AddPoint(above, 0, 9.0);  // High 9.0 + 0.8 = 9.8, rounded up to 10.0
    EXPECT_EQ(above.Low, 0.0);
    EXPECT_EQ(above.High, 10.0);
}

TEST_F(GraphPlotTest, TheMarginIsATenthOfTheOldSpan) {
    // 2..4 is already rounded (step 0.2); the margin shows in the rounding of
    // the widened range to the new step 0.5.
    GraphPlot below(image, 2.0, 4.0);
    AddPoint(below, 0, 3.0);
    ASSERT_EQ(below.Low, 2.0);
    ASSERT_EQ(below.High, 4.0);
    AddPoint(below, 1, 1.0);  // Low 0.8, not 1.0
    EXPECT_EQ(below.Low, 0.5);
    EXPECT_EQ(below.High, 4.0);

    GraphPlot above(image, 2.0, 4.0);
    AddPoint(above, 0, 3.0);
    AddPoint(above, 1, 5.0);  // High 5.2, not 5.0
    EXPECT_EQ(above.Low, 2.0);
    EXPECT_EQ(above.High, 5.5);
}

struct GridCase {
    double Low;
    double High;
    double Step;
    double RoundedLow;
    double RoundedHigh;
};

class GridStepTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(GridStepTest, ChoosesA125StepAndRoundsTheRangeOutward) {
    RasterImage image(640, 480);
    const GridCase& c = GetParam();
    GraphPlot graph(image, c.Low, c.High);
    EXPECT_DOUBLE_EQ(ChooseGridStep(graph), c.Step);
    EXPECT_DOUBLE_EQ(graph.Low, c.RoundedLow);
    EXPECT_DOUBLE_EQ(graph.High, c.RoundedHigh);
}

INSTANTIATE_TEST_SUITE_P(
    GraphPlot, GridStepTest,
    ::testing::Values(GridCase{0.0, 12.0, 2.0, 0.0, 12.0}, GridCase{11.9, 14.5, 0.5, 11.5, 14.5},
                      GridCase{0.0, 3.5, 0.5, 0.0, 3.5}, GridCase{0.0, 70.0, 10.0, 0.0, 70.0},
                      GridCase{0.0, 0.7, 0.1, 0.0, 0.7}, GridCase{2.6, 8.0, 1.0, 2.0, 8.0},
                      GridCase{6.86, 9.85, 0.5, 6.5, 10.0}, GridCase{-1.3, 0.05, 0.2, -1.4, 0.2}),
    [](const ::testing::TestParamInfo<GridCase>& info) {
        return "Range" + std::to_string(info.index);
    });

TEST_F(GraphPlotTest, SamplesOnTheLimitsDoNotWidenTheRange) {
    GraphPlot graph(image, 4.0, 8.0);
    AddPoint(graph, 0, 6.0);  // first point: full redraw, 4..8 stays (step 0.5)
    ASSERT_FALSE(graph.RedrawPending);
    AddPoint(graph, 1, 4.0);
    AddPoint(graph, 2, 8.0);
    EXPECT_FALSE(graph.RedrawPending);
    EXPECT_EQ(graph.Low, 4.0);
    EXPECT_EQ(graph.High, 8.0);
}

TEST_F(GraphPlotTest, NegativeSecondsChangeNothing) {
    GraphPlot graph(image, 4.0, 8.0);
    AddPoint(graph, -1, 100.0);
    AddPoint(graph, -3600, -5.0);
    EXPECT_EQ(graph.Low, 4.0);
    EXPECT_EQ(graph.High, 8.0);
    EXPECT_TRUE(graph.RedrawPending);
    for (int i = 0; i < graph.ColumnCount; ++i) {
        ASSERT_EQ(graph.ColumnWeight[i], 0.0);
    }
    EXPECT_EQ(image.Pixel(41, 446), GraphBlack);  // nothing drawn, not even the frame
}

TEST_F(GraphPlotTest, AReadingThatIsNoNumberIsIgnored) {
    GraphPlot graph(image, 4.0, 8.0);
    AddPoint(graph, 0, 5.0);
    AddPoint(graph, 0, std::numeric_limits<double>::quiet_NaN());
    AddPoint(graph, 1, std::numeric_limits<double>::infinity());
    AddPoint(graph, 2, -std::numeric_limits<double>::infinity());
    EXPECT_EQ(graph.ColumnValue[0], 5.0);
    EXPECT_EQ(graph.ColumnWeight[0], 1.0);
    EXPECT_EQ(graph.ColumnWeight[1], 0.0);
    EXPECT_EQ(graph.Low, 4.0);
    EXPECT_EQ(graph.High, 8.0);
    // A failed conversion's -1.0 is a reading like any other.
    AddPoint(graph, 3, -1.0);
    EXPECT_EQ(graph.ColumnValue[3], -1.0);
    EXPECT_LT(graph.Low, -1.0);
}

TEST_F(GraphPlotTest, AZeroHeightRangeOpensAroundItsValue) {
    GraphPlot graph(image, 0.0, 0.0);
    AddPoint(graph, 0, 0.0);  // stays within 0..0: no widening, then the full redraw
    EXPECT_FALSE(graph.RedrawPending);
    EXPECT_LT(graph.Low, 0.0);
    EXPECT_GT(graph.High, 0.0);
    EXPECT_NEAR(graph.Low, -0.05, 0.011);
    EXPECT_NEAR(graph.High, 0.05, 0.011);
    // The trace sits mid-height. Column 11 is pixel column 51, which no
    // dotted line touches.
    AddPoint(graph, 11, 0.0);
    int lit = 0;
    for (int y = 17; y < 446; ++y) {
        lit += testing::Lit(image, 51, y) ? 1 : 0;
    }
    EXPECT_EQ(lit, 1);
    EXPECT_TRUE(testing::Lit(image, 51, 231));
}

TEST_F(GraphPlotTest, AnUpsideDownRangeIsTurnedRound) {
    GraphPlot graph(image, 8.0, 4.0);
    EXPECT_EQ(graph.Low, 4.0);
    EXPECT_EQ(graph.High, 8.0);
}

}  // namespace
}  // namespace voltrex
