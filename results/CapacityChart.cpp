#include "results/CapacityChart.h"

#include <QCursor>
#include <QLegend>
#include <QLegendMarker>
#include <QMouseEvent>
#include <QToolTip>
#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "results/CurveChartView.h"

namespace voltrex::results {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// A pack's calendar seconds as the time axis counts them.
double ChartTime(double calendarSeconds) {
    return static_cast<double>(
        DateTimeOf(CalendarTimeAt(static_cast<std::int64_t>(std::llround(calendarSeconds))))
            .toMSecsSinceEpoch());
}

}  // namespace

QDateTime DateTimeOf(const LocalTime& time) {
    return QDateTime(QDate(time.Year, time.Month, time.Day),
                     QTime(time.Hour, time.Minute, std::min(time.Second, 59)));
}

CapacityChart::CapacityChart(QWidget* parent)
    : QChartView(new QChart, parent),
      capacity_(new QLineSeries),
      rated_(new QLineSeries),
      resistance_(new QLineSeries),
      timeAxis_(new QDateTimeAxis),
      capacityAxis_(new QValueAxis),
      resistanceAxis_(new QValueAxis),
      firstOfCycle_(new QScatterSeries),
      notFromFull_(new QScatterSeries),
      implausible_(new QScatterSeries),
      threshold_(new QLineSeries),
      fit_(new QLineSeries),
      projection_(new QLineSeries),
      intervalHigh_(new QLineSeries),
      intervalLow_(new QLineSeries),
      interval_(new QAreaSeries(intervalHigh_, intervalLow_)) {
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(360, 260);
    QChart* c = chart();
    c->legend()->setAlignment(Qt::AlignBottom);
    c->setMargins(QMargins(6, 6, 6, 6));
    c->addAxis(timeAxis_, Qt::AlignBottom);
    c->addAxis(capacityAxis_, Qt::AlignLeft);
    c->addAxis(resistanceAxis_, Qt::AlignRight);
    capacityAxis_->setTitleText(tr("Discharged (mAh)"));
    capacityAxis_->setLabelFormat(QStringLiteral("%.0f"));
    resistanceAxis_->setTitleText(tr("Internal resistance (\u03A9)"));
    resistanceAxis_->setLabelFormat(QStringLiteral("%.3f"));
    timeAxis_->setTickCount(6);
    resistanceAxis_->setGridLineVisible(false);

    QPen capacityPen(QColor(0x4e, 0x79, 0xa7), 2.5);
    capacity_->setPen(capacityPen);
    capacity_->setPointsVisible(true);
    capacity_->setMarkerSize(8);
    QPen ratedPen(QColor(0x59, 0xa1, 0x4f), 1.5, Qt::DashLine);
    rated_->setPen(ratedPen);
    QPen resistancePen(QColor(0xf2, 0x8e, 0x2b), 1.5, Qt::DotLine);
    resistance_->setPen(resistancePen);
    resistance_->setPointsVisible(true);
    resistance_->setMarkerSize(6);
    for (QLineSeries* series : {rated_, capacity_, resistance_}) {
        c->addSeries(series);
        series->attachAxis(timeAxis_);
    }
    capacity_->attachAxis(capacityAxis_);
    rated_->attachAxis(capacityAxis_);
    resistance_->attachAxis(resistanceAxis_);
    // Hollow marks in the capacity's colour (the implausible in red): seen,
    // and plainly not part of the line.
    firstOfCycle_->setName(tr("First discharge of an Auto Cycle"));
    notFromFull_->setName(tr("Did not start full"));
    implausible_->setName(tr("Implausible record (at the edge)"));
    for (QScatterSeries* marked : {firstOfCycle_, notFromFull_, implausible_}) {
        marked->setBrush(Qt::NoBrush);
        marked->setMarkerSize(10);
        marked->setPen(QPen(marked == implausible_ ? QColor(0xc0, 0x20, 0x20) : capacityPen.color(),
                            1.8, marked == notFromFull_ ? Qt::DotLine : Qt::SolidLine));
        marked->setMarkerShape(marked == firstOfCycle_ ? QScatterSeries::MarkerShapeRectangle
                                                       : QScatterSeries::MarkerShapeCircle);
        c->addSeries(marked);
        marked->attachAxis(timeAxis_);
        marked->attachAxis(capacityAxis_);
    }

    // The trend: the threshold in red, the fit in the capacity's colour, its
    // projection dashed and the interval of the projection shaded faintly.
    threshold_->setPen(QPen(QColor(0xd0, 0x30, 0x30), 1.5, Qt::DashDotLine));
    fit_->setPen(QPen(QColor(0x6a, 0x3d, 0x9a), 2.0));
    fit_->setName(tr("Trend"));
    projection_->setPen(QPen(QColor(0x6a, 0x3d, 0x9a), 2.0, Qt::DashLine));
    projection_->setName(tr("Projection"));
    interval_->setPen(Qt::NoPen);
    interval_->setBrush(QColor(0x6a, 0x3d, 0x9a, 0x30));
    interval_->setName(tr("Its interval"));
    c->addSeries(interval_);
    for (QAbstractSeries* series :
         std::initializer_list<QAbstractSeries*>{interval_, threshold_, fit_, projection_}) {
        if (series != interval_) {
            c->addSeries(series);
        }
        series->attachAxis(timeAxis_);
        series->attachAxis(capacityAxis_);
    }

    setMouseTracking(true);
    Show(QString(), {});
}

QScatterSeries* CapacityChart::MarkedSeries(CapacityMark mark) const {
    switch (mark) {
        case CapacityMark::FirstOfAutoCycle:
            return firstOfCycle_;
        case CapacityMark::NotFromFull:
            return notFromFull_;
        case CapacityMark::Implausible:
            return implausible_;
        case CapacityMark::Full:
            break;
    }
    return nullptr;
}

std::optional<std::size_t> CapacityChart::PointAt(const QPoint& position) const {
    // The discharge whose mark is nearest to the mouse, within a mark's size;
    // an implausible one where it is drawn, at the axis' edge.
    constexpr double Reach = 8.0;
    const QPointF at = chart()->mapFromScene(mapToScene(position));
    std::optional<std::size_t> best;
    double distance = Reach * Reach;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const CapacityPoint& p = points_[i];
        const double y =
            p.Mark == CapacityMark::Implausible
                ? std::clamp(p.MilliampHours, capacityAxis_->min(), capacityAxis_->max())
                : p.MilliampHours;
        const QPointF mark = chart()->mapToPosition(
            QPointF(static_cast<double>(DateTimeOf(p.Time).toMSecsSinceEpoch()), y), capacity_);
        const QPointF d = mark - at;
        const double squared = d.x() * d.x() + d.y() * d.y();
        if (squared <= distance) {
            best = i;
            distance = squared;
        }
    }
    return best;
}

void CapacityChart::mouseMoveEvent(QMouseEvent* event) {
    QChartView::mouseMoveEvent(event);
    const std::optional<std::size_t> point = PointAt(event->position().toPoint());
    if (point) {
        QToolTip::showText(event->globalPosition().toPoint(), Describe(*point), this);
        setCursor(Qt::PointingHandCursor);
    } else {
        QToolTip::hideText();
        unsetCursor();
    }
}

void CapacityChart::mouseReleaseEvent(QMouseEvent* event) {
    QChartView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton) {
        if (const std::optional<std::size_t> point = PointAt(event->position().toPoint())) {
            emit DischargeClicked(points_[*point].Line);
        }
    }
}

QString CapacityChart::Describe(std::size_t index) const {
    const CapacityPoint& p = points_.at(index);
    QString text = QLocale().toString(DateTimeOf(p.Time), QLocale::LongFormat);
    text += QStringLiteral("\n") + Text(Format("%.1f mAh", p.MilliampHours));
    if (p.Rated > 0) {
        text += Text(Format(" (%.1f %% of %d mAh)", 100.0 * p.MilliampHours / p.Rated, p.Rated));
    }
    text += QStringLiteral("\n") + Text(Format("%.4f \xCE\xA9", p.Ohms));
    if (p.Cycle != 0) {
        text += tr(", cycle %1 of %2").arg(p.Cycle).arg(p.Of);
    }
    switch (p.Mark) {
        case CapacityMark::FirstOfAutoCycle:
            text +=
                tr("\nThe first discharge of an Auto Cycle: the pack's state before it is "
                   "unknown, so it is left out of the trend.");
            break;
        case CapacityMark::NotFromFull:
            text += p.ChargeAge > 0
                        ? tr("\nIts charge was %1 days old when it started: the pack had lost "
                             "some of it on the shelf, so it is left out of the trend.")
                              .arg(p.ChargeAge / 86400)
                        : tr("\nThe pack was not full when it started: left out of the trend.");
            break;
        case CapacityMark::Implausible:
            text +=
                tr("\nNot a plausible record (mistyped?): drawn at the axis' edge, left out "
                   "of the trend and the scale.");
            break;
        case CapacityMark::Full:
            break;
    }
    return text;
}

void CapacityChart::Show(const QString& packName, const std::vector<CapacityPoint>& points,
                         const std::optional<PackHealth>& health) {
    points_ = points;
    packName_ = packName;
    health_ = health;
    QList<QPointF> capacity;
    QList<QPointF> resistance;
    QList<QPointF> rated;
    double highestOhms = 0.0;
    for (const CapacityPoint& p : points) {
        const auto x = static_cast<double>(DateTimeOf(p.Time).toMSecsSinceEpoch());
        if (p.Mark == CapacityMark::Full) {
            capacity.append(QPointF(x, p.MilliampHours));
        }
        if (p.Mark != CapacityMark::Implausible) {
            resistance.append(QPointF(x, p.Ohms));
            highestOhms = std::max(highestOhms, p.Ohms);
        }
    }
    // The span shown: the discharges, a little wider, and a day at least.
    QDateTime first = QDateTime::currentDateTime().addDays(-1);
    QDateTime last = QDateTime::currentDateTime();
    if (!points.empty()) {
        first = DateTimeOf(points.front().Time);
        last = DateTimeOf(points.back().Time);
        constexpr qint64 Day = 24 * 3600 * 1000;
        const qint64 span = first.msecsTo(last);
        const qint64 pad = span < Day ? (Day - span) / 2 + Day / 20 : span / 20;
        first = first.addMSecs(-pad);
        last = last.addMSecs(pad);
        // Room for the projected replacement when it falls within as long
        // again as the history (or a year) after the latest discharge.
        if (health && health->Replace.Date && health->Replace.Verdict == Outlook::Fading) {
            const QDateTime due = QDateTime::fromMSecsSinceEpoch(
                static_cast<qint64>(ChartTime(static_cast<double>(*health->Replace.Date))));
            const qint64 reach = std::max(span, 365 * Day);
            if (due > last && DateTimeOf(points.back().Time).msecsTo(due) <= reach) {
                last = due.addMSecs(pad);
            }
        }
    }
    // The rated capacity of each plausible discharge (one value for a pack
    // of one group), held to the axis' ends.
    std::vector<const CapacityPoint*> plausible;
    for (const CapacityPoint& p : points) {
        if (p.Mark != CapacityMark::Implausible) {
            plausible.push_back(&p);
        }
    }
    for (std::size_t i = 0; i < plausible.size(); ++i) {
        const double x =
            i == 0 ? static_cast<double>(first.toMSecsSinceEpoch())
                   : static_cast<double>(DateTimeOf(plausible[i]->Time).toMSecsSinceEpoch());
        if (i > 0) {
            rated.append(QPointF(x, plausible[i - 1]->Rated));
        }
        rated.append(QPointF(x, plausible[i]->Rated));
    }
    if (!plausible.empty()) {
        rated.append(
            QPointF(static_cast<double>(last.toMSecsSinceEpoch()), plausible.back()->Rated));
    }
    capacity_->replace(capacity);
    resistance_->replace(resistance);
    rated_->replace(rated);
    capacity_->setName(tr("Discharged from full"));
    resistance_->setName(tr("Internal resistance"));
    if (!plausible.empty() &&
        std::all_of(plausible.begin(), plausible.end(),
                    [&](const CapacityPoint* p) { return p->Rated == plausible.front()->Rated; })) {
        rated_->setName(tr("Rated %1 mAh").arg(plausible.front()->Rated));
    } else {
        rated_->setName(tr("Rated"));
    }

    timeAxis_->setRange(first, last);
    ShowTrend(static_cast<double>(first.toMSecsSinceEpoch()),
              static_cast<double>(last.toMSecsSinceEpoch()));
    const qint64 days = first.daysTo(last);
    timeAxis_->setFormat(days <= 3     ? QStringLiteral("d MMM hh:mm")
                         : days <= 400 ? QStringLiteral("d MMM yyyy")
                                       : QStringLiteral("MMM yyyy"));
    FitCapacityAxis();
    // The resistance from 0, with room above, at round ticks; it draws no
    // grid of its own.
    const double ohmsTop = highestOhms > 0.0 ? highestOhms * 1.25 : 1.0;
    const double ohmsTick = TickFor(ohmsTop);
    resistanceAxis_->setRange(0.0, std::ceil(ohmsTop / ohmsTick) * ohmsTick);
    resistanceAxis_->setTickCount(static_cast<int>(std::lround(std::ceil(ohmsTop / ohmsTick))) + 1);

    if (packName.isEmpty()) {
        chart()->setTitle(tr("No pack chosen"));
    } else if (points.empty()) {
        chart()->setTitle(tr("%1: no discharge yet").arg(packName));
    } else {
        chart()->setTitle(packName);
    }
    chart()->legend()->setVisible(!points.empty());
}

void CapacityChart::ShowTrend(double first, double last) {
    QList<QPointF> threshold;
    QList<QPointF> fit;
    QList<QPointF> projection;
    QList<QPointF> high;
    QList<QPointF> low;
    const bool rated = health_ && health_->Rated > 0 && health_->Replace.ThresholdMilliampHours > 0;
    if (rated) {
        const double at = health_->Replace.ThresholdMilliampHours;
        threshold << QPointF(first, at) << QPointF(last, at);
        threshold_->setName(tr("Replace below %1 mAh").arg(Text(Format("%.0f", at))));
    }
    if (rated && health_->CapacityTrend) {
        const RobustLine& line = health_->CapacityTrend->ByTime;
        const double at = health_->Replace.ThresholdMilliampHours;
        fit << QPointF(ChartTime(line.FirstX), line.At(line.FirstX))
            << QPointF(ChartTime(line.LastX), line.At(line.LastX));
        const Replacement& r = health_->Replace;
        if (r.Verdict == Outlook::Fading && r.Date) {
            // The fitted line on to the threshold, or to the chart's end.
            const double start = line.LastX;
            // The chart's end in the pack's calendar seconds.
            const double axisEnd = start + (last - ChartTime(start)) / 1000.0;
            const double end = std::min(static_cast<double>(*r.Date), axisEnd);
            projection << QPointF(ChartTime(start), line.At(start))
                       << QPointF(ChartTime(end), line.At(end));
            // The interval: between the lines of the steepest and the gentlest
            // slope it allows, down to the threshold.
            const auto y = [&](double slope, double x) {
                return std::max(at, line.CentreY + slope * (x - line.CentreX));
            };
            if (std::isfinite(line.Low) && std::isfinite(line.High)) {
                constexpr int Steps = 24;
                for (int i = 0; i <= Steps; ++i) {
                    const double x = start + (axisEnd - start) * i / Steps;
                    const double chartX = ChartTime(x);
                    high << QPointF(chartX, y(line.High, x));
                    low << QPointF(chartX, y(line.Low, x));
                }
            }
        }
    }
    threshold_->replace(threshold);
    fit_->replace(fit);
    projection_->replace(projection);
    intervalHigh_->replace(high);
    intervalLow_->replace(low);
    for (QAbstractSeries* series :
         std::initializer_list<QAbstractSeries*>{threshold_, fit_, projection_, interval_}) {
        const bool shown =
            series == interval_ ? !high.isEmpty() : static_cast<QXYSeries*>(series)->count() > 0;
        series->setVisible(shown);
        for (QLegendMarker* marker : chart()->legend()->markers(series)) {
            marker->setVisible(shown);
        }
    }
}

void CapacityChart::SetFromZero(bool fromZero) {
    fromZero_ = fromZero;
    FitCapacityAxis();
}

int CapacityChart::MarkedOutOfSight() const {
    return static_cast<int>(std::count_if(points_.begin(), points_.end(), [&](const auto& p) {
        return (p.Mark == CapacityMark::NotFromFull || p.Mark == CapacityMark::FirstOfAutoCycle) &&
               (p.MilliampHours < capacityAxis_->min() || p.MilliampHours > capacityAxis_->max());
    }));
}

void CapacityChart::FitCapacityAxis() {
    // The scale of the discharges from full and their rated capacity; when
    // there is none, of every plausible one. The other marked discharges may
    // lie beyond it (the page counts them); an implausible one sits at its
    // edge.
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -std::numeric_limits<double>::infinity();
    for (const bool fullOnly : {true, false}) {
        for (const CapacityPoint& p : points_) {
            if (p.Mark == CapacityMark::Implausible || (fullOnly && p.Mark != CapacityMark::Full)) {
                continue;
            }
            lowest = std::min(lowest, p.MilliampHours);
            highest = std::max({highest, p.MilliampHours, static_cast<double>(p.Rated)});
        }
        if (std::isfinite(highest)) {
            break;
        }
    }
    if (!std::isfinite(highest)) {
        lowest = 0.0;
        highest = 0.0;
    } else if (health_ && health_->Replace.ThresholdMilliampHours > 0.0) {
        // The threshold in sight, however far above it the pack still is.
        lowest = std::min(lowest, health_->Replace.ThresholdMilliampHours);
    }
    double bottom = 0.0;
    double top = 0.0;
    double tick = 0.0;
    if (fromZero_ || highest <= 0.0) {
        // From 0, with room above the highest point, at round ticks.
        const double room = highest > 0.0 ? highest * 1.08 : 100.0;
        tick = TickFor(room);
        top = std::ceil(room / tick) * tick;
    } else {
        // The data's span and a little more, at round ticks; a single value
        // gets a span of a twentieth of it.
        const double pad = std::max((highest - lowest) * 0.08, highest * 0.025);
        tick = TickFor(highest - lowest + 2.0 * pad);
        bottom = std::max(0.0, std::floor((lowest - pad) / tick) * tick);
        top = std::ceil((highest + pad) / tick) * tick;
    }
    capacityAxis_->setRange(bottom, top);
    capacityAxis_->setTickCount(static_cast<int>(std::lround((top - bottom) / tick)) + 1);

    QList<QPointF> firstOfCycle;
    QList<QPointF> notFromFull;
    QList<QPointF> implausible;
    for (const CapacityPoint& p : points_) {
        const auto x = static_cast<double>(DateTimeOf(p.Time).toMSecsSinceEpoch());
        switch (p.Mark) {
            case CapacityMark::FirstOfAutoCycle:
                firstOfCycle.append(QPointF(x, p.MilliampHours));
                break;
            case CapacityMark::NotFromFull:
                notFromFull.append(QPointF(x, p.MilliampHours));
                break;
            case CapacityMark::Implausible:
                implausible.append(QPointF(x, std::clamp(p.MilliampHours, bottom, top)));
                break;
            case CapacityMark::Full:
                break;
        }
    }
    firstOfCycle_->replace(firstOfCycle);
    notFromFull_->replace(notFromFull);
    implausible_->replace(implausible);
    // The legend names only the kinds there are.
    for (QScatterSeries* marked : {firstOfCycle_, notFromFull_, implausible_}) {
        marked->setVisible(marked->count() > 0);
        for (QLegendMarker* marker : chart()->legend()->markers(marked)) {
            marker->setVisible(marked->count() > 0);
        }
    }
}

}  // namespace voltrex::results
