#include "graph/GraphRendering.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/CFormat.h"

namespace voltrex {
namespace {

// One tick and one dotted grid line on the time axis every this many columns.
constexpr int TickSpacing = 60;
// A safety net for the voltage grid loop: the grid step gives 5 to 13 lines,
// so this is never reached, but a loop on doubles must not be able to spin.
constexpr int MaximumGridLines = 100;

PixelRect Unite(const PixelRect& a, const PixelRect& b) {
    return {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
            std::max(a.Bottom, b.Bottom)};
}

// The row of a voltage, rounded to the nearest row (grid lines).
int GridRow(const GraphPlot& graph, double volts) {
    return static_cast<int>(std::floor(
        graph.PlotBottom -
        (volts - graph.Low) * (graph.PlotBottom - graph.PlotTop) / (graph.High - graph.Low) + 0.5));
}

// Sets the pixel of column i if its value lies within the range; returns
// whether it did, and the pixel's rectangle in changed.
bool PlotColumn(GraphPlot& graph, std::int32_t column, PixelRect& changed) {
    const double value = graph.ColumnValue[static_cast<std::size_t>(column)];
    // High > Low after every full redraw; the check keeps a direct call on a
    // range that was never laid out from dividing by zero.
    if (value < graph.Low || value > graph.High || !(graph.High > graph.Low)) {
        return false;
    }
    const int x = graph.PlotLeft + column - 1;
    const int y = static_cast<int>(
        graph.PlotBottom -
        (value - graph.Low) * (graph.PlotBottom - graph.PlotTop) / (graph.High - graph.Low) - 0.5);
    graph.Canvas.SetPixel(x, y);
    changed = {x, y, x + 1, y + 1};
    return true;
}

PixelRect ClearPlotRows(GraphPlot& graph) {
    return FillArea(graph, 1, graph.PlotTop, graph.ImageWidth, graph.PlotBottom + 4);
}

// Minutes with seconds where a tick does not fall on a whole minute.
std::string TimeLabel(long long seconds) {
    if (seconds % 60 == 0) {
        return Format("%lld", seconds / 60);
    }
    return Format("%lld:%02lld", seconds / 60, seconds % 60);
}

void FullRedraw(GraphPlot& graph) {
    RasterImage& image = graph.Canvas;
    // The plot area only: the title, the time labels' rows and the status
    // band keep what they hold, and new time labels cover old ones exactly.
    PixelRect changed = ClearPlotRows(graph);

    for (int x = graph.PlotLeft; x <= graph.ImageWidth; ++x) {
        const int d = x - graph.PlotLeft;
        if (d % TickSpacing != 0) {
            image.SetPixel(x - 1, graph.PlotBottom - 1);
            continue;
        }
        image.MoveTo(x - 1, graph.PlotBottom - 5);
        image.LineTo(x - 1, graph.PlotBottom + 4);
        const auto seconds = static_cast<long long>(d * graph.SecondsPerColumn + 0.5);
        changed = Unite(changed, DrawLabel(graph, x, graph.PlotBottom + 4, TimeLabel(seconds),
                                           AnchorCentre, AnchorStart));
        // No dots on the first tick: it lies on the voltage axis.
        if (d != 0) {
            for (int y = graph.PlotBottom - 6; y >= graph.PlotTop; y -= 2) {
                image.SetPixel(x - 1, y - 1);
            }
        }
    }

    const double step = ChooseGridStep(graph);
    // The value is carried from line to line, step added to step (the lines
    // land where that sum does); the count bounds the loop.
    double v = graph.Low;
    for (int lines = 0; graph.High + 0.1 * step > v && lines < MaximumGridLines; ++lines) {
        const int y = GridRow(graph, v);
        image.MoveTo(graph.PlotLeft - 5, y - 1);
        image.LineTo(graph.PlotLeft + 4, y - 1);
        // Adding the step leaves a trace of rounding: the line at zero may come
        // out as -2e-16, which must not be labelled "-0.00".
        const double shown = std::fabs(v) < 1.0e-6 * step ? 0.0 : v;
        changed = Unite(changed, DrawLabel(graph, graph.PlotLeft - 7, y, Format("%5.2f", shown),
                                           AnchorEnd, AnchorCentre));
        // No dots on the lowest line: it lies on the time axis.
        if (v != graph.Low) {
            for (int x = graph.PlotLeft + 4; x < graph.ImageWidth; x += 2) {
                image.SetPixel(x - 1, y - 1);
            }
        }
        v += step;
    }

    image.MoveTo(graph.PlotLeft - 1, graph.PlotBottom);
    image.LineTo(graph.PlotLeft - 1, graph.PlotTop);
    graph.RedrawPending = false;

    PixelRect unused;
    for (std::int32_t column = 0; column < graph.ColumnCount; ++column) {
        PlotColumn(graph, column, unused);
    }
    image.Repaint(changed);
}

}  // namespace

PixelRect FillArea(GraphPlot& graph, int x1, int y1, int x2, int y2) {
    graph.Canvas.FillRect(x1 - 1, y1 - 1, x2, y2);
    return {x1 - 1, y1 - 1, x2, y2};
}

PixelRect DrawLabel(GraphPlot& graph, int x, int y, const std::string& text, int horizontal,
                    int vertical) {
    RasterImage& image = graph.Canvas;
    const int width = image.TextWidth(text);
    const int height = image.TextHeight(text);
    if (horizontal < 0) {
        x -= width;
    } else if (horizontal == 0) {
        x -= width / 2;
    } else {
        x += 1;
    }
    if (vertical < 0) {
        y -= height;
    } else if (vertical == 0) {
        y -= height / 2;
    } else {
        y += 1;
    }
    x = std::max(x - 1, 0);
    y -= 1;
    if (y < 0) {
        y = 0;
    } else if (y + height > graph.ImageHeight) {
        y = graph.ImageHeight - height;
    }
    image.TextOut(x, y, text);
    return {x, y, x + width, y + height};
}

void RedrawGraph(GraphPlot& graph, std::int32_t column) {
    if (column < 0) {
        ClearPlotArea(graph);
        return;
    }
    if (graph.RedrawPending) {
        FullRedraw(graph);
        return;
    }
    // A column the graph does not have has nothing to show.
    if (column >= graph.ColumnCount) {
        return;
    }
    // Nothing is erased: when later samples move the column's mean, the old
    // pixel stays until the next full redraw.
    PixelRect changed;
    if (!PlotColumn(graph, column, changed)) {
        const int x = graph.PlotLeft + column - 1;
        changed = {x, graph.PlotTop - 1, x + 1, graph.PlotBottom};
    }
    // The same pixel as the pass before, unchanged, is not shown again
    // (RasterImage::Repaint).
    graph.Canvas.Repaint(changed);
}

void ClearPlotArea(GraphPlot& graph) {
    graph.Canvas.Repaint(ClearPlotRows(graph));
}

void SetTitleLine(GraphPlot& graph, const std::string& text) {
    const int bandHeight = graph.Canvas.TextHeight(text);
    PixelRect changed = FillArea(graph, 1, 1, graph.ImageWidth, bandHeight);
    changed =
        Unite(changed, DrawLabel(graph, graph.ImageWidth / 2, 1, text, AnchorCentre, AnchorCentre));
    graph.Canvas.Repaint(changed);
}

void SetStatusLine(GraphPlot& graph, const std::string& text) {
    // The status text changes about once a second while a test's loop sets
    // it at every pass: the same text over the same band draws the same
    // pixels, so while the band still holds it nothing is drawn or shown.
    RasterImage& image = graph.Canvas;
    const int bandHeight = image.TextHeight(text);
    // The text's cell starts one row above the band (DrawLabel's rule).
    const int top = graph.ImageHeight - bandHeight - 1;
    if (image.BandHolds(top, graph.ImageHeight, text)) {
        return;
    }
    PixelRect changed =
        FillArea(graph, 1, graph.ImageHeight - bandHeight + 1, graph.ImageWidth, graph.ImageHeight);
    changed = Unite(changed, DrawLabel(graph, graph.ImageWidth / 2, graph.ImageHeight, text,
                                       AnchorCentre, AnchorEnd));
    image.Repaint(changed);
    if (changed.Top == top && changed.Bottom == graph.ImageHeight) {
        image.KeepBand(top, graph.ImageHeight, text);
    }
}

}  // namespace voltrex
