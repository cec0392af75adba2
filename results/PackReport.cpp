#include "results/PackReport.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "results/CapacityChart.h"
#include "results/CurveChartView.h"
#include "results/ResultsFolder.h"
#include "results/Widgets.h"

namespace voltrex::results {

namespace {

constexpr const char* Ohm = "\xCE\xA9";
constexpr double MillimetresPerInch = 25.4;
// The report's margins on paper; printers cannot print to the edge.
constexpr double ReportMarginMm = 15.0;
// The resolution a PDF is laid out at: coordinates are kept as decimals,
// so it sets only the precision of the layout, not the size of the file.
constexpr int PdfResolution = 600;

QDate DateAt(std::int64_t calendarSeconds) {
    const LocalTime time = CalendarTimeAt(calendarSeconds);
    return {time.Year, time.Month, time.Day};
}

std::string DayText(std::int64_t calendarSeconds) {
    return Std(DateAt(calendarSeconds).toString(Qt::ISODate));
}

// The month of a projection: further ahead than a month, the day means
// nothing. The program speaks English, as its month names.
std::string MonthText(std::int64_t calendarSeconds) {
    return Std(QLocale::c().toString(DateAt(calendarSeconds), QStringLiteral("MMMM yyyy")));
}

// A state of health in percent to a tenth, never rounded up: a pack just
// below the share it is replaced at must not read as at it.
double ShownPercent(double share) {
    return std::floor(share * 1000.0 + 1e-6) / 10.0;
}

std::string Counted(long long count, const char* one, const char* many) {
    return Format("%lld %s", count, count == 1 ? one : many);
}

// A rate with its interval, signed: "-12.3 mAh a month (-15.0 to -9.8)".
std::string RateText(const Rate& rate, const char* format, const char* per) {
    std::string text = Format(format, rate.Value) + per;
    if (std::isfinite(rate.Low) && std::isfinite(rate.High)) {
        text += " (" + Format(format, rate.Low) + " to " + Format(format, rate.High) + ")";
    } else {
        text += " (too few tests to bound it)";
    }
    return text;
}

std::string ReplacementText(const PackReport& report) {
    const PackHealth& health = report.Health;
    const Replacement& replace = health.Replace;
    switch (replace.Verdict) {
        case Outlook::Unknown:
            if (health.Rated <= 0) {
                return "unknown: its records name no rated capacity";
            }
            if (!health.Capacity) {
                return "unknown: no discharge from a full charge yet";
            }
            return Format("unknown: %s, too few for a trend",
                          Counted(static_cast<long long>(health.FullDischarges),
                                  "discharge from a full charge", "discharges from a full charge")
                              .c_str());
        case Outlook::Reached:
            return Format("now: %.1f mAh is below %.0f mAh", health.Capacity.value_or(0.0),
                          replace.ThresholdMilliampHours);
        case Outlook::NotFading:
            return Format(
                "not fading: its capacity does not fall beyond doubt, so no date "
                "for %.0f mAh is projected",
                replace.ThresholdMilliampHours);
        case Outlook::Fading:
            break;
    }
    std::string text = Format("below %.0f mAh ", replace.ThresholdMilliampHours);
    if (replace.Date) {
        const std::string month = MonthText(*replace.Date);
        text += "about " + month;
        if (replace.EarliestDate && replace.LatestDate) {
            const std::string earliest = MonthText(*replace.EarliestDate);
            const std::string latest = MonthText(*replace.LatestDate);
            if (earliest != month || latest != month) {
                text += " (" + earliest + " to " + latest + ")";
            }
        } else if (replace.EarliestDate) {
            text += " (" + MonthText(*replace.EarliestDate) + " or later)";
        }
    } else {
        text += Format("not within %d years", LongestProjectionYears);
    }
    if (replace.Cycle) {
        text += Format(", near cycle %d", *replace.Cycle);
    }
    return text;
}

std::string EfficiencyText(const PackHealth& health) {
    const std::optional<RecentEfficiency> recent = RecentEfficiencyOf(health);
    if (!recent) {
        return "unknown: no charge recorded before a discharge from full";
    }
    std::string text = Format("%.1f %% of the charge put in came out", 100.0 * recent->Charge);
    if (recent->Energy) {
        text += Format(", %.1f %% of the energy", 100.0 * *recent->Energy);
    }
    return text + (recent->Cycles == 1
                       ? std::string(" (its one cycle)")
                       : Format(" (mean of the latest %zu cycles)", recent->Cycles));
}

std::string PackText(const PackHealth& health) {
    if (!health.LastTest) {
        return "no records";
    }
    std::string text = health.Type.empty() ? std::string("cell type not entered") : health.Type;
    text += ", " + Counted(health.Cells, "cell", "cells");
    text += health.Rated > 0 ? Format(", rated %d mAh", health.Rated)
                             : std::string(", rated capacity not entered");
    return text;
}

QString TitleOf(const PackReport& report) {
    return report.Health.Name.empty() ? QCoreApplication::translate("PackReport", "Unknown pack")
                                      : Text(report.Health.Name);
}

QFont FontOf(double points, bool bold = false) {
    QFont font = QGuiApplication::font();
    font.setPointSizeF(points);
    font.setBold(bold);
    // No ligatures: the PDF's words are found as typed ("efficiency").
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

// Draws wrapped text in the width from top; its height. At most maxHeight
// is drawn (0: no limit).
double DrawWrapped(QPainter& painter, const QRectF& box, const QString& text,
                   double maxHeight = 0.0) {
    const QRectF needed =
        painter.boundingRect(QRectF(box.left(), box.top(), box.width(), 1e6),
                             Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    double height = needed.height();
    if (maxHeight > 0.0 && height > maxHeight) {
        height = maxHeight;
    }
    painter.save();
    painter.setClipRect(QRectF(box.left(), box.top(), box.width(), height));
    painter.drawText(QRectF(box.left(), box.top(), box.width(), 1e6),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    painter.restore();
    return height;
}

// The capacity history as the window draws it, rendered into the box: the
// same chart, so that the page and the screen agree.
void PaintHistory(QPainter& painter, const QRectF& box, const PackReport& report) {
    CapacityChart chart;
    chart.setAttribute(Qt::WA_DontShowOnScreen);
    chart.setFrameShape(QFrame::NoFrame);
    chart.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    chart.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Laid out at a screen's size and scaled to the box: its fonts come out
    // at a size that reads on paper.
    constexpr int Width = 900;
    chart.resize(Width, static_cast<int>(std::lround(Width * box.height() / box.width())));
    chart.Show(TitleOf(report), report.History);
    chart.chart()->setTitle(QString());
    chart.show();
    chart.chart()->resize(QSizeF(chart.viewport()->size()));
    if (chart.chart()->layout() != nullptr) {
        chart.chart()->layout()->activate();
    }
    chart.render(&painter, box, chart.viewport()->rect());
}

// The voltage of a discharge over its time, drawn plainly with its axes.
void PaintCurve(QPainter& painter, const QRectF& box, const CurveFile& curve, double mm) {
    std::vector<const CurveRow*> rows;
    for (const CurveRow& row : curve.Rows) {
        if (row.Volts > 0.0) {  // a 0 V reading inside a test is a glitch
            rows.push_back(&row);
        }
    }
    painter.setFont(FontOf(7.5));
    if (rows.size() < 2) {
        painter.drawText(
            box, Qt::AlignCenter,
            QCoreApplication::translate("PackReport", "Its curve file has no readings."));
        return;
    }
    double low = rows.front()->Volts;
    double high = low;
    for (const CurveRow* row : rows) {
        low = std::min(low, row->Volts);
        high = std::max(high, row->Volts);
    }
    const double pad = std::max((high - low) * 0.06, 0.05);
    const double vTick = TickFor(high - low + 2.0 * pad);
    const double bottom = std::floor((low - pad) / vTick) * vTick;
    const double top = std::ceil((high + pad) / vTick) * vTick;
    const double seconds = std::max(1, rows.back()->Seconds);
    const bool hours = seconds > 3.0 * 3600.0;
    const double unit = hours ? 3600.0 : 60.0;
    const double tTick = TickFor(seconds / unit) * unit;

    const QRectF plot = box.adjusted(12.0 * mm, 1.0 * mm, -1.0 * mm, -8.0 * mm);
    const auto xOf = [&](double s) { return plot.left() + plot.width() * s / seconds; };
    const auto yOf = [&](double v) {
        return plot.bottom() - plot.height() * (v - bottom) / (top - bottom);
    };
    const QFontMetricsF metrics(painter.font(), painter.device());
    painter.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), 0.15 * mm));
    for (double v = bottom; v <= top + vTick / 2; v += vTick) {
        painter.drawLine(QPointF(plot.left(), yOf(v)), QPointF(plot.right(), yOf(v)));
    }
    for (double s = 0.0; s <= seconds + 1e-9; s += tTick) {
        painter.drawLine(QPointF(xOf(s), plot.top()), QPointF(xOf(s), plot.bottom()));
    }
    painter.setPen(QPen(Qt::black, 0.2 * mm));
    painter.drawRect(plot);
    for (double v = bottom; v <= top + vTick / 2; v += vTick) {
        const QString label = QString::number(v, 'f', vTick < 0.1 ? 2 : 1);
        painter.drawText(
            QRectF(box.left(), yOf(v) - 3.0 * mm, plot.left() - box.left() - 1.0 * mm, 6.0 * mm),
            Qt::AlignRight | Qt::AlignVCenter, label);
    }
    for (double s = 0.0; s <= seconds + 1e-9; s += tTick) {
        painter.drawText(QRectF(xOf(s) - 8.0 * mm, plot.bottom() + 0.5 * mm, 16.0 * mm, 3.5 * mm),
                         Qt::AlignHCenter | Qt::AlignTop, QString::number(s / unit, 'g', 4));
    }
    painter.drawText(QRectF(plot.left(), plot.bottom() + 4.0 * mm, plot.width(), 3.5 * mm),
                     Qt::AlignHCenter | Qt::AlignTop,
                     hours ? QCoreApplication::translate("PackReport", "hours")
                           : QCoreApplication::translate("PackReport", "minutes"));
    painter.save();
    painter.translate(box.left() + metrics.height() * 0.2, plot.center().y());
    painter.rotate(-90.0);
    painter.drawText(QRectF(-15.0 * mm, 0.0, 30.0 * mm, metrics.height()),
                     Qt::AlignHCenter | Qt::AlignTop,
                     QCoreApplication::translate("PackReport", "volts"));
    painter.restore();

    // At most two points a column of a tenth of a millimetre: the lowest
    // and the highest of its readings, so no dip is lost.
    const std::size_t columns =
        std::max<std::size_t>(2, static_cast<std::size_t>(plot.width() / (0.1 * mm)));
    QPolygonF line;
    std::size_t at = 0;
    while (at < rows.size()) {
        const auto column =
            static_cast<std::size_t>(rows[at]->Seconds / seconds * static_cast<double>(columns));
        const CurveRow* lowest = rows[at];
        const CurveRow* highest = rows[at];
        std::size_t next = at;
        while (next < rows.size() &&
               static_cast<std::size_t>(rows[next]->Seconds / seconds *
                                        static_cast<double>(columns)) == column) {
            if (rows[next]->Volts < lowest->Volts) {
                lowest = rows[next];
            }
            if (rows[next]->Volts > highest->Volts) {
                highest = rows[next];
            }
            ++next;
        }
        const CurveRow* first = lowest->Seconds <= highest->Seconds ? lowest : highest;
        const CurveRow* second = first == lowest ? highest : lowest;
        line << QPointF(xOf(first->Seconds), yOf(first->Volts));
        if (second != first) {
            line << QPointF(xOf(second->Seconds), yOf(second->Volts));
        }
        at = next;
    }
    painter.save();
    painter.setClipRect(plot);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x4e, 0x79, 0xa7), 0.35 * mm));
    painter.drawPolyline(line);
    painter.restore();
}

std::string CurveCaption(const PackReport& report) {
    if (!report.LastCurveRecord) {
        return "Its last discharge";
    }
    const ResultRecord& record = *report.LastCurveRecord;
    return Format("Its last discharge with a curve: %s, %.1f mAh at %.0f mA",
                  CalendarTimeText(record.Time).substr(0, 16).c_str(), record.MilliampHours,
                  record.MilliAmps);
}

// The area a paged device paints into, in its pixels, from the painter's
// origin.
QRectF PaintArea(const QPageLayout& layout, int resolution) {
    return {QPointF(0.0, 0.0), QSizeF(layout.paintRectPixels(resolution).size())};
}

// A file written through a PDF writer, whole or not at all.
template <typename Paint>
bool WritePdf(const QString& path, const QString& title, QString& error, const QPageSize& page,
              const QMarginsF& margins, const Paint& paint) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setResolution(PdfResolution);
        writer.setCreator(QStringLiteral("Voltrex II Results"));
        writer.setTitle(title);
        writer.setPageLayout(
            QPageLayout(page, QPageLayout::Portrait, margins, QPageLayout::Millimeter));
        QPainter painter;
        if (!painter.begin(&writer)) {
            error = QCoreApplication::translate("PackReport", "the PDF could not be started");
            file.cancelWriting();
            return false;
        }
        paint(painter, writer, PaintArea(writer.pageLayout(), writer.resolution()));
        painter.end();
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

QPageSize LabelPaper(const LabelLayout& layout) {
    return QPageSize(layout.Paper, QPageSize::Millimeter, layout.Name);
}

// Lays the labels out on pages: each label's rectangle in the device's
// pixels, a new page before each page's first.
template <typename Device>
void PaintLabels(QPainter& painter, Device& device, const std::vector<PackReport>& packs,
                 int copies, const LabelLayout& layout) {
    const double mm = device.resolution() / MillimetresPerInch;
    // The painter's origin is the page's printable area; the labels are
    // placed on the paper.
    const QPointF origin =
        -QPointF(device.pageLayout().paintRectPixels(device.resolution()).topLeft());
    int index = 0;
    for (const PackReport& pack : packs) {
        for (int copy = 0; copy < copies; ++copy, ++index) {
            const int onPage = index % layout.PerPage();
            if (index > 0 && onPage == 0) {
                device.newPage();
            }
            const int column = onPage % layout.Columns;
            const int row = onPage / layout.Columns;
            const QRectF cell(
                origin + QPointF((layout.FirstLabel.x() + column * layout.Label.width()) * mm,
                                 (layout.FirstLabel.y() + row * layout.Label.height()) * mm),
                layout.Label * mm);
            PaintLabel(painter, cell, pack);
        }
    }
}

}  // namespace

PackReport PackReportOf(ResultsFolder& folder, const std::string& packId, std::string note,
                        const HealthSettings& settings, QDate printed) {
    PackReport report;
    report.ReplaceAt = settings.ReplaceAt;
    report.Note = std::move(note);
    report.Folder = folder.Folder();
    report.Printed = printed;
    report.Health.PackId = packId;
    const std::optional<std::size_t> index = folder.Grouping().Find(packId);
    if (!index) {
        return report;
    }
    const Pack& pack = folder.Grouping().Packs[*index];
    report.Health = HealthOf(folder.Log(), pack, settings);
    report.History = CapacityHistory(folder.Log(), pack);
    for (const CapacityPoint& point : report.History) {
        if (point.Mark == CapacityMark::Full) {
            report.BestMilliampHours = std::max(
                report.BestMilliampHours.value_or(point.MilliampHours), point.MilliampHours);
        }
    }
    // Its latest discharge whose curve is in curves/.
    const std::vector<std::optional<std::size_t>>& curveOfLine = folder.CurveOfLine();
    std::optional<std::size_t> latest;
    for (const std::size_t line : pack.Lines) {
        const ResultLine& entry = folder.Log().Lines.at(line);
        if (entry.Readable && entry.Record.Mode == ModeCode(TestMode::Discharge) &&
            line < curveOfLine.size() && curveOfLine[line] &&
            (!latest || entry.Record.Seconds >= folder.Log().Lines[*latest].Record.Seconds)) {
            latest = line;
        }
    }
    if (latest) {
        report.LastCurve = folder.WholeCurve(folder.Curves().at(*curveOfLine[*latest]));
        report.LastCurveRecord = folder.Log().Lines[*latest].Record;
    }
    return report;
}

std::vector<ReportFigure> ReportFigures(const PackReport& report) {
    const PackHealth& health = report.Health;
    std::vector<ReportFigure> figures;
    figures.push_back({"Pack", PackText(health)});

    ReportFigure soh{"State of health", ""};
    if (health.StateOfHealth) {
        soh.Value = Format("%.1f %% of its rated %d mAh", ShownPercent(*health.StateOfHealth),
                           health.Rated);
        if (health.BelowThreshold()) {
            soh.Value += Format(": below the %.0f %% it is replaced at", 100.0 * report.ReplaceAt);
            soh.Warning = true;
        }
    } else if (!health.Capacity) {
        soh.Value =
            "unknown: no discharge from a full charge yet (only such a discharge "
            "measures what the pack holds)";
    } else {
        soh.Value = "unknown: its records name no rated capacity";
    }
    figures.push_back(soh);

    ReportFigure capacity{"Capacity", ""};
    if (health.Capacity) {
        capacity.Value = Format("%.1f mAh now", *health.Capacity);
        if (report.BestMilliampHours) {
            capacity.Value += Format(", best %.1f mAh", *report.BestMilliampHours);
        }
    } else {
        capacity.Value = "unknown: no discharge from a full charge yet";
    }
    figures.push_back(capacity);
    figures.push_back(
        {"Capacity trend",
         health.CapacityTrend
             ? RateText(health.CapacityTrend->PerMonth, "%+.1f", " mAh a month") + ", " +
                   RateText(health.CapacityTrend->PerHundredCycles, "%+.1f", " mAh per 100 cycles")
             : std::string("unknown: fewer than 3 discharges from a full charge")});

    std::string ohms = health.Ohms ? Format("%.4f %s now", *health.Ohms, Ohm)
                                   : std::string("unknown: not measured");
    if (health.Ohms && health.ResistanceTrend) {
        ohms += ", " + RateText(health.ResistanceTrend->PerMonth, "%+.4f",
                                Format(" %s a month", Ohm).c_str());
    }
    figures.push_back({"Internal resistance", ohms});
    figures.push_back({Format("Replace at %.0f %%", 100.0 * report.ReplaceAt),
                       ReplacementText(report), health.BelowThreshold()});
    figures.push_back(
        {"Cycles", health.Cycles > 0
                       ? Format("%s, %zu of them from a full charge",
                                Counted(health.Cycles, "discharge", "discharges").c_str(),
                                health.FullDischarges)
                       : std::string("no discharge yet")});
    figures.push_back({"Charge efficiency", EfficiencyText(health)});
    figures.push_back(
        {"Volts per cell", health.VoltsPerCell
                               ? Format("%.3f V under load in its latest discharge "
                                        "from full",
                                        *health.VoltsPerCell)
                               : std::string("unknown: no discharge from a full charge yet")});
    figures.push_back(
        {"Last test", health.LastTest ? DayText(*health.LastTest) : std::string("none")});
    return figures;
}

std::vector<std::string> LabelLines(const PackReport& report) {
    const PackHealth& health = report.Health;
    std::vector<std::string> lines{Std(TitleOf(report))};
    std::string capacity =
        health.Capacity ? Format("%.0f mAh", *health.Capacity) : std::string("Capacity unknown");
    if (health.StateOfHealth) {
        capacity +=
            Format(", %.1f %% of %d mAh", ShownPercent(*health.StateOfHealth), health.Rated);
    } else if (health.Capacity) {
        capacity += ", rating unknown";
    }
    if (health.BelowThreshold()) {
        capacity += ": REPLACE";
    }
    lines.push_back(capacity);
    lines.push_back(health.Ohms ? Format("Ri %.4f %s", *health.Ohms, Ohm)
                                : std::string("Ri unknown"));
    lines.push_back(health.LastTest ? "Tested " + DayText(*health.LastTest)
                                    : std::string("Not tested"));
    return lines;
}

QPageSize DefaultPageSize(const QLocale& locale) {
    switch (locale.territory()) {
        case QLocale::UnitedStates:
        case QLocale::Canada:
        case QLocale::Mexico:
        case QLocale::Chile:
        case QLocale::Colombia:
        case QLocale::Venezuela:
        case QLocale::Philippines:
        case QLocale::PuertoRico:
        case QLocale::Guatemala:
        case QLocale::CostaRica:
            return QPageSize(QPageSize::Letter);
        default:
            return QPageSize(QPageSize::A4);
    }
}

void PaintReport(QPainter& painter, const QRectF& area, const PackReport& report) {
    const double mm = painter.device()->logicalDpiX() / MillimetresPerInch;
    painter.save();
    painter.setPen(Qt::black);
    double y = area.top();

    // The heading: the pack's name, what the page is.
    painter.setFont(FontOf(18.0, true));
    const double titleHeight = QFontMetricsF(painter.font(), painter.device()).height();
    painter.drawText(QRectF(area.left(), y, area.width() * 0.7, titleHeight),
                     Qt::AlignLeft | Qt::AlignBottom,
                     QFontMetricsF(painter.font(), painter.device())
                         .elidedText(TitleOf(report), Qt::ElideRight, area.width() * 0.7));
    painter.setFont(FontOf(9.0));
    painter.setPen(QColor(0x55, 0x55, 0x55));
    painter.drawText(QRectF(area.left(), y, area.width(), titleHeight),
                     Qt::AlignRight | Qt::AlignBottom,
                     QCoreApplication::translate("PackReport", "Voltrex II pack report"));
    y += titleHeight + 1.5 * mm;
    painter.setPen(QPen(Qt::black, 0.3 * mm));
    painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    y += 3.0 * mm;

    // The figures, a label and its value a line.
    const double labelWidth = 42.0 * mm;
    const QRectF values(area.left() + labelWidth, 0.0, area.width() - labelWidth, 0.0);
    for (const ReportFigure& figure : ReportFigures(report)) {
        painter.setFont(FontOf(9.5, true));
        painter.setPen(Qt::black);
        DrawWrapped(painter, QRectF(area.left(), y, labelWidth - 2.0 * mm, 0.0),
                    Text(figure.Label));
        painter.setFont(FontOf(9.5, figure.Warning));
        painter.setPen(figure.Warning ? QColor(0xb0, 0x10, 0x10) : QColor(Qt::black));
        y += DrawWrapped(painter, QRectF(values.left(), y, values.width(), 0.0),
                         Text(figure.Value)) +
             1.4 * mm;
    }
    if (!report.Note.empty()) {
        // A long note is cut at four lines: the page stays one.
        painter.setFont(FontOf(9.5, true));
        painter.setPen(Qt::black);
        DrawWrapped(painter, QRectF(area.left(), y, labelWidth - 2.0 * mm, 0.0),
                    QCoreApplication::translate("PackReport", "Note"));
        painter.setFont(FontOf(9.5));
        const double lines = 4.0 * QFontMetricsF(painter.font(), painter.device()).lineSpacing();
        y += DrawWrapped(painter, QRectF(values.left(), y, values.width(), 0.0), Text(report.Note),
                         lines) +
             1.4 * mm;
    }

    // The footer, then the two charts in the room between.
    painter.setFont(FontOf(7.5));
    const double footerHeight = QFontMetricsF(painter.font(), painter.device()).height();
    const QRectF footer(area.left(), area.bottom() - footerHeight, area.width(), footerHeight);
    painter.setPen(QColor(0x55, 0x55, 0x55));
    const QString printed = QCoreApplication::translate("PackReport", "Printed %1")
                                .arg(report.Printed.toString(Qt::ISODate));
    painter.drawText(footer, Qt::AlignLeft | Qt::AlignVCenter, printed);
    painter.drawText(footer, Qt::AlignRight | Qt::AlignVCenter,
                     QFontMetricsF(painter.font(), painter.device())
                         .elidedText(QDir::toNativeSeparators(Text(report.Folder)), Qt::ElideMiddle,
                                     area.width() * 0.7));

    painter.setFont(FontOf(10.5, true));
    painter.setPen(Qt::black);
    const double headingHeight =
        QFontMetricsF(painter.font(), painter.device()).height() + 1.0 * mm;
    const double room = footer.top() - 3.0 * mm - y - 2.0 * (headingHeight + 2.0 * mm);
    const double historyHeight = std::max(20.0 * mm, room * 0.58);
    const double curveHeight = std::max(15.0 * mm, room - historyHeight);

    y += 2.0 * mm;
    painter.drawText(QRectF(area.left(), y, area.width(), headingHeight),
                     Qt::AlignLeft | Qt::AlignTop,
                     QCoreApplication::translate("PackReport", "Capacity history"));
    y += headingHeight;
    PaintHistory(painter, QRectF(area.left(), y, area.width(), historyHeight), report);
    y += historyHeight + 2.0 * mm;

    painter.setFont(FontOf(10.5, true));
    painter.setPen(Qt::black);
    painter.drawText(QRectF(area.left(), y, area.width(), headingHeight),
                     Qt::AlignLeft | Qt::AlignTop, Text(CurveCaption(report)));
    y += headingHeight;
    const QRectF curveBox(area.left(), y, area.width(), curveHeight);
    if (report.LastCurve) {
        PaintCurve(painter, curveBox, *report.LastCurve, mm);
    } else {
        painter.setFont(FontOf(9.5));
        painter.setPen(QColor(0x55, 0x55, 0x55));
        painter.drawText(
            curveBox, Qt::AlignCenter | Qt::TextWordWrap,
            QCoreApplication::translate("PackReport",
                                        "No discharge of this pack has a curve file in curves/."));
    }
    painter.restore();
}

bool SaveReportPdf(const PackReport& report, const QPageSize& page, const QString& path,
                   QString& error) {
    const QMarginsF margins(ReportMarginMm, ReportMarginMm, ReportMarginMm, ReportMarginMm);
    return WritePdf(path, TitleOf(report), error, page, margins,
                    [&](QPainter& painter, QPdfWriter&, const QRectF& area) {
                        PaintReport(painter, area, report);
                    });
}

void PrintReport(const PackReport& report, QPrinter& printer) {
    printer.setDocName(TitleOf(report));
    QPainter painter;
    if (painter.begin(&printer)) {
        PaintReport(painter, PaintArea(printer.pageLayout(), printer.resolution()), report);
        painter.end();
    }
}

std::vector<LabelLayout> LabelLayouts() {
    // A label printer's roll of 62 mm, cut at 29 mm (the die-cut labels of
    // the common address-label size); an A4 sheet of 24 labels with half a
    // millimetre left above and below them.
    return {
        {QCoreApplication::translate("PackReport", "Label printer: one label of 62 \u00D7 29 mm"),
         QSizeF(62.0, 29.0), QSizeF(62.0, 29.0), 1, 1, QPointF(0.0, 0.0)},
        {QCoreApplication::translate("PackReport",
                                     "A4 sheet: 3 \u00D7 8 labels of 70 \u00D7 37 mm"),
         QSizeF(70.0, 37.0), QSizeF(210.0, 297.0), 3, 8, QPointF(0.0, 0.5)},
    };
}

void PaintLabel(QPainter& painter, const QRectF& area, const PackReport& report) {
    const double mm = painter.device()->logicalDpiX() / MillimetresPerInch;
    const QRectF inner = area.adjusted(2.5 * mm, 2.0 * mm, -2.5 * mm, -2.0 * mm);
    const std::vector<std::string> lines = LabelLines(report);
    painter.save();
    painter.setPen(Qt::black);
    // The name as large as fits, the figures below it in one size; the
    // lines spread over the label's height.
    QFont name = FontOf(std::clamp(inner.height() / mm * 0.42, 7.0, 13.0), true);
    while (name.pointSizeF() > 6.0 &&
           QFontMetricsF(name, painter.device()).horizontalAdvance(Text(lines.front())) >
               inner.width()) {
        name.setPointSizeF(name.pointSizeF() - 0.5);
    }
    const QFont figures = FontOf(std::clamp(inner.height() / mm * 0.3, 6.0, 9.0));
    const double nameHeight = QFontMetricsF(name, painter.device()).height();
    const double lineHeight = QFontMetricsF(figures, painter.device()).height();
    const double gap = std::max(
        0.0, (inner.height() - nameHeight - lineHeight * static_cast<double>(lines.size() - 1)) /
                 static_cast<double>(lines.size() - 1));
    double y = inner.top();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        painter.setFont(i == 0 ? name : figures);
        const double height = i == 0 ? nameHeight : lineHeight;
        painter.drawText(QRectF(inner.left(), y, inner.width(), height),
                         Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetricsF(painter.font(), painter.device())
                             .elidedText(Text(lines[i]), Qt::ElideRight, inner.width()));
        y += height + gap;
    }
    painter.restore();
}

bool SaveLabelsPdf(const std::vector<PackReport>& packs, int copies, const LabelLayout& layout,
                   const QString& path, QString& error) {
    const QString title = packs.size() == 1
                              ? TitleOf(packs.front())
                              : QCoreApplication::translate("PackReport", "Pack labels");
    return WritePdf(path, title, error, LabelPaper(layout), QMarginsF(),
                    [&](QPainter& painter, QPdfWriter& writer, const QRectF&) {
                        PaintLabels(painter, writer, packs, copies, layout);
                    });
}

void PrintLabels(const std::vector<PackReport>& packs, int copies, const LabelLayout& layout,
                 QPrinter& printer) {
    QPainter painter;
    if (painter.begin(&printer)) {
        PaintLabels(painter, printer, packs, copies, layout);
        painter.end();
    }
}

// ---------------------------------------------------------------------------
// The dialogs

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("PackReport", text);
}

// A page of the paper drawn for the screen, at about a third of its size.
QImage PagePreview(const QPageSize& page, const QMarginsF& margins,
                   const std::function<void(QPainter&, const QRectF&, double)>& paint) {
    constexpr double Dpi = 50.0;
    const QSizeF paper = page.size(QPageSize::Millimeter);
    const double px = Dpi / MillimetresPerInch;
    QImage image((paper * px).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDotsPerMeterX(static_cast<int>(std::lround(Dpi / 0.0254)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(Dpi / 0.0254)));
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QRectF area(margins.left() * px, margins.top() * px,
                      (paper.width() - margins.left() - margins.right()) * px,
                      (paper.height() - margins.top() - margins.bottom()) * px);
    paint(painter, area, px);
    return image;
}

QString AskPdfPath(QWidget* parent, const QString& title, const std::string& folder,
                   const QString& name) {
    return QFileDialog::getSaveFileName(parent, title, QDir(Text(folder)).filePath(name),
                                        Tr("PDF documents (*.pdf)"));
}

}  // namespace

void ShowReportDialog(QWidget* parent, const PackReport& report) {
    QDialog dialog(parent);
    dialog.setWindowTitle(Tr("Pack Report: %1").arg(TitleOf(report)));
    auto* preview = new QLabel(&dialog);
    preview->setFrameShape(QFrame::Box);
    auto* paper = new QComboBox(&dialog);
    paper->addItem(Tr("A4 (210 \u00D7 297 mm)"), static_cast<int>(QPageSize::A4));
    paper->addItem(Tr("Letter (8.5 \u00D7 11 in)"), static_cast<int>(QPageSize::Letter));
    paper->setCurrentIndex(DefaultPageSize(QLocale()).id() == QPageSize::Letter ? 1 : 0);
    const auto pageSize = [paper] {
        return QPageSize(static_cast<QPageSize::PageSizeId>(paper->currentData().toInt()));
    };
    const auto redraw = [&] {
        const QMarginsF margins(ReportMarginMm, ReportMarginMm, ReportMarginMm, ReportMarginMm);
        preview->setPixmap(QPixmap::fromImage(
            PagePreview(pageSize(), margins, [&](QPainter& painter, const QRectF& area, double) {
                PaintReport(painter, area, report);
            })));
    };
    QObject::connect(paper, &QComboBox::currentIndexChanged, &dialog, redraw);
    redraw();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* save =
        buttons->addButton(Tr("Save Report as PDF\u2026"), QDialogButtonBox::ActionRole);
    QPushButton* print = buttons->addButton(Tr("Print Report\u2026"), QDialogButtonBox::ActionRole);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
        const QString path =
            AskPdfPath(&dialog, Tr("Save Report as PDF"), report.Folder,
                       QStringLiteral("report-%1.pdf").arg(FileNameOf(TitleOf(report))));
        QString error;
        if (!path.isEmpty() && !SaveReportPdf(report, pageSize(), path, error)) {
            QMessageBox::critical(&dialog, dialog.windowTitle(),
                                  Tr("The report could not be saved as %1: %2").arg(path, error));
        }
    });
    QObject::connect(print, &QPushButton::clicked, &dialog, [&] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageSize(pageSize());
        // The page's margins, as on the PDF: no printer prints to the edge.
        printer.setPageMargins(
            QMarginsF(ReportMarginMm, ReportMarginMm, ReportMarginMm, ReportMarginMm),
            QPageLayout::Millimeter);
        QPrintDialog ask(&printer, &dialog);
        ask.setWindowTitle(Tr("Print Report"));
        if (ask.exec() == QDialog::Accepted) {
            PrintReport(report, printer);
        }
    });

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(Row(&dialog, {BuddyLabel(Tr("&Paper of the PDF:"), paper, &dialog), paper}));
    layout->addWidget(preview, 0, Qt::AlignHCenter);
    layout->addWidget(new QLabel(Tr("A printer prints on the paper it is set to."), &dialog));
    layout->addWidget(buttons);
    dialog.exec();
}

void ShowLabelDialog(QWidget* parent, const std::vector<PackReport>& packs) {
    if (packs.empty()) {
        return;
    }
    const std::vector<LabelLayout> layouts = LabelLayouts();
    QDialog dialog(parent);
    dialog.setWindowTitle(packs.size() == 1 ? Tr("Pack Label: %1").arg(TitleOf(packs.front()))
                                            : Tr("Pack Labels: %1 packs").arg(packs.size()));
    auto* choice = new QComboBox(&dialog);
    for (const LabelLayout& layout : layouts) {
        choice->addItem(layout.Name);
    }
    auto* copies = new QSpinBox(&dialog);
    copies->setRange(1, 240);
    auto* preview = new QLabel(&dialog);
    auto* count = new QLabel(&dialog);
    const auto chosen = [&]() -> const LabelLayout& { return layouts.at(choice->currentIndex()); };
    const auto update = [&] {
        const LabelLayout& layout = chosen();
        // The label at its size on paper, as near as the screen knows its
        // own size.
        const QScreen* screen = dialog.screen();
        const double dpi = screen != nullptr ? screen->physicalDotsPerInchX() : 96.0;
        const double px = std::clamp(dpi, 72.0, 200.0) / MillimetresPerInch;
        QImage image((layout.Label * px).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(static_cast<int>(std::lround(px * 1000.0)));
        image.setDotsPerMeterY(static_cast<int>(std::lround(px * 1000.0)));
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::TextAntialiasing);
            PaintLabel(painter, QRectF(QPointF(), QSizeF(image.size())), packs.front());
            painter.setPen(QPen(Qt::gray, 1.0, Qt::DashLine));
            painter.drawRect(QRectF(QPointF(), QSizeF(image.size())).adjusted(0, 0, -1, -1));
        }
        preview->setPixmap(QPixmap::fromImage(image));
        const long long labels = static_cast<long long>(packs.size()) * copies->value();
        const long long pages = (labels + layout.PerPage() - 1) / layout.PerPage();
        count->setText(Tr("Each label %1 \u00D7 %2 mm on paper; %3 on %4.")
                           .arg(layout.Label.width())
                           .arg(layout.Label.height())
                           .arg(Text(Counted(labels, "label", "labels")),
                                Text(Counted(pages, "page", "pages"))));
    };
    QObject::connect(choice, &QComboBox::currentIndexChanged, &dialog, [&] {
        // One pack fills a sheet; several get a label each.
        copies->setValue(packs.size() == 1 ? chosen().PerPage() : 1);
        update();
    });
    QObject::connect(copies, &QSpinBox::valueChanged, &dialog, update);
    copies->setValue(1);
    update();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QPushButton* save =
        buttons->addButton(Tr("Save Labels as PDF\u2026"), QDialogButtonBox::ActionRole);
    QPushButton* print = buttons->addButton(Tr("Print Labels\u2026"), QDialogButtonBox::ActionRole);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(save, &QPushButton::clicked, &dialog, [&] {
        const QString name =
            packs.size() == 1
                ? QStringLiteral("label-%1.pdf").arg(FileNameOf(TitleOf(packs.front())))
                : QStringLiteral("labels.pdf");
        const QString path =
            AskPdfPath(&dialog, Tr("Save Labels as PDF"), packs.front().Folder, name);
        QString error;
        if (!path.isEmpty() && !SaveLabelsPdf(packs, copies->value(), chosen(), path, error)) {
            QMessageBox::critical(&dialog, dialog.windowTitle(),
                                  Tr("The labels could not be saved as %1: %2").arg(path, error));
        }
    });
    QObject::connect(print, &QPushButton::clicked, &dialog, [&] {
        QPrinter printer(QPrinter::HighResolution);
        printer.setPageSize(LabelPaper(chosen()));
        printer.setFullPage(true);
        QPrintDialog ask(&printer, &dialog);
        ask.setWindowTitle(Tr("Print Labels"));
        if (ask.exec() == QDialog::Accepted) {
            PrintLabels(packs, copies->value(), chosen(), printer);
        }
    });

    auto* form = new QGridLayout;
    form->addWidget(BuddyLabel(Tr("&Paper:"), choice, &dialog), 0, 0);
    form->addWidget(choice, 0, 1);
    form->addWidget(BuddyLabel(Tr("&Copies of each label:"), copies, &dialog), 1, 0);
    form->addWidget(copies, 1, 1, Qt::AlignLeft);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(form);
    layout->addWidget(preview, 0, Qt::AlignHCenter);
    layout->addWidget(count);
    layout->addWidget(buttons);
    dialog.exec();
}

QString FileNameOf(const QString& name) {
    QString clean;
    for (const QChar c : name) {
        clean += c.isLetterOrNumber() ? c : QChar('-');
    }
    while (clean.contains(QStringLiteral("--"))) {
        clean.replace(QStringLiteral("--"), QStringLiteral("-"));
    }
    return clean.isEmpty() ? QStringLiteral("pack") : clean;
}

}  // namespace voltrex::results
