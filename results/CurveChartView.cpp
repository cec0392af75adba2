#include "results/CurveChartView.h"

#include <QGraphicsEllipseItem>
#include <QGraphicsItem>
#include <QGraphicsLineItem>
#include <QGraphicsSimpleTextItem>
#include <QKeyEvent>
#include <QLegend>
#include <QLegendMarker>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <cmath>
#include <limits>
#include <numeric>

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "records/CurveGlitches.h"
#include "results/CurveStore.h"
#include "results/CurveSummaryCache.h"
#include "results/Plural.h"

namespace voltrex::results {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

bool IsMonitor(const CurveFile& curve) {
    return curve.Mode == ModeCode(TestMode::Monitor);
}

// The legend's entry: the curve, and its pack on a line of its own, so that
// a long pack name is not cut short by a narrow chart.
QString LegendName(const DrawnCurve& curve) {
    const QString title = CurveTitle(curve.Info);
    return curve.Pack.isEmpty() ? title
                                : title + QStringLiteral("<br>") + curve.Pack.toHtmlEscaped();
}

// The entry on one line, for the readout.
QString ReadoutName(const DrawnCurve& curve) {
    const QString title = CurveTitle(curve.Info);
    return curve.Pack.isEmpty() ? title : title + QStringLiteral(", ") + curve.Pack;
}

// What a worker is asked: the curves, and the span to draw them in (none: the
// whole of each curve).
struct Job {
    // The curves to draw, held by the job: thousands of summaries are
    // shared with the chart rather than copied for each request.
    std::vector<std::shared_ptr<const ChartCurve>> Held;
    std::vector<const ChartCurve*> Curves;
    CurveAxis Axis = CurveAxis::Time;
    double SecondsPerUnit = 60.0;
    std::optional<std::pair<double, double>> Span;
    int Columns = 700;
    std::size_t Budget = 0;  // the rows the chart may hold whole
    QString EnvelopeCache;   // the summary cache's database; empty: none
};

// What the summary says of a curve's rows, for a curve drawn from its
// envelope (no row of the file read).
void FromSummary(DrawnCurve& curve) {
    const CurveFile& summary = curve.Info;
    curve.HasRows = summary.LastRow.has_value();
    if (curve.HasRows) {
        curve.Last = *summary.LastRow;
    }
    curve.Glitches = summary.GlitchRowCount;
    if (summary.LowestVolts && summary.HighestVolts) {
        curve.LowestVolts = *summary.LowestVolts;
        curve.HighestVolts = *summary.HighestVolts;
    }
}

// What the rows of the file read say of it.
void FromRows(DrawnCurve& curve, const CurveFile& read, bool whole) {
    const std::vector<CurveRow>& rows = read.Rows;
    if (!whole) {
        // A span: the rest is as the summary says.
        FromSummary(curve);
        return;
    }
    curve.HasRows = !rows.empty();
    if (curve.HasRows) {
        curve.Last = rows.back();
        curve.Info.LastRow = rows.back();
    }
    curve.Info.UnreadableRows = read.UnreadableRows;
    const std::vector<bool> glitches = GlitchRows(rows);
    curve.Glitches = GlitchCount(glitches);
    curve.LowestVolts = std::numeric_limits<double>::infinity();
    curve.HighestVolts = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!glitches[i]) {
            curve.LowestVolts = std::min(curve.LowestVolts, rows[i].Volts);
            curve.HighestVolts = std::max(curve.HighestVolts, rows[i].Volts);
        }
    }
}

// Reads and thins out the curves; none when a later request came meanwhile.
//
// Beyond what the store holds, the whole of a curve is drawn from its
// envelope in the summary cache: no file is read, and thousands of curves
// take a second. A zoomed span is read
// from the files at full resolution, curve after curve while the rows to read
// stay within the chart's budget (a second or so of reading); the rest keep
// their envelope's points for the span.
std::optional<std::vector<DrawnCurve>> DrawCurves(const Job& job, CurveStore& store,
                                                  CurveSummaryCache* cache,
                                                  const std::atomic<unsigned long long>& latest,
                                                  unsigned long long number) {
    std::vector<DrawnCurve> drawn;
    drawn.reserve(job.Curves.size());
    std::size_t wholeRows = 0;
    std::size_t spanRows = 0;
    const double perUnit = job.SecondsPerUnit;
    const auto xOf = job.Axis == CurveAxis::Time
                         ? std::function<double(const CurveRow&)>(
                               [perUnit](const CurveRow& row) { return row.Seconds / perUnit; })
                         : std::function<double(const CurveRow&)>(
                               [](const CurveRow& row) { return row.MilliampHours; });
    // Curves that fit in the store's budget together are read whole, for a
    // readout of every second; more are drawn from their envelopes.
    std::size_t allRows = 0;
    for (const ChartCurve* asked : job.Curves) {
        allRows += static_cast<std::size_t>(std::max(0, asked->Summary.ReadableRows));
    }
    const bool fromEnvelopes = cache != nullptr && allRows > job.Budget;
    // Every row of a zoomed span while the curves are few enough to be
    // series; else the columns' lowest and highest.
    const std::size_t allUpTo = job.Curves.size() <= CurveChartView::SeriesUpTo
                                    ? CurveChartView::AllRowsUpTo
                                    : static_cast<std::size_t>(2 * job.Columns);
    for (const ChartCurve* chartCurve : job.Curves) {
        const ChartCurve& asked = *chartCurve;
        if (latest.load() != number) {
            return std::nullopt;
        }
        DrawnCurve curve;
        curve.Info = asked.Summary;
        curve.Info.Rows.clear();
        curve.Info.Header.clear();  // what the chart needs of it is parsed out
        curve.Pack = asked.Pack;
        const CurveFile& summary = asked.Summary;
        const std::vector<CurveEnvelopePoint> envelope =
            fromEnvelopes ? cache->Envelope(summary.Path, summary.FileSize, summary.Modified)
                          : std::vector<CurveEnvelopePoint>();
        const bool hasEnvelope = !envelope.empty() && summary.LastRow;

        std::vector<CurveRow> envelopeRows;
        std::shared_ptr<const CurveFile> read;
        bool whole = false;
        if (hasEnvelope && !job.Span) {
            envelopeRows = EnvelopeRows(envelope);
        } else if (hasEnvelope) {
            // The seconds of the span, and about how many rows they hold.
            std::pair<int, int> seconds =
                job.Axis == CurveAxis::Time
                    ? std::make_pair(
                          static_cast<int>(std::floor(std::max(0.0, job.Span->first) * perUnit)),
                          static_cast<int>(std::ceil(std::min(job.Span->second * perUnit, 2.0e9))))
                    : SecondsOfCharge(envelope, job.Span->first, job.Span->second);
            const int duration = std::max(1, summary.Duration());
            const double share = std::clamp(static_cast<double>(std::min(seconds.second, duration) -
                                                                std::min(seconds.first, duration)) /
                                                duration,
                                            0.0, 1.0);
            const auto rows = static_cast<std::size_t>(share * summary.ReadableRows);
            if (spanRows + rows <= CurveChartView::SpanRowBudget) {
                spanRows += rows;
                read = store.GetSpan(summary, seconds.first, seconds.second);
                whole = read->Whole &&
                        read->Rows.size() == static_cast<std::size_t>(summary.ReadableRows);
            } else {
                envelopeRows = EnvelopeRows(envelope);
            }
        } else {
            // Few curves, or no envelope kept (no cache, or the file is
            // new): read whole.
            read = store.Get(summary);
            whole = true;
        }

        const std::vector<CurveRow>& rows = read ? read->Rows : envelopeRows;
        if (read) {
            FromRows(curve, *read, whole);
        } else {
            FromSummary(curve);
        }
        if (!rows.empty() && curve.HasRows) {
            // A whole curve is thinned over its own span: its columns are no
            // wider than the chart's pixels whatever the axis. Envelope rows
            // are pairs already, thinned to the columns alone.
            const double from = job.Span ? job.Span->first : xOf(rows.front());
            const double to = job.Span ? job.Span->second : std::max(xOf(rows.back()), from + 1e-9);
            const std::size_t upTo = read ? allUpTo : static_cast<std::size_t>(2 * job.Columns);
            for (const std::size_t i : DecimatedRows(rows, xOf, from, to, job.Columns, upTo)) {
                curve.Drawn.push_back(rows[i]);
            }
        }
        // Beyond the budget the readout reads the rows drawn: holding every
        // curve whole would defeat the store's bound. Let go at once, not
        // after reading thousands.
        if (read && whole) {
            wholeRows += read->Rows.size();
            if (wholeRows <= job.Budget) {
                curve.Whole = read;
            } else if (wholeRows - read->Rows.size() <= job.Budget) {
                for (DrawnCurve& earlier : drawn) {
                    earlier.Whole.reset();
                }
            }
        }
        drawn.push_back(std::move(curve));
    }
    return drawn;
}

}  // namespace

// Hundreds of curves or more, drawn as one picture: a series each would cost
// the chart a few hundred kilobytes and milliseconds a curve. Cached, so that
// the cursor moving over it does not draw thousands of lines again.
class CurveLayer : public QGraphicsItem {
  public:
    CurveLayer(const CurveChartView& view, QGraphicsItem* parent)
        : QGraphicsItem(parent), view_(view) {
        setCacheMode(QGraphicsItem::DeviceCoordinateCache);
        setZValue(5);
    }
    QRectF boundingRect() const override { return view_.chart()->plotArea(); }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* /*option*/,
               QWidget* /*widget*/) override {
        const QRectF area = view_.chart()->plotArea();
        painter->setClipRect(area);
        painter->setRenderHint(QPainter::Antialiasing, false);
        const std::vector<DrawnCurve>& curves = view_.Curves();
        QPolygonF line;
        for (std::size_t i = 0; i < curves.size(); ++i) {
            line.clear();
            for (const CurveRow& row : curves[i].Drawn) {
                line.append(view_.PositionOf(view_.XOf(row), row.Volts));
            }
            QPen pen(view_.ColourOfCurve(i), 0);
            painter->setPen(pen);
            painter->drawPolyline(line);
        }
    }
    // The plot area, the axes or the curves have changed.
    void Changed() {
        prepareGeometryChange();
        update();
    }

  private:
    const CurveChartView& view_;
};

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

QColor CurveColour(std::size_t index, std::size_t count) {
    // Hues evenly spaced around the circle, from a blue, each curve on its
    // own place; curves next to each other in the list are sent a good way
    // round (a step of about 0.38 of the circle, coprime with the count, so
    // that every place is taken once), and lightness comes in three steps
    // so that neighbouring hues (and a grey printout) differ as well.
    count = std::max(count, index + 1);
    std::size_t stride = std::max<std::size_t>(1, (count * 382) / 1000);
    while (std::gcd(stride, count) != 1) {
        ++stride;
    }
    const std::size_t place = (index * stride) % count;
    constexpr double Lightness[] = {0.42, 0.58, 0.30};
    const double hue =
        std::fmod(210.0 + 360.0 * static_cast<double>(place) / static_cast<double>(count), 360.0);
    return QColor::fromHslF(static_cast<float>(hue / 360.0), 0.75f,
                            static_cast<float>(Lightness[index % 3]));
}

QColor AgeColour(double age) {
    // Blue through violet to red: a cool-to-warm scale read in any order.
    age = std::clamp(age, 0.0, 1.0);
    const double hue = 230.0 + 130.0 * age;  // 230 (blue) .. 360 (red)
    return QColor::fromHslF(static_cast<float>(std::fmod(hue, 360.0) / 360.0), 0.8f, 0.45f);
}

CurveChartView::CurveChartView(QWidget* parent)
    : QChartView(new QChart, parent),
      latest_(std::make_shared<std::atomic<unsigned long long>>(0)),
      xAxis_(new QValueAxis),
      yAxis_(new QValueAxis) {
    // One worker: each request cancels the one before, so two never need
    // to run at once.
    worker_.setMaxThreadCount(1);
    setRenderHint(QPainter::Antialiasing);
    setRubberBand(QChartView::RectangleRubberBand);
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
    note_ = new QGraphicsSimpleTextItem(c);
    note_->setZValue(22);
    note_->setBrush(QColor(0x60, 0x30, 0x00));
    connect(c, &QChart::plotAreaChanged, this, [this] {
        if (layer_ != nullptr && layer_->isVisible()) {
            layer_->Changed();
        }
        UpdateCursorItems();
        UpdateNote();
    });
    // Ticks at round values whatever the zoom.
    xAxis_->setTickType(QValueAxis::TicksDynamic);
    xAxis_->setTickAnchor(0.0);
    refine_.setSingleShot(true);
    refine_.setInterval(40);
    connect(&refine_, &QTimer::timeout, this, [this] { Request(false); });
    connect(xAxis_, &QValueAxis::rangeChanged, this, [this](qreal minimum, qreal maximum) {
        if (maximum > minimum) {
            xAxis_->setTickInterval(TickFor(maximum - minimum));
        }
        UpdateCursorItems();
        if (layer_ != nullptr && layer_->isVisible()) {
            layer_->Changed();
        }
        if (!settingView_ && !plotted_.empty()) {
            refine_.start();
        }
    });
    connect(yAxis_, &QValueAxis::rangeChanged, this, [this] {
        if (layer_ != nullptr && layer_->isVisible()) {
            layer_->Changed();
        }
        UpdateCursorItems();
    });
    Show({}, true, 0.0, 0.0);
}

CurveChartView::~CurveChartView() {
    latest_->fetch_add(1);
    worker_.waitForDone();
}

void CurveChartView::SetStore(std::shared_ptr<CurveStore> store) {
    store_ = std::move(store);
}

void CurveChartView::SetEnvelopeCache(const QString& path) {
    envelopeCache_ = path;
}

double CurveChartView::XOf(const CurveRow& row) const {
    return axis_ == CurveAxis::Time ? row.Seconds / secondsPerUnit_ : row.MilliampHours;
}

int CurveChartView::Columns() const {
    const int width = static_cast<int>(chart()->plotArea().width());
    return std::max(width > 10 ? width : viewport()->width() - 160, 100);
}

void CurveChartView::Plot(std::vector<std::shared_ptr<const ChartCurve>> curves, CurveAxis axis) {
    asked_ = std::move(curves);
    axis_ = axis;
    Request(true);
}

void CurveChartView::Request(bool wholeSpan) {
    refine_.stop();
    Job job;
    job.Axis = axis_;
    if (wholeSpan) {
        leftOut_ = 0;
        job.Held = asked_;
        job.Curves.reserve(asked_.size());
        for (const std::shared_ptr<const ChartCurve>& curve : asked_) {
            if (axis_ == CurveAxis::Charge && IsMonitor(curve->Summary)) {
                ++leftOut_;
            } else {
                job.Curves.push_back(curve.get());
            }
        }
        // The unit from the listing's durations; set again from the rows.
        job.SecondsPerUnit = 60.0;
    } else {
        if (plotted_.empty()) {
            return;
        }
        job.Held.reserve(plotted_.size());
        for (const DrawnCurve& curve : plotted_) {
            job.Held.push_back(
                std::make_shared<const ChartCurve>(ChartCurve{curve.Info, curve.Pack}));
            job.Curves.push_back(job.Held.back().get());
        }
        job.SecondsPerUnit = secondsPerUnit_;
        job.Span = std::make_pair(xAxis_->min(), xAxis_->max());
    }
    // Each curve gets a share of the points the chart draws smoothly: all the
    // columns of the chart while a few curves are shown, fewer (each still
    // with its lowest and highest, so no peak is lost) when hundreds are.
    const auto shared =
        static_cast<int>(PointBudget / std::max<std::size_t>(1, 2 * job.Curves.size()));
    job.Columns = std::clamp(shared, std::min(Columns(), MinimumColumns), Columns());
    const unsigned long long number = latest_->fetch_add(1) + 1;
    if (!store_ || job.Curves.empty()) {
        drawing_ = false;
        if (wholeSpan) {
            Show({}, true, 0.0, 0.0);
        }
        return;
    }
    job.Budget = store_->BudgetRows();
    drawing_ = true;
    const std::shared_ptr<CurveStore> store = store_;
    const std::shared_ptr<std::atomic<unsigned long long>> latest = latest_;
    const QPointer<CurveChartView> self(this);
    job.EnvelopeCache = envelopeCache_;
    worker_.start([job = std::move(job), store, latest, number, self, wholeSpan] {
        std::optional<std::vector<DrawnCurve>> drawn;
        {
            // A connection of the worker's own, closed before it ends: the
            // cache's connections belong to the thread that made them.
            std::unique_ptr<CurveSummaryCache> cache;
            if (!job.EnvelopeCache.isEmpty()) {
                cache = std::make_unique<CurveSummaryCache>(job.EnvelopeCache,
                                                            CurveSummaryCache::Access::ReadOnly);
            }
            drawn = DrawCurves(job, *store, cache && cache->Usable() ? cache.get() : nullptr,
                               *latest, number);
        }
#ifdef __GLIBC__
        // Reading hundreds of files leaves the worker's heap full of freed
        // text and rows; give it back to the system rather than keep it.
        malloc_trim(0);
#endif
        if (!drawn || latest->load() != number) {
            return;
        }
        const double from = job.Span ? job.Span->first : 0.0;
        const double to = job.Span ? job.Span->second : 0.0;
        // Back on the window's thread; dropped there if the chart is gone
        // or another request came meanwhile.
        QMetaObject::invokeMethod(
            self.data(),
            [self, latest, number, wholeSpan, from, to, curves = std::move(*drawn)]() mutable {
                if (self && latest->load() == number) {
                    self->Show(std::move(curves), wholeSpan, from, to);
                }
            },
            Qt::QueuedConnection);
    });
}

void CurveChartView::Show(std::vector<DrawnCurve> curves, bool wholeSpan, double from, double to) {
    drawing_ = false;
    adding_.clear();
    QChart* c = chart();
    if (!wholeSpan) {
        // The same curves, the visible span at full resolution; the rest of
        // each curve keeps the points it had, so that panning out is not
        // empty until the next read.
        for (std::size_t i = 0; i < curves.size() && i < plotted_.size(); ++i) {
            QList<QPointF> points;
            const std::vector<CurveRow>& old = plotted_[i].Drawn;
            std::vector<CurveRow> merged;
            for (const CurveRow& row : old) {
                if (XOf(row) < from) {
                    merged.push_back(row);
                }
            }
            for (const CurveRow& row : curves[i].Drawn) {
                if (merged.empty() || row.Seconds > merged.back().Seconds) {
                    merged.push_back(row);
                }
            }
            for (const CurveRow& row : old) {
                if (XOf(row) > to && (merged.empty() || row.Seconds > merged.back().Seconds)) {
                    merged.push_back(row);
                }
            }
            points.reserve(static_cast<qsizetype>(merged.size()));
            for (const CurveRow& row : merged) {
                points.append(QPointF(XOf(row), row.Volts));
            }
            if (i < series_.size()) {
                series_[i]->replace(points);
            }
            plotted_[i].Drawn = std::move(merged);
            if (curves[i].Whole) {
                plotted_[i].Whole = curves[i].Whole;
            }
        }
        if (layer_ != nullptr && layer_->isVisible()) {
            layer_->Changed();
        }
        UpdateCursorItems();
        emit Drawn();
        return;
    }

    for (QGraphicsEllipseItem* mark : marks_) {
        delete mark;
    }
    marks_.clear();
    // Without the legend while series come and go: it lays itself out again
    // for every one, hundreds of times over. FitLegend shows it again.
    c->legend()->hide();
    c->removeAllSeries();
    series_.clear();
    plotted_.clear();
    colours_.clear();
    if (layer_ != nullptr) {
        layer_->hide();
    }
    adding_ = std::move(curves);
    views_.clear();
    glitches_ = 0;

    // The axes first, from what the worker found: a series added to a chart
    // whose axes then change is laid out again.
    int longest = 0;
    for (const DrawnCurve& curve : adding_) {
        longest = std::max(longest, curve.HasRows ? curve.Last.Seconds : 0);
    }
    secondsPerUnit_ = longest > 3 * 3600 ? 3600.0 : 60.0;
    if (axis_ == CurveAxis::Time) {
        xAxis_->setTitleText(secondsPerUnit_ == 60.0 ? tr("Time (min)") : tr("Time (h)"));
    } else {
        xAxis_->setTitleText(tr("Charge moved (mAh)"));
    }
    double xMaximum = 0.0;
    double yMinimum = std::numeric_limits<double>::infinity();
    double yMaximum = -std::numeric_limits<double>::infinity();
    for (const DrawnCurve& curve : adding_) {
        if (curve.HighestVolts >= curve.LowestVolts) {
            yMinimum = std::min(yMinimum, curve.LowestVolts);
            yMaximum = std::max(yMaximum, curve.HighestVolts);
        }
        glitches_ += curve.Glitches;
        if (curve.HasRows) {
            xMaximum = std::max(xMaximum, XOf(curve.Last));
        }
    }
    if (!std::isfinite(yMinimum)) {
        yMinimum = 0.0;
        yMaximum = 10.0;
    }
    settingView_ = true;
    const double margin = std::max(0.05, (yMaximum - yMinimum) * 0.05);
    yAxis_->setRange(yMinimum - margin, yMaximum + margin);
    yAxis_->applyNiceNumbers();
    // From 0 to the longest curve's end rounded up to a tick of 1, 2 or 5
    // times a power of ten, five to ten ticks (applyNiceNumbers would take
    // 80 minutes to 100).
    const double longestX = xMaximum > 0.0 ? xMaximum : 1.0;
    const double tick = TickFor(longestX);
    SetXRange(0.0, std::ceil(longestX / tick - 1e-9) * tick);
    settingView_ = false;
    whole_ = CurrentView();
    if (cursor_) {
        cursor_ = std::clamp(*cursor_, xAxis_->min(), xAxis_->max());
    }
    drawing_ = true;
    AddSeries(latest_->load());
}

void CurveChartView::AddSeries(unsigned long long number) {
    if (latest_->load() != number) {
        return;  // other curves were asked for meanwhile
    }
    QChart* c = chart();
    const std::size_t count = plotted_.size() + adding_.size();
    if (count > SeriesUpTo) {
        for (std::size_t i = 0; i < adding_.size(); ++i) {
            colours_.push_back(ColourOf(i, count));
            plotted_.push_back(std::move(adding_[i]));
        }
        adding_.clear();
        if (layer_ == nullptr) {
            layer_ = new CurveLayer(*this, c);
        }
        layer_->show();
        layer_->Changed();
    }
    // A batch a turn of the event loop: the window answers in between.
    std::size_t batchEnd = 0;
    std::size_t points = 0;
    while (batchEnd < std::min(adding_.size(), SeriesPerTurn) &&
           (batchEnd == 0 || points + adding_[batchEnd].Drawn.size() <= PointsPerTurn)) {
        points += adding_[batchEnd].Drawn.size();
        ++batchEnd;
    }
    for (std::size_t k = 0; k < batchEnd; ++k) {
        DrawnCurve& curve = adding_[k];
        auto* series = new QLineSeries;
        series->setName(LegendName(curve));
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(curve.Drawn.size()));
        for (const CurveRow& row : curve.Drawn) {
            points.append(QPointF(XOf(row), row.Volts));
        }
        series->replace(points);
        const QColor colour = ColourOf(series_.size(), count);
        colours_.push_back(colour);
        QPen pen(colour);
        pen.setWidthF(count > 50 ? 1.0 : 2.0);
        series->setPen(pen);
        c->addSeries(series);
        series->attachAxis(xAxis_);
        series->attachAxis(yAxis_);
        series_.push_back(series);
        plotted_.push_back(std::move(curve));

        auto* mark = new QGraphicsEllipseItem(-4, -4, 8, 8, c);
        mark->setPen(QPen(Qt::white, 1.5));
        mark->setBrush(colour);
        mark->setZValue(21);
        mark->hide();
        marks_.push_back(mark);
    }
    adding_.erase(adding_.begin(), adding_.begin() + static_cast<std::ptrdiff_t>(batchEnd));
    if (!adding_.empty()) {
        QTimer::singleShot(0, this, [this, number] { AddSeries(number); });
        return;
    }
    drawing_ = false;
    FitLegend();
    UpdateNote();
    UpdateCursorItems();
    emit ZoomChanged();
    emit Drawn();
    emit CursorMoved();
}

void CurveChartView::SetColouring(CurveColouring colouring) {
    colouring_ = colouring;
    Recolour();
    UpdateCursorItems();
    emit CursorMoved();
}

QPointF CurveChartView::PositionOf(double x, double volts) const {
    const QRectF area = chart()->plotArea();
    const double xSpan = xAxis_->max() - xAxis_->min();
    const double ySpan = yAxis_->max() - yAxis_->min();
    return QPointF(
        area.left() + (x - xAxis_->min()) / (xSpan > 0.0 ? xSpan : 1.0) * area.width(),
        area.bottom() - (volts - yAxis_->min()) / (ySpan > 0.0 ? ySpan : 1.0) * area.height());
}

QColor CurveChartView::ColourOfCurve(std::size_t index) const {
    return index < colours_.size() ? colours_[index] : QColor(Qt::black);
}

QColor CurveChartView::ColourOf(std::size_t index, std::size_t count) const {
    return colouring_ == CurveColouring::Age
               ? AgeColour(count > 1 ? static_cast<double>(index) / static_cast<double>(count - 1)
                                     : 1.0)
               : CurveColour(index, count);
}

void CurveChartView::Recolour() {
    // By age: ranked by start among the curves shown (they come in start
    // order), so that ten years of a pack spread over the whole scale.
    const std::size_t count = plotted_.size();
    for (std::size_t i = 0; i < count && i < colours_.size(); ++i) {
        colours_[i] = ColourOf(i, count);
    }
    if (layer_ != nullptr && layer_->isVisible()) {
        layer_->Changed();
    }
    for (std::size_t i = 0; i < series_.size(); ++i) {
        const QColor colour = colours_[i];
        QPen pen(colour);
        pen.setWidthF(count > 50 ? 1.0 : 2.0);
        series_[i]->setPen(pen);
        marks_[i]->setBrush(colour);
    }
}

void CurveChartView::FitLegend() {
    // The legend holds as many entries as its height has lines; the rest
    // are named in the readout below the chart, and the note says so.
    QLegend* legend = chart()->legend();
    const QList<QLegendMarker*> markers = legend->markers();
    const int line = 2 * fontMetrics().lineSpacing() + 6;  // two lines an entry
    const int fit = std::max(2, (viewport()->height() - 40) / line);
    const auto count = static_cast<int>(markers.size());
    const int entries = count <= fit ? count : fit - 1;
    for (int i = 0; i < count; ++i) {
        markers[i]->setVisible(i < entries);
    }
    legend->setVisible(!series_.empty());
    if (entries != legendEntries_) {
        legendEntries_ = entries;
        emit CursorMoved();  // the readout names the curves beyond the legend
    }
}

QString CurveChartView::Note() const {
    QStringList lines;
    if (glitches_ > 0) {
        lines << tr("%1 left out of the voltage scale")
                     .arg(Counted(glitches_, "glitch row", "glitch rows"));
    }
    const auto hidden = static_cast<long long>(plotted_.size()) - legendEntries_;
    if (hidden > 0 && legendEntries_ == 0) {
        lines << tr("%1 curves, named in the list below the chart").arg(hidden);
    } else if (hidden > 0) {
        lines << tr("%1 more %2 in the list below the chart")
                     .arg(hidden)
                     .arg(hidden == 1 ? tr("curve") : tr("curves"));
    }
    return lines.join(QLatin1Char('\n'));
}

void CurveChartView::UpdateNote() {
    note_->setText(Note());
    const QRectF area = chart()->plotArea();
    note_->setPos(area.left() + 6, area.top() + 4);
    note_->setVisible(!note_->text().isEmpty());
}

CurveChartView::View CurveChartView::CurrentView() const {
    return View{xAxis_->min(), xAxis_->max(), yAxis_->min(), yAxis_->max()};
}

void CurveChartView::SetXRange(double minimum, double maximum) {
    // The ticks of the new span first: with the old step over a span a
    // thousand times wider (minutes to mAh) the axis would lay out a label
    // for each of thousands of ticks, for seconds, before the step caught up.
    if (maximum > minimum) {
        xAxis_->setTickInterval(TickFor(maximum - minimum));
    }
    xAxis_->setRange(minimum, maximum);
}

void CurveChartView::SetView(const View& view) {
    SetXRange(view.XMinimum, view.XMaximum);
    yAxis_->setRange(view.YMinimum, view.YMaximum);
}

template <class Zoom>
void CurveChartView::Zooming(Zoom zoom) {
    const View before = CurrentView();
    zoom();
    if (!(CurrentView() == before)) {
        views_.push_back(before);
        emit ZoomChanged();
    }
}

void CurveChartView::ResetZoom() {
    if (whole_) {
        Zooming([this] { SetView(*whole_); });
    }
}

bool CurveChartView::UndoZoom() {
    if (views_.empty()) {
        return false;
    }
    SetView(views_.back());
    views_.pop_back();
    emit ZoomChanged();
    return true;
}

void CurveChartView::ZoomTo(double xMinimum, double xMaximum, double yMinimum, double yMaximum) {
    Zooming([&] { SetView(View{xMinimum, xMaximum, yMinimum, yMaximum}); });
}

const CurveRow* CurveChartView::RowAt(const DrawnCurve& curve, double x) const {
    // Every row while the curve is held whole, else the rows drawn (one
    // within a column of pixels of the cursor).
    const std::vector<CurveRow>& rows = curve.Whole ? curve.Whole->Rows : curve.Drawn;
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
        return text + (drawing_ ? tr("Reading the curves\u2026")
                                : tr("Check curves in the list to see them here."));
    }
    auto entry = [this](std::size_t i) {
        return QStringLiteral("<br><span style=\"color:%1\">&#9632;</span> %2")
            .arg(ColourOfCurve(i).name(), ReadoutName(plotted_[i]).toHtmlEscaped());
    };
    if (!cursor_) {
        text +=
            tr("Point at the chart, or press Left or Right, for the values under the "
               "cursor.");
        // The curves the legend has no room for are named here.
        const auto first = static_cast<std::size_t>(std::max(legendEntries_, 0));
        const std::size_t end = std::min(plotted_.size(), first + ReadoutLines);
        for (std::size_t i = first; i < end; ++i) {
            text += entry(i);
        }
        return text + MoreText(plotted_.size() - end);
    }
    if (axis_ == CurveAxis::Time) {
        text += tr("<b>Cursor at %1</b>")
                    .arg(ElapsedText(static_cast<int>(std::lround(*cursor_ * secondsPerUnit_))));
    } else {
        text += tr("<b>Cursor at %1 mAh</b>").arg(Text(Format("%.1f", *cursor_)));
    }
    const std::size_t end = std::min(plotted_.size(), ReadoutLines);
    for (std::size_t i = 0; i < end; ++i) {
        const DrawnCurve& curve = plotted_[i];
        text += entry(i) + QStringLiteral(": ");
        const CurveRow* row = RowAt(curve, *cursor_);
        if (row == nullptr) {
            text += tr("no rows");
            continue;
        }
        text += tr("%1, %2 V, %3 mAh")
                    .arg(ElapsedText(row->Seconds), Text(Format("%.3f", row->Volts)),
                         Text(Format("%.1f", row->MilliampHours)));
        if (row->Seconds == curve.Last.Seconds && XOf(*row) < *cursor_) {
            text += tr(" (its end)");
        }
    }
    return text + MoreText(plotted_.size() - end);
}

QString CurveChartView::MoreText(std::size_t more) {
    // A label of thousands of lines would hold the window for seconds; the
    // curve list names every checked curve.
    return more == 0
               ? QString()
               : tr("<br>… and %1 more: the checked curves in the list on the left.").arg(more);
}

void CurveChartView::UpdateCursorItems() {
    const bool shown = cursorShown_ && cursor_ && !plotted_.empty() && *cursor_ >= xAxis_->min() &&
                       *cursor_ <= xAxis_->max();
    cursorLine_->setVisible(shown);
    for (QGraphicsEllipseItem* mark : marks_) {
        mark->setVisible(false);
    }
    if (!shown) {
        return;
    }
    const QRectF area = chart()->plotArea();
    const QPointF at = PositionOf(*cursor_, yAxis_->min());
    cursorLine_->setLine(at.x(), area.top(), at.x(), area.bottom());
    // A mark on each curve while each is a series; hundreds drawn as one
    // picture have the readout alone.
    for (std::size_t i = 0; i < marks_.size() && i < plotted_.size(); ++i) {
        const CurveRow* row = RowAt(plotted_[i], *cursor_);
        if (row == nullptr || XOf(*row) < *cursor_ - (xAxis_->max() - xAxis_->min()) * 0.01) {
            continue;  // the curve has ended before the cursor
        }
        const QPointF point = PositionOf(XOf(*row), row->Volts);
        if (area.contains(point)) {
            marks_[i]->setPos(point);
            marks_[i]->setVisible(true);
        }
    }
}

void CurveChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        pressed_ = CurrentView();
    }
    if (event->button() == Qt::RightButton) {
        event->accept();  // handled on release: back to the view before
        return;
    }
    QChartView::mousePressEvent(event);
}

void CurveChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        UndoZoom();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && pressed_) {
        if (!(CurrentView() == *pressed_)) {
            views_.push_back(*pressed_);
            emit ZoomChanged();
        }
        pressed_.reset();
    }
}

void CurveChartView::mouseMoveEvent(QMouseEvent* event) {
    QChartView::mouseMoveEvent(event);
    if (plotted_.empty()) {
        return;
    }
    const QPointF scenePoint = mapToScene(event->position().toPoint());
    const QPointF chartPoint = chart()->mapFromScene(scenePoint);
    if (!chart()->plotArea().contains(chartPoint)) {
        return;
    }
    const QRectF area = chart()->plotArea();
    SetCursorX(xAxis_->min() +
               (chartPoint.x() - area.left()) / area.width() * (xAxis_->max() - xAxis_->min()));
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
            Zooming([this] { chart()->zoomIn(); });
            return;
        case Qt::Key_Minus:
            Zooming([this] { chart()->zoomOut(); });
            return;
        case Qt::Key_0:
            ResetZoom();
            return;
        case Qt::Key_Backspace:
            UndoZoom();
            return;
        case Qt::Key_Z:
            if (event->modifiers() & Qt::ControlModifier) {
                UndoZoom();
                return;
            }
            break;
        default:
            break;
    }
    QChartView::keyPressEvent(event);
}

void CurveChartView::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    FitLegend();
    UpdateNote();
    UpdateCursorItems();
}

}  // namespace voltrex::results
