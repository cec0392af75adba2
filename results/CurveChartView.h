#pragma once

#include <QChartView>
#include <QColor>
#include <QLineSeries>
#include <QString>
#include <QValueAxis>
#include <memory>
#include <optional>
#include <vector>

#include "records/CurveFile.h"

class QGraphicsLineItem;
class QGraphicsEllipseItem;

namespace voltrex::results {

// What the curves are drawn against.
enum class CurveAxis { Time, Charge };

// "2026-12-08 14:15 DIS 2/5" (an Auto Cycle's cycle 2 of 5): a curve as the legend and the lists
// name it.
QString CurveTitle(const CurveFile& curve);
// Elapsed seconds as "1:02:03".
QString ElapsedText(int seconds);

// The step of an axis' ticks for a span: 1, 2 or 5 times a power of ten,
// giving five to ten ticks.
double TickFor(double span);

// The colours of the overlaid curves, one each, distinct on screen and on
// paper.
QColor CurveColour(std::size_t index);

// The voltage curves of several tests on one chart, against time or against
// the charge moved, with a cursor: a vertical line that follows the mouse
// (or the arrow keys) and a readout of every curve's time, voltage and charge
// under it.
//
// Keys: Left and Right move the cursor by a hundredth of the axis (with
// Shift a tenth), Home and End to the ends, Escape takes it away; + and -
// zoom, 0 shows everything again. Dragging the mouse zooms into a span,
// the right button zooms out.
class CurveChartView : public QChartView {
    Q_OBJECT

  public:
    explicit CurveChartView(QWidget* parent = nullptr);
    ~CurveChartView() override;

    // The curves need their rows (ReadCurveFile). A Monitor moves no charge:
    // against charge it is left out (and the readout says so).
    void Plot(std::vector<std::shared_ptr<const CurveFile>> curves, CurveAxis axis);
    CurveAxis Axis() const { return axis_; }
    const std::vector<QLineSeries*>& Series() const { return series_; }
    // The curves plotted, in the order of Series().
    const std::vector<std::shared_ptr<const CurveFile>>& Curves() const { return plotted_; }
    // The x value of a row on the present axis: minutes or hours of elapsed
    // time, or mAh.
    double XOf(const CurveRow& row) const;
    // Seconds per unit of the time axis: 60 (minutes) or 3600 (hours, for
    // curves longer than three hours).
    double SecondsPerUnit() const { return secondsPerUnit_; }
    QValueAxis* XAxis() const { return xAxis_; }
    QValueAxis* YAxis() const { return yAxis_; }
    // At most this many points of a curve are drawn (every n-th second of a
    // longer one); the readout always uses every row.
    static constexpr std::size_t MaximumPoints = 4000;

    void SetCursorX(std::optional<double> x);
    std::optional<double> CursorX() const { return cursor_; }
    // The readout under the cursor, as rich text.
    QString Readout() const;
    // Hides the cursor's line and marks (for an export) or shows them again.
    void SetCursorShown(bool shown);
    void ResetZoom();

  signals:
    void CursorMoved();

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void UpdateCursorItems();
    // The row of the curve nearest to x on the present axis.
    const CurveRow* RowAt(const CurveFile& curve, double x) const;

    std::vector<std::shared_ptr<const CurveFile>> plotted_;
    std::vector<QLineSeries*> series_;
    QValueAxis* xAxis_;
    QValueAxis* yAxis_;
    CurveAxis axis_ = CurveAxis::Time;
    double secondsPerUnit_ = 60.0;
    int leftOut_ = 0;  // Monitors left out of the charge axis
    std::optional<double> cursor_;
    bool cursorShown_ = true;
    QGraphicsLineItem* cursorLine_;
    std::vector<QGraphicsEllipseItem*> marks_;
};

}  // namespace voltrex::results
