#include "graph/GraphPlot.h"

#include <algorithm>
#include <cmath>

namespace voltrex {
namespace {

// A range narrower than this (in practice only the zero-height range of a
// graph made with (0, 0) that then receives exactly 0.0 V) has no sensible grid
// step: the step would come out as zero or as the logarithm of zero, and every
// row of the mapping would divide by zero. Such a range is opened up by
// DegenerateMargin on either side before the grid is chosen, the same margin
// the monitor puts around its first reading, so the trace sits mid-height on a
// grid of hundredths of a volt. A microvolt is far below what the converter
// resolves, so no real range is affected.
constexpr double MinimumSpan = 1.0e-6;
constexpr double DegenerateMargin = 0.05;

// The layout is derived from the font: the left margin holds a voltage label
// as wide as "99.99" plus the tick, and the bands above and below the plot are
// measured in character heights.
constexpr const char* WidestVoltageLabel = "99.99";
constexpr int LabelMargin = 11;

}  // namespace

GraphPlot::GraphPlot(RasterImage& image, double low, double high)
    : Low(std::isfinite(low) ? low : 0.0), High(std::isfinite(high) ? high : 0.0), Canvas(image) {
    // A range handed over upside down is taken the right way up, so that
    // Low <= High holds from the start and every widening keeps it.
    if (Low > High) {
        std::swap(Low, High);
    }
    image.SetFillColor(GraphBlack);
    image.SetTraceColor(TraceColor);
    ImageWidth = image.Width();
    ImageHeight = image.Height();
    PlotLeft = image.TextWidth(WidestVoltageLabel) + LabelMargin;
    const int characterHeight = image.TextHeight(WidestVoltageLabel);
    PlotTop = (3 * characterHeight) / 2 + 1;
    PlotBottom = ImageHeight - 3 * characterHeight;
    image.FillRect(0, 0, ImageWidth, ImageHeight);
    // At least one column, so that an image narrower than the margin still
    // gives a graph whose time axis can take every sample.
    ColumnCount = std::max(ImageWidth - PlotLeft + 1, 1);
    ColumnValue.assign(static_cast<std::size_t>(ColumnCount), EmptyColumn);
    ColumnWeight.assign(static_cast<std::size_t>(ColumnCount), 0.0);
    SecondsPerColumn = 1.0;
    CompressionStep = 1;
    RedrawPending = true;
}

void AddPoint(GraphPlot& graph, std::int32_t seconds, double volts) {
    if (seconds < 0) {
        return;
    }
    // A reading that is not a number (or infinite) has no place on the plot
    // and would spoil the column's mean and the range for good; it is ignored
    // like a sample before the start. A failed conversion reports -1.0, which
    // is an ordinary value and is plotted.
    if (!std::isfinite(volts)) {
        return;
    }
    auto columnOf = [&graph](std::int32_t at) {
        return static_cast<std::int32_t>(at / graph.SecondsPerColumn);
    };
    std::int32_t column = columnOf(seconds);
    while (column >= graph.ColumnCount) {
        CompressTimeAxis(graph);
        column = columnOf(seconds);
    }

    double& value = graph.ColumnValue[static_cast<std::size_t>(column)];
    double& weight = graph.ColumnWeight[static_cast<std::size_t>(column)];
    if (weight > 0.1) {
        value = (value * weight + volts) / (weight + 1.0);
        weight = weight + 1.0;
    } else {
        value = volts;
        weight = 1.0;
    }

    if (volts < graph.Low) {
        graph.Low = volts - 0.1 * (graph.High - graph.Low);
        graph.RedrawPending = true;
    }
    if (volts > graph.High) {
        graph.High = volts + 0.1 * (graph.High - graph.Low);
        graph.RedrawPending = true;
    }
    RedrawGraph(graph, column);
}

void CompressTimeAxis(GraphPlot& graph) {
    const std::int32_t oldStep = graph.CompressionStep;
    const std::int32_t newStep = oldStep + 1;
    graph.CompressionStep = newStep;

    // 64-bit products: the step reaches millions only for elapsed times near
    // the end of the 32-bit range, but then old x ColumnCount would overflow.
    const long long count = graph.ColumnCount;
    const long long kept = (oldStep * count) / newStep;
    std::vector<double>& values = graph.ColumnValue;
    std::vector<double>& weights = graph.ColumnWeight;
    // Column i now covers old columns j..k; both are never below i, so reading
    // upwards never meets a column that has already been overwritten.
    for (long long i = 0; i < kept; ++i) {
        const auto j = static_cast<std::size_t>((newStep * i) / oldStep);
        const auto k = static_cast<std::size_t>((newStep * i + 1) / oldStep);
        const auto target = static_cast<std::size_t>(i);
        if (j == k) {
            values[target] = values[j];
            weights[target] = weights[j];
            continue;
        }
        double a = values[j];
        double b = values[k];
        const double wa = weights[j];
        const double wb = weights[k];
        if (!(a > EmptyColumn)) {
            a = b;
        } else if (!(b > EmptyColumn)) {
            b = a;
        }
        if (wa + wb > 0.1) {
            values[target] = (a * wa + b * wb) / (wa + wb);
        } else {
            values[target] = (a + b) * 0.5;
        }
        weights[target] = wa + wb;
    }
    for (long long i = kept; i < count; ++i) {
        values[static_cast<std::size_t>(i)] = EmptyColumn;
        weights[static_cast<std::size_t>(i)] = 0.0;
    }

    graph.SecondsPerColumn = newStep * graph.SecondsPerColumn / oldStep;
    graph.RedrawPending = true;
}

double ChooseGridStep(GraphPlot& graph) {
    if (!(graph.High - graph.Low >= MinimumSpan)) {
        graph.Low -= DegenerateMargin;
        graph.High += DegenerateMargin;
    }
    const double raw = (graph.High - graph.Low) / 7.0;
    int n = static_cast<int>(std::floor(3.0 * std::log10(raw) + 0.5));
    // Steps follow the 1-2-5 series: n counts thirds of a decade.
    static constexpr double LeadingDigit[3] = {1.0, 2.0, 5.0};
    double step = LeadingDigit[(n + 300) % 3];
    while (n > 2) {
        step *= 10.0;
        n -= 3;
    }
    while (n < 0) {
        step *= 0.1;
        n += 3;
    }
    graph.Low = step * std::floor(graph.Low / step);
    graph.High = step * std::ceil(graph.High / step);
    return step;
}

}  // namespace voltrex
