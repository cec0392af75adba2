#pragma once

#include <QDate>
#include <QPageSize>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/CurveFile.h"
#include "results/CapacityHistory.h"
#include "results/PackHealth.h"

class QLocale;
class QPainter;
class QPrinter;
class QWidget;

namespace voltrex::results {

class ResultsFolder;

// A pack's report on one printed page, and the small label stuck on the
// pack: what its records say of its health, for the owner who decides which
// packs to trust, which to match and which to retire, away from the screen.
struct PackReport {
    PackHealth Health;
    double ReplaceAt = 0.8;  // the share of the rating it is replaced at
    std::vector<CapacityPoint> History;
    std::optional<double> BestMilliampHours;  // of its full discharges
    // The latest discharge that has a curve in curves/, read whole, and its
    // record; none when no discharge of the pack has one.
    std::shared_ptr<const CurveFile> LastCurve;
    std::optional<ResultRecord> LastCurveRecord;
    std::string Note;
    std::string Folder;
    QDate Printed;
};

// A file name made of a pack's name (or a chart's title): letters and
// digits, the rest one hyphen; "pack" when nothing is left.
QString FileNameOf(const QString& name);

// The pack's report as the folder's records say now; an unknown pack gives
// a report of no records.
PackReport PackReportOf(ResultsFolder& folder, const std::string& packId, std::string note,
                        const HealthSettings& settings = {}, QDate printed = QDate::currentDate());

// One line of the report's figures: what it is, and its value in words
// (what is unknown says so, and why). Warning: the pack is due for
// replacing.
struct ReportFigure {
    std::string Label;
    std::string Value;
    bool Warning = false;
};
std::vector<ReportFigure> ReportFigures(const PackReport& report);

// The lines of a pack's label, first its name.
std::vector<std::string> LabelLines(const PackReport& report);

// The paper a PDF is made on when no printer says: Letter where the
// locale's country uses it (the United States, Canada, Mexico and a few
// others), else A4.
QPageSize DefaultPageSize(const QLocale& locale);

// The report drawn on a page whose printable area is `area` (in the
// device's pixels).
void PaintReport(QPainter& painter, const QRectF& area, const PackReport& report);
// The report as a one-page PDF; false with the reason in error.
bool SaveReportPdf(const PackReport& report, const QPageSize& page, const QString& path,
                   QString& error);
// The report on the printer's paper.
void PrintReport(const PackReport& report, QPrinter& printer);

// Where labels go: on a label printer's roll, a page a label, or on a
// sheet of self-adhesive labels in rows and columns. Sizes in millimetres,
// as they come out on paper.
struct LabelLayout {
    QString Name;
    QSizeF Label;
    QSizeF Paper;
    int Columns = 1;
    int Rows = 1;
    QPointF FirstLabel;  // the top left corner of the first label on the paper

    int PerPage() const { return Columns * Rows; }
};

// The label printer's 62 × 29 mm label, and an A4 sheet of 3 × 8 labels of
// 70 × 37 mm.
std::vector<LabelLayout> LabelLayouts();

// A label drawn into `area` (in the device's pixels).
void PaintLabel(QPainter& painter, const QRectF& area, const PackReport& report);
// The labels in order, each copies times, on as many pages as they take; a
// sheet is filled row by row. False with the reason in error.
bool SaveLabelsPdf(const std::vector<PackReport>& packs, int copies, const LabelLayout& layout,
                   const QString& path, QString& error);
void PrintLabels(const std::vector<PackReport>& packs, int copies, const LabelLayout& layout,
                 QPrinter& printer);

// The dialogs: a preview of the page with its size, to save as PDF or
// print; and the labels' layout and copies likewise.
void ShowReportDialog(QWidget* parent, const PackReport& report);
void ShowLabelDialog(QWidget* parent, const std::vector<PackReport>& packs);

}  // namespace voltrex::results
