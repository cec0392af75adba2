#pragma once

#include <QChartView>
#include <QColor>
#include <QLineSeries>
#include <QString>
#include <QThreadPool>
#include <QTimer>
#include <QValueAxis>
#include <atomic>
#include <memory>
#include <optional>
#include <vector>

#include "records/CurveFile.h"

class QGraphicsLineItem;
class QGraphicsEllipseItem;
class QGraphicsSimpleTextItem;

namespace voltrex::results {

class CurveLayer;
class CurveStore;

// What the curves are drawn against.
enum class CurveAxis { Time, Charge };

// How the overlaid curves are told apart: each its own colour, or by age,
// the oldest blue and the newest red.
enum class CurveColouring { Distinct, Age };

// "2026-12-08 14:15 DIS 2/5" (an Auto Cycle's cycle 2 of 5): a curve as the legend and the lists
// name it.
QString CurveTitle(const CurveFile& curve);
// Elapsed seconds as "1:02:03".
QString ElapsedText(int seconds);

// The step of an axis' ticks for a span: 1, 2 or 5 times a power of ten,
// giving five to ten ticks.
double TickFor(double span);

// The colour of curve `index` of `count` on one chart: hues evenly spaced
// around the circle, neighbours a step apart in lightness too, so that no
// two curves of a chart share a colour however many there are.
QColor CurveColour(std::size_t index, std::size_t count);
// The colour of a curve by its age among those shown: 0 the oldest (blue),
// 1 the newest (red).
QColor AgeColour(double age);

// A curve to draw: the folder's summary of its file (no rows needed) and
// the name of its pack for the legend.
struct ChartCurve {
    CurveFile Summary;
    QString Pack;
};

// A curve as the chart holds it: the rows that draw it at the chart's width
// (DecimatedRows), and the whole curve while the curves shown fit in the
// store's budget, for a readout of every second.
struct DrawnCurve {
    CurveFile Info;  // the header and summary, without rows
    QString Pack;
    std::shared_ptr<const CurveFile> Whole;
    std::vector<CurveRow> Drawn;
    int Glitches = 0;          // rows left out of the voltage scale
    double LowestVolts = 0.0;  // without the glitches; none when Highest < Lowest
    double HighestVolts = -1.0;
    CurveRow Last;  // its last row, for the axis' end
    bool HasRows = false;
};

// The voltage curves of several tests on one chart, against time or against
// the charge moved, with a cursor: a vertical line that follows the mouse
// (or the arrow keys) and a readout of every curve's time, voltage and charge
// under it.
//
// The curves are read and thinned out to the chart's width in a worker
// thread, from the folder's bounded store: the window never waits for them,
// and a later request cancels an earlier one. The chart shows what it had
// until the new curves are ready (Drawing()).
//
// Keys: Left and Right move the cursor by a hundredth of the axis (with
// Shift a tenth), Home and End to the ends, Escape takes it away; + and -
// zoom, 0 shows everything again, Backspace (or Ctrl+Z, or the right
// button) goes back to the view before the last zoom. Dragging the mouse
// zooms into the box drawn; a zoomed span is read again at full resolution.
class CurveChartView : public QChartView {
    Q_OBJECT

  public:
    explicit CurveChartView(QWidget* parent = nullptr);
    ~CurveChartView() override;

    // The store the curves are read from; none: nothing is drawn.
    void SetStore(std::shared_ptr<CurveStore> store);
    const std::shared_ptr<CurveStore>& Store() const { return store_; }
    // The summary cache whose envelopes draw whole curves without reading
    // their files (CurveSummaryCache::DefaultPath); empty: every curve is
    // read from its file.
    void SetEnvelopeCache(const QString& path);

    // Draws these curves, when read. A Monitor moves no charge: against
    // charge it is left out (and the readout says so).
    void Plot(std::vector<std::shared_ptr<const ChartCurve>> curves, CurveAxis axis);
    // True while curves asked for are being read, or a zoomed span is about
    // to be.
    bool Drawing() const { return drawing_ || refine_.isActive(); }

    void SetColouring(CurveColouring colouring);
    CurveColouring Colouring() const { return colouring_; }

    CurveAxis Axis() const { return axis_; }
    const std::vector<QLineSeries*>& Series() const { return series_; }
    // The curves plotted, in the order of Series().
    const std::vector<DrawnCurve>& Curves() const { return plotted_; }
    // The x value of a row on the present axis: minutes or hours of elapsed
    // time, or mAh.
    double XOf(const CurveRow& row) const;
    // Seconds per unit of the time axis: 60 (minutes) or 3600 (hours, for
    // curves longer than three hours).
    double SecondsPerUnit() const { return secondsPerUnit_; }
    QValueAxis* XAxis() const { return xAxis_; }
    QValueAxis* YAxis() const { return yAxis_; }
    // A span of no more rows than this is drawn with every row (a 1.5-hour
    // zoom of a long curve shows each second); a longer one is thinned to
    // the lowest and highest of each column of pixels.
    static constexpr std::size_t AllRowsUpTo = 6000;
    // The rows a zoomed span reads from the files, of all curves together,
    // at most: about a second of reading. Curves beyond it keep their
    // envelope's points in the span.
    static constexpr std::size_t SpanRowBudget = 1'500'000;
    // The points of all curves together that the chart lays out within a
    // tenth of a second or so; a curve gets at least MinimumColumns columns.
    static constexpr std::size_t PointBudget = 60000;
    static constexpr int MinimumColumns = 24;
    // Up to this many curves are each a series of the chart (with a mark
    // under the cursor and a legend entry); more are drawn as one picture,
    // and named in the list below the chart.
    static constexpr std::size_t SeriesUpTo = 200;
    // The readout names at most this many curves, and counts the rest.
    static constexpr std::size_t ReadoutLines = 300;
    // Series added to the chart in one turn of the event loop: at most so
    // many, and no more points than PointsPerTurn (but at least one series).
    // A series costs the chart about a microsecond a point to take in.
    static constexpr std::size_t SeriesPerTurn = 12;
    static constexpr std::size_t PointsPerTurn = 8000;
    // The rows left out of the voltage scale, of all curves shown.
    int Glitches() const { return glitches_; }
    // The note on the chart (glitches, curves beyond the legend); empty
    // when there is none.
    QString Note() const;
    // How many curves the legend names; the rest are listed in the readout.
    int LegendEntries() const { return legendEntries_; }

    // Where axis values are on the chart; the colour of a curve plotted.
    QPointF PositionOf(double x, double volts) const;
    QColor ColourOfCurve(std::size_t index) const;

    void SetCursorX(std::optional<double> x);
    std::optional<double> CursorX() const { return cursor_; }
    // The readout under the cursor, as rich text.
    QString Readout() const;
    // Hides the cursor's line and marks (for an export) or shows them again.
    void SetCursorShown(bool shown);

    // The whole of every curve, and back to the view before the last zoom
    // (false when there was none).
    void ResetZoom();
    bool UndoZoom();
    bool CanUndoZoom() const { return !views_.empty(); }
    // Zooms into a box of axis values, as dragging the mouse does.
    void ZoomTo(double xMinimum, double xMaximum, double yMinimum, double yMaximum);

  signals:
    void CursorMoved();
    // New curves are drawn.
    void Drawn();
    void ZoomChanged();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct View {
        double XMinimum, XMaximum, YMinimum, YMaximum;
        bool operator==(const View&) const = default;
    };
    View CurrentView() const;
    void SetView(const View& view);
    void SetXRange(double minimum, double maximum);
    // Does a zoom, keeping the view before it for UndoZoom.
    template <class Zoom>
    void Zooming(Zoom zoom);

    void Request(bool wholeSpan);
    void Show(std::vector<DrawnCurve> curves, bool wholeSpan, double from, double to);
    // Adds the next batch of curves' series to the chart.
    void AddSeries(unsigned long long number);
    QColor ColourOf(std::size_t index, std::size_t count) const;
    void Recolour();
    void FitLegend();
    void UpdateNote();
    void UpdateCursorItems();
    // The row of the curve nearest to x on the present axis.
    const CurveRow* RowAt(const DrawnCurve& curve, double x) const;
    int Columns() const;
    static QString MoreText(std::size_t more);

    std::shared_ptr<CurveStore> store_;
    QString envelopeCache_;
    QThreadPool worker_;
    // Bumped by each request: a worker whose number is no longer the latest
    // stops and its result is dropped.
    std::shared_ptr<std::atomic<unsigned long long>> latest_;
    bool drawing_ = false;
    QTimer refine_;  // a zoomed span is read again once the zoom settles
    bool settingView_ = false;

    std::vector<std::shared_ptr<const ChartCurve>> asked_;
    std::vector<DrawnCurve> plotted_;
    std::vector<DrawnCurve> adding_;    // read, not yet on the chart
    std::vector<QLineSeries*> series_;  // none when the layer draws the curves
    std::vector<QColor> colours_;       // of each curve plotted
    CurveLayer* layer_ = nullptr;
    QValueAxis* xAxis_;
    QValueAxis* yAxis_;
    CurveAxis axis_ = CurveAxis::Time;
    CurveColouring colouring_ = CurveColouring::Distinct;
    double secondsPerUnit_ = 60.0;
    int leftOut_ = 0;  // Monitors left out of the charge axis
    int glitches_ = 0;
    int legendEntries_ = 0;
    std::optional<View> whole_;
    std::vector<View> views_;  // before each zoom, the last on top
    std::optional<View> pressed_;
    std::optional<double> cursor_;
    bool cursorShown_ = true;
    QGraphicsLineItem* cursorLine_;
    QGraphicsSimpleTextItem* note_;
    std::vector<QGraphicsEllipseItem*> marks_;
};

}  // namespace voltrex::results
