#include "results/CapacityChart.h"

#include <QCursor>
#include <QLegend>
#include <QToolTip>
#include <algorithm>
#include <cmath>

#include "platform/CFormat.h"

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

    connect(capacity_, &QLineSeries::hovered, this, [this](const QPointF& point, bool state) {
        const std::optional<std::size_t> nearest = Nearest(point);
        if (state && nearest) {
            QToolTip::showText(QCursor::pos(), Describe(*nearest), this);
        } else {
            QToolTip::hideText();
        }
    });
    connect(capacity_, &QLineSeries::clicked, this, [this](const QPointF& point) {
        if (const std::optional<std::size_t> nearest = Nearest(point)) {
            emit DischargeClicked(points_[*nearest].Line);
        }
    });
    Show(QString(), {});
}

std::optional<std::size_t> CapacityChart::Nearest(const QPointF& value) const {
    std::optional<std::size_t> best;
    double distance = 0.0;
    for (std::size_t i = 0; i < points_.size(); ++i) {
        const double d = std::fabs(
            static_cast<double>(DateTimeOf(points_[i].Time).toMSecsSinceEpoch()) - value.x());
        if (!best || d < distance) {
            best = i;
            distance = d;
        }
    }
    return best;
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
    capacityAxis_->setRange(0.0, highest > 0.0 ? highest * 1.1 : 100.0);
    capacityAxis_->applyNiceNumbers();
    resistanceAxis_->setRange(0.0, highestOhms > 0.0 ? highestOhms * 1.25 : 1.0);
    resistanceAxis_->applyNiceNumbers();

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
