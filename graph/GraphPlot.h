#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "graph/RasterImage.h"

namespace voltrex {

// The value of a column that holds no samples; it lies below every range.
inline constexpr double EmptyColumn = -1.0e9;
// The graph's colours: everything is drawn in the trace colour on black.
inline constexpr Rgb32 GraphBlack = MakeRgb(0, 0, 0);
inline constexpr Rgb32 TraceColor = MakeRgb(0, 204, 102);

// A voltage/time plot on an image: one averaged voltage per pixel column, a
// voltage range that only grows, and a time axis that coarsens one step at a
// time as a test outlasts the plot's width. Its memory is fixed at creation.
struct GraphPlot {
    // Fills the image with black and lays the plot out on it; nothing else is
    // drawn until the first point.
    GraphPlot(RasterImage& image, double low, double high);
    GraphPlot(const GraphPlot&) = delete;
    GraphPlot& operator=(const GraphPlot&) = delete;

    double SecondsPerColumn = 1.0;
    std::int32_t ColumnCount = 0;
    bool RedrawPending = true;
    double Low = 0.0;
    double High = 0.0;
    std::vector<double> ColumnValue;
    std::vector<double> ColumnWeight;
    std::int32_t CompressionStep = 1;
    RasterImage& Canvas;
    std::int32_t ImageWidth = 0;
    std::int32_t ImageHeight = 0;
    std::int32_t PlotLeft = 0;
    std::int32_t PlotTop = 0;
    std::int32_t PlotBottom = 0;
};

// Stores a sample (ignored for negative seconds), widens the range or
// compresses the time axis as needed and shows the result at once.
void AddPoint(GraphPlot& graph, std::int32_t seconds, double volts);
// Makes every column cover one more step of time, merging columns in place.
void CompressTimeAxis(GraphPlot& graph);
// Returns the voltage grid step (1-2-5 series) and rounds Low/High outward to it.
double ChooseGridStep(GraphPlot& graph);
// column >= 0: shows that column, or redraws everything when RedrawPending;
// column < 0: ClearPlotArea.
void RedrawGraph(GraphPlot& graph, std::int32_t column);
void ClearPlotArea(GraphPlot& graph);
void SetTitleLine(GraphPlot& graph, const std::string& text);
void SetStatusLine(GraphPlot& graph, const std::string& text);
// Writes the image as it stands to an 8-bit bitmap file; throws
// GraphFileError("Cannot create file <name>") when the file cannot be created.
void SaveGraphBitmap(const GraphPlot& graph, const std::string& fileName);

}  // namespace voltrex
