#pragma once

#include <QAreaSeries>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLineSeries>
#include <QScatterSeries>
#include <QString>
#include <QValueAxis>
#include <vector>

#include "results/CapacityHistory.h"
#include "results/PackHealth.h"

namespace voltrex::results {

// A record's local calendar time as the charts' time axis counts it.
QDateTime DateTimeOf(const LocalTime& time);

// A pack's wear over months and years: the charge each discharge gave, over
// calendar time, against the rated capacity, with the internal resistance
// measured at each discharge's start on an axis of its own. Pointing at a
// discharge names it; clicking it asks for its curve.
class CapacityChart : public QChartView {
    Q_OBJECT

  public:
    explicit CapacityChart(QWidget* parent = nullptr);

    // Shows the pack's discharges (none: an empty chart saying why), and
    // with its health the threshold it is replaced at, the trend fitted to
    // its recent discharges and where that trend reaches the threshold.
    void Show(const QString& packName, const std::vector<CapacityPoint>& points,
              const std::optional<PackHealth>& health = std::nullopt);
    // The capacity axis from 0, or (by default) fitted to the discharges
    // from full, so that a fade of a few percent is seen.
    void SetFromZero(bool fromZero);
    bool FromZero() const { return fromZero_; }
    // The discharges that did not start full (or began an Auto Cycle) lying
    // beyond the capacity axis as it is fitted now.
    int MarkedOutOfSight() const;

    QLineSeries* CapacitySeries() const { return capacity_; }
    QLineSeries* RatedSeries() const { return rated_; }
    QLineSeries* ResistanceSeries() const { return resistance_; }
    QLineSeries* ThresholdSeries() const { return threshold_; }
    QLineSeries* FitSeries() const { return fit_; }
    QLineSeries* ProjectionSeries() const { return projection_; }
    // Between the earliest and the latest the trend's interval allows.
    QAreaSeries* IntervalSeries() const { return interval_; }
    // The discharges drawn apart, hollow, left out of the line and the
    // scale: one series a kind of mark (none for Full).
    QScatterSeries* MarkedSeries(CapacityMark mark) const;
    QDateTimeAxis* TimeAxis() const { return timeAxis_; }
    QValueAxis* CapacityAxis() const { return capacityAxis_; }
    QValueAxis* ResistanceAxis() const { return resistanceAxis_; }
    const std::vector<CapacityPoint>& Points() const { return points_; }

    // A text for the point with that index: date, charge, share of rated.
    QString Describe(std::size_t point) const;

    // The discharge whose mark is under the position (of the view), if any.
    std::optional<std::size_t> PointAt(const QPoint& position) const;

  signals:
    // The user clicked a discharge: the log line it came from.
    void DischargeClicked(std::size_t line);

  protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QLineSeries* capacity_;
    QLineSeries* rated_;
    QLineSeries* resistance_;
    QDateTimeAxis* timeAxis_;
    QValueAxis* capacityAxis_;
    QValueAxis* resistanceAxis_;
    void FitCapacityAxis();
    // The trend's lines over the span shown.
    void ShowTrend(double first, double last);

    QScatterSeries* firstOfCycle_;
    QScatterSeries* notFromFull_;
    QScatterSeries* implausible_;
    QLineSeries* threshold_;
    QLineSeries* fit_;
    QLineSeries* projection_;
    QLineSeries* intervalHigh_;
    QLineSeries* intervalLow_;
    QAreaSeries* interval_;
    std::optional<PackHealth> health_;
    std::vector<CapacityPoint> points_;
    QString packName_;
    bool fromZero_ = false;
};

}  // namespace voltrex::results
