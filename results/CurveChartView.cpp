#include "results/CurveChartView.h"

#include <QGraphicsEllipseItem>
#include <QGraphicsLineItem>
#include <QKeyEvent>
#include <QLegend>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "results/Plural.h"

namespace voltrex::results {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

QString CurveTitle(const CurveFile& curve) {
    if (!curve.Start) {
        return Text(curve.Name);
    }
    const LocalTime& t = *curve.Start;
    // The start to the minute: "2026-12-08 14:15 DIS".
    QString title = Text(CalendarTimeText(t).substr(0, 16) + " ") + Text(curve.Mode);
    if (curve.Cycle != 0) {
        title += QStringLiteral(" %1/%2").arg(curve.Cycle).arg(curve.Of);
    }
    return title;
}

QString ElapsedText(int seconds) {
    return Text(ElapsedTime(seconds));
}

double TickFor(double span) {
    double tick = std::pow(10.0, std::floor(std::log10(span / 10.0)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (span / (tick * factor) <= 10.0) {
            return tick * factor;
        }
    }
    return tick * 10.0;
}

QColor CurveColour(std::size_t index) {
    // Tableau 10: told apart in colour and, mostly, in grey.
    static constexpr QRgb Colours[] = {0x4e79a7, 0xf28e2b, 0xe15759, 0x76b7b2, 0x59a14f,
                                       0xedc948, 0xb07aa1, 0xff9da7, 0x9c755f, 0xbab0ac};
    return QColor::fromRgb(Colours[index % std::size(Colours)]);
}

CurveChartView::CurveChartView(QWidget* parent)
    : QChartView(new QChart, parent), xAxis_(new QValueAxis), yAxis_(new QValueAxis) {
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::HorizontalRubberBand);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(360, 260);
    QChart* c = chart();
    // On the right, one curve a line: a row at the bottom would cut their
    // names short.
    c->legend()->setAlignment(Qt::AlignRight);
    c->setMargins(QMargins(6, 6, 6, 6));
    c->addAxis(xAxis_, Qt::AlignBottom);
    c->addAxis(yAxis_, Qt::AlignLeft);
    yAxis_->setTitleText(tr("Voltage (V)"));
    yAxis_->setLabelFormat(QStringLiteral("%.2f"));
    xAxis_->setLabelFormat(QStringLiteral("%g"));
    cursorLine_ = new QGraphicsLineItem(c);
    QPen pen(QColor(0x30, 0x30, 0x30));
    pen.setStyle(Qt::DashLine);
    pen.setCosmetic(true);
    cursorLine_->setPen(pen);
    cursorLine_->setZValue(20);
    cursorLine_->hide();
    connect(c, &QChart::plotAreaChanged, this, &CurveChartView::UpdateCursorItems);
    // Ticks at round values whatever the zoom.
    xAxis_->setTickType(QValueAxis::TicksDynamic);
    xAxis_->setTickAnchor(0.0);
    connect(xAxis_, &QValueAxis::rangeChanged, this, [this](qreal minimum, qreal maximum) {
        if (maximum > minimum) {
            xAxis_->setTickInterval(TickFor(maximum - minimum));
        }
        UpdateCursorItems();
    });
    connect(yAxis_, &QValueAxis::rangeChanged, this, &CurveChartView::UpdateCursorItems);
    Plot({}, CurveAxis::Time);
}

CurveChartView::~CurveChartView() = default;

double CurveChartView::XOf(const CurveRow& row) const {
    return axis_ == CurveAxis::Time ? row.Seconds / secondsPerUnit_ : row.MilliampHours;
}

void CurveChartView::Plot(std::vector<std::shared_ptr<const CurveFile>> curves, CurveAxis axis) {
    QChart* c = chart();
    for (QGraphicsEllipseItem* mark : marks_) {
        delete mark;
    }
    marks_.clear();
    c->removeAllSeries();
    series_.clear();
    plotted_.clear();
    axis_ = axis;
    leftOut_ = 0;

    int longest = 0;
    for (const auto& curve : curves) {
        longest = std::max(longest, curve->Duration());
    }
    secondsPerUnit_ = longest > 3 * 3600 ? 3600.0 : 60.0;
    if (axis == CurveAxis::Time) {
        xAxis_->setTitleText(secondsPerUnit_ == 60.0 ? tr("Time (min)") : tr("Time (h)"));
    } else {
        xAxis_->setTitleText(tr("Charge moved (mAh)"));
    }

    double xMaximum = 0.0;
    double yMinimum = std::numeric_limits<double>::infinity();
    double yMaximum = -std::numeric_limits<double>::infinity();
    for (const auto& curve : curves) {
        if (axis == CurveAxis::Charge && curve->Mode == ModeCode(TestMode::Monitor)) {
            ++leftOut_;
            continue;
        }
        auto* series = new QLineSeries;
        series->setName(CurveTitle(*curve));
        QPen pen(CurveColour(plotted_.size()));
        pen.setWidthF(2.0);
        series->setPen(pen);
        const std::vector<CurveRow>& rows = curve->Rows;
        const std::size_t step =
            rows.size() > MaximumPoints ? (rows.size() + MaximumPoints - 1) / MaximumPoints : 1;
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(rows.size() / step + 2));
        for (std::size_t i = 0; i < rows.size(); i += step) {
            points.append(QPointF(XOf(rows[i]), rows[i].Volts));
        }
        if (!rows.empty() && (rows.size() - 1) % step != 0) {
            points.append(QPointF(XOf(rows.back()), rows.back().Volts));
        }
        for (const CurveRow& row : rows) {
            yMinimum = std::min(yMinimum, row.Volts);
            yMaximum = std::max(yMaximum, row.Volts);
        }
        if (!rows.empty()) {
            xMaximum = std::max(xMaximum, XOf(rows.back()));
        }
        series->replace(points);
        c->addSeries(series);
        series->attachAxis(xAxis_);
        series->attachAxis(yAxis_);
        series_.push_back(series);
        plotted_.push_back(curve);

        auto* mark = new QGraphicsEllipseItem(-4, -4, 8, 8, c);
        mark->setPen(QPen(Qt::white, 1.5));
        mark->setBrush(pen.color());
        mark->setZValue(21);
        mark->hide();
        marks_.push_back(mark);
    }
    if (!std::isfinite(yMinimum)) {
        yMinimum = 0.0;
        yMaximum = 10.0;
    }
    const double margin = std::max(0.05, (yMaximum - yMinimum) * 0.05);
    yAxis_->setRange(yMinimum - margin, yMaximum + margin);
    yAxis_->applyNiceNumbers();
    // From 0 to the longest curve's end rounded up to a tick of 1, 2 or 5
    // times a power of ten, five to ten ticks (applyNiceNumbers would take
    // 80 minutes to 100).
    const double longestX = xMaximum > 0.0 ? xMaximum : 1.0;
    const double tick = TickFor(longestX);
    xAxis_->setRange(0.0, std::ceil(longestX / tick - 1e-9) * tick);
    c->legend()->setVisible(!series_.empty());
    if (cursor_) {
        cursor_ = std::clamp(*cursor_, xAxis_->min(), xAxis_->max());
    }
    UpdateCursorItems();
    emit CursorMoved();
}

void CurveChartView::ResetZoom() {
    chart()->zoomReset();
}

const CurveRow* CurveChartView::RowAt(const CurveFile& curve, double x) const {
    const std::vector<CurveRow>& rows = curve.Rows;
    if (rows.empty()) {
        return nullptr;
    }
    // Rows come in order of seconds, and the charge counted only grows.
    const auto it =
        std::lower_bound(rows.begin(), rows.end(), x,
                         [this](const CurveRow& row, double value) { return XOf(row) < value; });
    if (it == rows.end()) {
        return &rows.back();
    }
    if (it != rows.begin() && std::fabs(XOf(*(it - 1)) - x) <= std::fabs(XOf(*it) - x)) {
        return &*(it - 1);
    }
    return &*it;
}

void CurveChartView::SetCursorX(std::optional<double> x) {
    cursor_ = x;
    UpdateCursorItems();
    emit CursorMoved();
}

void CurveChartView::SetCursorShown(bool shown) {
    cursorShown_ = shown;
    UpdateCursorItems();
}

QString CurveChartView::Readout() const {
    QString text;
    if (leftOut_ > 0) {
        text += tr("%1 moved no charge and %2 not shown against charge.<br>")
                    .arg(Counted(leftOut_, "Monitor curve", "Monitor curves"),
                         leftOut_ == 1 ? tr("is") : tr("are"));
    }
    if (plotted_.empty()) {
        return text + tr("Check curves in the list to see them here.");
    }
    if (!cursor_) {
        return text + tr("Point at the chart, or press Left or Right, for the values under the "
                         "cursor.");
    }
    if (axis_ == CurveAxis::Time) {
        text += tr("<b>Cursor at %1</b>")
                    .arg(ElapsedText(static_cast<int>(std::lround(*cursor_ * secondsPerUnit_))));
    } else {
        text += tr("<b>Cursor at %1 mAh</b>").arg(Text(Format("%.1f", *cursor_)));
    }
    for (std::size_t i = 0; i < plotted_.size(); ++i) {
        const CurveFile& curve = *plotted_[i];
        text += QStringLiteral("<br><span style=\"color:%1\">&#9632;</span> %2: ")
                    .arg(CurveColour(i).name(), CurveTitle(curve).toHtmlEscaped());
        const CurveRow* row = RowAt(curve, *cursor_);
        if (row == nullptr) {
            text += tr("no rows");
            continue;
        }
        text += tr("%1, %2 V, %3 mAh")
                    .arg(ElapsedText(row->Seconds), Text(Format("%.3f", row->Volts)),
                         Text(Format("%.1f", row->MilliampHours)));
        if (row == &curve.Rows.back() && XOf(*row) < *cursor_) {
            text += tr(" (its end)");
        }
    }
    return text;
}

void CurveChartView::UpdateCursorItems() {
    const bool shown = cursorShown_ && cursor_ && !series_.empty() && *cursor_ >= xAxis_->min() &&
                       *cursor_ <= xAxis_->max();
    cursorLine_->setVisible(shown);
    for (QGraphicsEllipseItem* mark : marks_) {
        mark->setVisible(false);
    }
    if (!shown) {
        return;
    }
    const QRectF area = chart()->plotArea();
    const QPointF at = chart()->mapToPosition(QPointF(*cursor_, yAxis_->min()), series_.front());
    cursorLine_->setLine(at.x(), area.top(), at.x(), area.bottom());
    for (std::size_t i = 0; i < series_.size(); ++i) {
        const CurveRow* row = RowAt(*plotted_[i], *cursor_);
        if (row == nullptr || XOf(*row) < *cursor_ - (xAxis_->max() - xAxis_->min()) * 0.01) {
            continue;  // the curve has ended before the cursor
        }
        const QPointF point = chart()->mapToPosition(QPointF(XOf(*row), row->Volts), series_[i]);
        if (area.contains(point)) {
            marks_[i]->setPos(point);
            marks_[i]->setVisible(true);
        }
    }
}

void CurveChartView::mouseMoveEvent(QMouseEvent* event) {
    QChartView::mouseMoveEvent(event);
    if (series_.empty()) {
        return;
    }
    const QPointF scenePoint = mapToScene(event->position().toPoint());
    const QPointF chartPoint = chart()->mapFromScene(scenePoint);
    if (!chart()->plotArea().contains(chartPoint)) {
        return;
    }
    SetCursorX(chart()->mapToValue(chartPoint, series_.front()).x());
}

void CurveChartView::keyPressEvent(QKeyEvent* event) {
    const double span = xAxis_->max() - xAxis_->min();
    const double step = span * ((event->modifiers() & Qt::ShiftModifier) ? 0.1 : 0.01);
    const double from = cursor_.value_or(xAxis_->min());
    switch (event->key()) {
        case Qt::Key_Left:
            SetCursorX(std::max(xAxis_->min(), cursor_ ? from - step : from));
            return;
        case Qt::Key_Right:
            SetCursorX(std::min(xAxis_->max(), cursor_ ? from + step : from));
            return;
        case Qt::Key_Home:
            SetCursorX(xAxis_->min());
            return;
        case Qt::Key_End:
            SetCursorX(xAxis_->max());
            return;
        case Qt::Key_Escape:
            SetCursorX(std::nullopt);
            return;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            chart()->zoomIn();
            return;
        case Qt::Key_Minus:
            chart()->zoomOut();
            return;
        case Qt::Key_0:
            ResetZoom();
            return;
        default:
            QChartView::keyPressEvent(event);
    }
}

void CurveChartView::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    UpdateCursorItems();
}

}  // namespace voltrex::results
