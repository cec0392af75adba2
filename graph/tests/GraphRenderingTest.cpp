#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "graph/GraphPlot.h"
#include "graph/tests/GraphTestSupport.h"
#include "platform/CFormat.h"

namespace voltrex {
namespace {

using testing::Lit;
using testing::TextMismatches;

// 0..3.5 V keeps its range at the full redraw (step 0.5); the grid lines of
// 0.0, 0.5, ... 3.5 V lie on these rows (one above the rounded row).
constexpr std::array<int, 8> GridLineRows{446, 385, 323, 262, 200, 139, 77, 16};

class GraphRenderingTest : public ::testing::Test {
  protected:
    GraphRenderingTest() {
        image.SetRepaintCallback([this](const PixelRect& rect) { repaints.push_back(rect); });
    }

    bool RowIsBlack(int y, int fromX = 0, int toX = 640) const {
        for (int x = fromX; x < toX; ++x) {
            if (image.Pixel(x, y) != GraphBlack) {
                return false;
            }
        }
        return true;
    }

    static void ExpectRect(const PixelRect& rect, int left, int top, int right, int bottom) {
        EXPECT_EQ(rect.Left, left);
        EXPECT_EQ(rect.Top, top);
        EXPECT_EQ(rect.Right, right);
        EXPECT_EQ(rect.Bottom, bottom);
    }

    RasterImage image{640, 480};
    std::vector<PixelRect> repaints;
};

TEST_F(GraphRenderingTest, CreationDrawsNothingButBlack) {
    GraphPlot graph(image, 0.0, 3.5);
    EXPECT_TRUE(repaints.empty());
    for (int y = 0; y < 480; ++y) {
        ASSERT_TRUE(RowIsBlack(y)) << y;
    }
}

TEST_F(GraphRenderingTest, TheFirstPointDrawsTheWholeFrame) {
    GraphPlot graph(image, 0.0, 3.5);
    AddPoint(graph, 100, 1.75);

    // Time axis on row 446, with a tick every 60 columns from the voltage axis.
    for (int x = 40; x < 640; ++x) {
        ASSERT_TRUE(Lit(image, x, 446)) << x;
        const bool tick = (x - 40) % 60 == 0;
        for (int y = 442; y <= 450; ++y) {
            ASSERT_EQ(Lit(image, x, y), tick || y == 446 || (x == 40 && y <= 447)) << x << "," << y;
        }
    }
    // Time labels count minutes under the ticks.
    for (int minute = 0; minute < 10; ++minute) {
        const std::string label = Format("%d", minute);
        EXPECT_EQ(TextMismatches(image, 41 + 60 * minute - 3 - 1, 451, label), 0) << label;
    }

    // Dotted vertical grid lines on every tick but the first: even rows 16..440.
    const std::set<int> gridRows(GridLineRows.begin(), GridLineRows.end());
    for (int x = 100; x < 640; x += 60) {
        for (int y = 16; y <= 441; ++y) {
            const bool dot = y % 2 == 0 || gridRows.count(y) > 0;
            ASSERT_EQ(Lit(image, x, y), dot) << x << "," << y;
        }
    }

    // Voltage grid: a tick over columns 36..44, dots on the even columns from
    // 44, and a right-aligned label centred on the line, padded to five places.
    for (std::size_t line = 0; line < GridLineRows.size(); ++line) {
        const int row = GridLineRows[line];
        for (int x = 36; x <= 44; ++x) {
            ASSERT_TRUE(Lit(image, x, row)) << x << "," << row;
        }
        const std::string label = Format("%5.2f", 0.5 * static_cast<double>(line));
        EXPECT_EQ(TextMismatches(image, 3, row + 1 - 6, label), 0) << label;
        if (line > 0) {
            for (int x = 45; x < 640; ++x) {
                ASSERT_EQ(Lit(image, x, row), x % 2 == 0 || (x - 40) % 60 == 0) << x << "," << row;
            }
        }
    }
    EXPECT_EQ(TextMismatches(image, 3, 11, " 3.50"), 0);
    EXPECT_EQ(TextMismatches(image, 3, 441, " 0.00"), 0);

    // Voltage axis: column 40 from row 447 up to row 18; row 17 stays dark.
    for (int y = 18; y <= 447; ++y) {
        ASSERT_TRUE(Lit(image, 40, y)) << y;
    }
    EXPECT_FALSE(Lit(image, 40, 17));

    // The point: column 100 is pixel column 140; 1.75 V is row 231.
    EXPECT_TRUE(Lit(image, 140, 231));
    EXPECT_FALSE(Lit(image, 140, 230));
    EXPECT_FALSE(Lit(image, 140, 232));

    // Title and status bands are not touched.
    for (int y = 0; y <= 10; ++y) {
        EXPECT_TRUE(RowIsBlack(y)) << y;
    }
    for (int y = 462; y < 480; ++y) {
        EXPECT_TRUE(RowIsBlack(y)) << y;
    }

    ASSERT_EQ(repaints.size(), 1u);
    ExpectRect(repaints[0], 0, 11, 640, 462);  // the top label reaches up to row 11
}

TEST_F(GraphRenderingTest, AOneColumnUpdateLeavesTheEarlierPixelUntilTheNextFullRedraw) {
    GraphPlot graph(image, 0.0, 3.5);
    AddPoint(graph, 100, 1.75);
    repaints.clear();
    AddPoint(graph, 100, 3.5);  // the mean moves to 2.625 V, row 124
    EXPECT_TRUE(Lit(image, 140, 231));
    EXPECT_TRUE(Lit(image, 140, 124));
    ASSERT_EQ(repaints.size(), 1u);
    ExpectRect(repaints[0], 140, 124, 141, 125);

    graph.RedrawPending = true;
    RedrawGraph(graph, 0);
    EXPECT_FALSE(Lit(image, 140, 231));
    EXPECT_TRUE(Lit(image, 140, 124));
}

TEST_F(GraphRenderingTest, ValuesOnTheLimitsLandOnTheTimeAxisAndTheTopGridLine) {
    GraphPlot graph(image, 0.0, 3.5);
    AddPoint(graph, 1, 2.0);
    AddPoint(graph, 11, 3.5);
    EXPECT_TRUE(Lit(image, 51, 16));
    AddPoint(graph, 21, 0.0);
    ASSERT_EQ(repaints.size(), 3u);
    ExpectRect(repaints[2], 61, 446, 62, 447);
}

TEST_F(GraphRenderingTest, TwoSecondsPerColumnLabelTheTicksWithEvenMinutes) {
    GraphPlot graph(image, 0.0, 3.5);
    AddPoint(graph, 700, 2.1);
    ASSERT_EQ(graph.SecondsPerColumn, 2.0);
    EXPECT_EQ(TextMismatches(image, 97, 451, "2"), 0);
    EXPECT_EQ(TextMismatches(image, 157, 451, "4"), 0);
    EXPECT_EQ(TextMismatches(image, 581 - 6 - 1, 451, "18"), 0);
    EXPECT_TRUE(Lit(image, 40 + 350, 188));  // 700 s is column 350; 2.1 V is row 188
}

TEST_F(GraphRenderingTest, AFullRedrawLeavesTheTimeLabelRowsUncleared) {
    GraphPlot graph(image, 0.0, 3.5);
    AddPoint(graph, 0, 2.0);
    image.SetPixel(300, 458);  // between the labels "4" and "5"
    graph.RedrawPending = true;
    RedrawGraph(graph, 0);
    EXPECT_TRUE(Lit(image, 300, 458));
}

TEST_F(GraphRenderingTest, ClearPlotAreaBlanksThePlotAndPlotsNothing) {
    GraphPlot graph(image, 0.0, 3.5);
    SetTitleLine(graph, "Title");
    for (int second = 0; second < 300; ++second) {
        AddPoint(graph, second, 1.0 + second / 200.0);
    }
    SetStatusLine(graph, "Status");
    repaints.clear();

    ClearPlotArea(graph);
    for (int y = 16; y <= 450; ++y) {
        ASSERT_TRUE(RowIsBlack(y)) << y;
    }
    EXPECT_EQ(TextMismatches(image, 320 - 15 - 1, 0, "Title"), 0);
    EXPECT_EQ(TextMismatches(image, 320 - 18 - 1, 468, "Status"), 0);
    EXPECT_EQ(TextMismatches(image, 97, 451, "1"), 0);  // time labels stay
    EXPECT_FALSE(graph.RedrawPending);
    ASSERT_EQ(repaints.size(), 1u);
    ExpectRect(repaints[0], 0, 16, 640, 451);

    // A negative column asks for the same.
    AddPoint(graph, 10, 2.0);  // column 10's mean: (1.05 + 2.0) / 2, row 259
    ASSERT_TRUE(Lit(image, 50, 259));
    RedrawGraph(graph, -1);
    for (int y = 16; y <= 450; ++y) {
        ASSERT_TRUE(RowIsBlack(y)) << y;
    }
    EXPECT_EQ(graph.ColumnWeight[10], 2.0);
}

TEST_F(GraphRenderingTest, TheTitleIsCentredInTheTopBand) {
    GraphPlot graph(image, 0.0, 3.5);
    image.SetPixel(5, 5);
    image.SetPixel(639, 10);
    image.SetPixel(639, 11);
    SetTitleLine(graph, "Discharge");
    EXPECT_EQ(TextMismatches(image, 320 - 27 - 1, 0, "Discharge"), 0);
    EXPECT_FALSE(Lit(image, 5, 5));
    EXPECT_FALSE(Lit(image, 639, 10));
    EXPECT_TRUE(Lit(image, 639, 11));  // below the band
    ASSERT_EQ(repaints.size(), 1u);
    ExpectRect(repaints[0], 0, 0, 640, 11);
}

TEST_F(GraphRenderingTest, TheStatusLineSitsOneRowAboveTheBottomOfItsBand) {
    GraphPlot graph(image, 0.0, 3.5);
    image.SetPixel(5, 468);
    image.SetPixel(5, 469);
    image.SetPixel(635, 479);
    SetStatusLine(graph, "Time");
    EXPECT_EQ(TextMismatches(image, 320 - 12 - 1, 468, "Time"), 0);
    EXPECT_TRUE(Lit(image, 5, 468));  // above the band and outside the text cell
    EXPECT_FALSE(Lit(image, 5, 469));
    EXPECT_TRUE(RowIsBlack(479));
    ASSERT_EQ(repaints.size(), 1u);
    ExpectRect(repaints[0], 0, 468, 640, 480);

    SetStatusLine(graph, " ");
    for (int y = 468; y < 480; ++y) {
        EXPECT_TRUE(RowIsBlack(y, 6, 640)) << y;
    }
}

TEST_F(GraphRenderingTest, LabelsThatWouldStartLeftOfTheImageStartAtColumnZero) {
    GraphPlot graph(image, 0.0, 3.5);
    const std::string title(120, 'W');  // 720 pixels
    SetTitleLine(graph, title);
    EXPECT_EQ(TextMismatches(image, 0, 0, title), 0);

    GraphPlot negative(image, -30.0, -10.0);  // step 2: "-30.00" is 36 pixels wide
    AddPoint(negative, 0, -20.0);
    EXPECT_EQ(TextMismatches(image, 0, 441, "-30.00"), 0);
    EXPECT_EQ(TextMismatches(image, 0, 11, "-10.00"), 0);
}

TEST_F(GraphRenderingTest, TheZeroLineIsLabelledWithoutASign) {
    // -1.2 + 6 x 0.2 comes out a hair below zero in binary.
    GraphPlot graph(image, -1.2, 0.2);
    AddPoint(graph, 0, -0.5);
    ASSERT_NEAR(graph.Low, -1.2, 1e-9);
    EXPECT_EQ(TextMismatches(image, 3, 78 - 6, " 0.00"), 0);
}

// The screen as the window keeps it: pixels are copied from the image only
// inside the repaint callback, so after every operation it must equal the
// image, whatever repaints were left out.
class ScreenTest : public ::testing::Test {
  protected:
    ScreenTest() : screen(640 * 480, GraphBlack) {
        image.SetRepaintCallback([this](const PixelRect& rect) {
            ++repaints;
            for (int y = rect.Top; y < rect.Bottom; ++y) {
                for (int x = rect.Left; x < rect.Right; ++x) {
                    screen[static_cast<std::size_t>(y) * 640 + x] = image.Pixel(x, y);
                }
            }
        });
    }

    // Whether any pixel of the screen differs from the image in rows top to
    // bottom - 1.
    int Stale(int top = 0, int bottom = 480) const {
        const std::size_t from = static_cast<std::size_t>(top) * 640;
        return std::memcmp(screen.data() + from, image.Bits() + from,
                           (static_cast<std::size_t>(bottom) * 640 - from) * sizeof(Rgb32)) != 0;
    }

    // A new graph blackens the image without a repaint (creation shows
    // nothing); the window shows that at its next painting, as here.
    void Expose() { std::copy(image.Bits(), image.Bits() + 640 * 480, screen.begin()); }

    RasterImage image{640, 480};
    std::vector<Rgb32> screen;
    int repaints = 0;
};

TEST_F(ScreenTest, AStatusTextSetAgainDrawsAndShowsNothingUntilItsBandIsTouched) {
    GraphPlot graph(image, 0.0, 3.5);
    AddPoint(graph, 0, 1.0);
    SetStatusLine(graph, "Time: 0:00:01  Voltage: 8.41V");
    const int afterFirst = repaints;
    const std::vector<Rgb32> drawn(image.Bits(), image.Bits() + 640 * 480);
    SetStatusLine(graph, "Time: 0:00:01  Voltage: 8.41V");
    EXPECT_EQ(repaints, afterFirst);
    // A changed text is drawn and shown before SetStatusLine returns.
    SetStatusLine(graph, "Time: 0:00:01  Voltage: 8.42V");
    EXPECT_EQ(repaints, afterFirst + 1);
    EXPECT_EQ(Stale(), 0);
    SetStatusLine(graph, "Time: 0:00:01  Voltage: 8.41V");
    EXPECT_TRUE(std::equal(drawn.begin(), drawn.end(), image.Bits()));

    // Anything drawn on a row of the band, from its first (the text cell's
    // top, above the cleared rows) to the last, makes the same text be
    // written again; rows just outside do not.
    const int before = repaints;
    image.SetPixel(600, 467);
    image.FillRect(0, 480, 640, 490);
    SetStatusLine(graph, "Time: 0:00:01  Voltage: 8.41V");
    EXPECT_EQ(repaints, before);
    for (const int row : {468, 479}) {
        image.SetPixel(300, row);
        SetStatusLine(graph, "Time: 0:00:01  Voltage: 8.41V");
        EXPECT_EQ(repaints, before + (row == 468 ? 1 : 2)) << row;
    }
    image.FillRect(0, 470, 1, 471);
    SetStatusLine(graph, "Time: 0:00:01  Voltage: 8.41V");
    EXPECT_EQ(repaints, before + 3);
    // So do another colour, and a new graph on the image.
    image.SetTraceColor(MakeRgb(255, 0, 0));
    image.SetTraceColor(TraceColor);
    SetStatusLine(graph, "Time: 0:00:01  Voltage: 8.41V");
    EXPECT_EQ(repaints, before + 4);
    GraphPlot next(image, 0.0, 3.5);
    SetStatusLine(next, "Time: 0:00:01  Voltage: 8.41V");
    EXPECT_EQ(repaints, before + 5);
    EXPECT_EQ(Stale(468, 480), 0);
    EXPECT_TRUE(std::equal(drawn.begin() + 468 * 640, drawn.end(), image.Bits() + 468 * 640));
}

TEST_F(ScreenTest, TheSamePixelPlottedAgainIsNotShownAgain) {
    GraphPlot graph(image, 0.0, 3.5);
    AddPoint(graph, 100, 1.75);  // the full redraw
    AddPoint(graph, 100, 1.75);  // the column's pixel
    const int afterFirst = repaints;
    AddPoint(graph, 100, 1.75);
    AddPoint(graph, 100, 1.75);
    EXPECT_EQ(repaints, afterFirst);
    // Shown again once something else was shown in between, though unchanged.
    SetTitleLine(graph, "Monitor");
    AddPoint(graph, 100, 1.75);
    EXPECT_EQ(repaints, afterFirst + 2);
    // A new pixel in the same column is shown.
    AddPoint(graph, 100, 3.5);
    EXPECT_EQ(repaints, afterFirst + 3);
    EXPECT_EQ(Stale(), 0);
}

// Hours of a test's passes as its loop makes them (many points a second, a
// status text that changes every second or so), with range widenings,
// compressions, a resistance graph of its own on the same image, a cleared
// plot area, titles and a blanked status line: the screen is never behind.
TEST_F(ScreenTest, TheScreenEqualsTheImageAfterEveryOperation) {
    auto graph = std::make_unique<GraphPlot>(image, 8.0, 8.1);
    SetTitleLine(*graph, "Discharge");
    int checks = 0;
    int stale = 0;
    auto check = [&] {
        ++checks;
        stale += Stale();
    };
    double v = 8.05;
    for (int pass = 0; pass < 1000; ++pass) {
        const int t = pass < 500 ? pass / 7 : 70 + (pass - 500) * 5;
        v += ((pass * 37) % 11 - 5) * 0.0007;
        SetStatusLine(*graph, Format("Time: %d  Voltage: %1.2fV", t, v));
        check();
        AddPoint(*graph, t, v);
        check();
        if (pass == 300) {
            GraphPlot resistance(image, 0.0, 0.0);
            Expose();
            ClearPlotArea(resistance);
            check();
            SetStatusLine(resistance, "One moment please...");
            check();
            SetStatusLine(resistance, " ");
            check();
        }
        if (pass == 700) {
            SetStatusLine(*graph, " ");
            check();
            SetStatusLine(*graph, " ");
            check();
            SetTitleLine(*graph, "Charge 2 of 3");
            check();
        }
    }
    EXPECT_GT(graph->CompressionStep, 2);
    EXPECT_EQ(checks, 2006);
    EXPECT_EQ(stale, 0);
}

}  // namespace
}  // namespace voltrex
