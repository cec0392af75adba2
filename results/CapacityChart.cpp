#include "results/CapacityChart.h"

#include <QCursor>
#include <QLegend>
#include <QMouseEvent>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "platform/CFormat.h"
#include "results/CurveChartView.h"

namespace voltrex::results {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
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
      resistanceAxis_(new QValueAxis) {
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

    setMouseTracking(true);
    Show(QString(), {});
}

std::optional<std::size_t> CapacityChart::PointAt(const QPoint& position) const {
    // The discharge whose mark is nearest to the mouse, within a mark's size.
    constexpr double Reach = 8.0;
    const QPointF at = chart()->mapFromScene(mapToScene(position));
    std::optional<std::size_t> best;
    double distance = Reach * Reach;
    const QList<QPointF> points = capacity_->points();
    for (qsizetype i = 0; i < points.size(); ++i) {
        const QPointF mark = chart()->mapToPosition(points[i], capacity_);
        const QPointF d = mark - at;
        const double squared = d.x() * d.x() + d.y() * d.y();
        if (squared <= distance) {
            best = static_cast<std::size_t>(i);
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
    return text;
}

void CapacityChart::Show(const QString& packName, const std::vector<CapacityPoint>& points) {
    points_ = points;
    QList<QPointF> capacity;
    QList<QPointF> resistance;
    QList<QPointF> rated;
    double highest = 0.0;
    double highestOhms = 0.0;
    for (const CapacityPoint& p : points) {
        const auto x = static_cast<double>(DateTimeOf(p.Time).toMSecsSinceEpoch());
        capacity.append(QPointF(x, p.MilliampHours));
        resistance.append(QPointF(x, p.Ohms));
        highest = std::max({highest, p.MilliampHours, static_cast<double>(p.Rated)});
        highestOhms = std::max(highestOhms, p.Ohms);
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
    }
    // The rated capacity of each discharge (one value for a pack of one
    // group), held to the axis' ends.
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double x = i == 0 ? static_cast<double>(first.toMSecsSinceEpoch()) : capacity[i].x();
        if (i > 0) {
            rated.append(QPointF(x, points[i - 1].Rated));
        }
        rated.append(QPointF(x, points[i].Rated));
    }
    if (!points.empty()) {
        rated.append(QPointF(static_cast<double>(last.toMSecsSinceEpoch()), points.back().Rated));
    }
    capacity_->replace(capacity);
    resistance_->replace(resistance);
    rated_->replace(rated);
    capacity_->setName(tr("Discharged"));
    resistance_->setName(tr("Internal resistance"));
    if (!points.empty() && std::all_of(points.begin(), points.end(), [&](const CapacityPoint& p) {
            return p.Rated == points.front().Rated;
        })) {
        rated_->setName(tr("Rated %1 mAh").arg(points.front().Rated));
    } else {
        rated_->setName(tr("Rated"));
    }

    timeAxis_->setRange(first, last);
    const qint64 days = first.daysTo(last);
    timeAxis_->setFormat(days <= 3     ? QStringLiteral("d MMM hh:mm")
                         : days <= 400 ? QStringLiteral("d MMM yyyy")
                                       : QStringLiteral("MMM yyyy"));
    // From 0, with room above the highest point, at round ticks; the
    // resistance axis draws no grid of its own.
    const double top = highest > 0.0 ? highest * 1.08 : 100.0;
    const double tick = TickFor(top);
    capacityAxis_->setRange(0.0, std::ceil(top / tick) * tick);
    capacityAxis_->setTickCount(static_cast<int>(std::lround(std::ceil(top / tick))) + 1);
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

}  // namespace voltrex::results
