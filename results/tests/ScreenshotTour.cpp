// Takes the documentation's screenshots of the results window: opens a
// working folder (by default a generated example: a year of a NiMH pack's
// tests run by the procedures on the simulated charger, see ExampleData.h)
// and saves each view as a PNG file. Run it under a display, for example
//
//   xvfb-run -a -s "-screen 0 1280x800x24"
//       build/default/bin/voltrex2_results_screenshots docs/screenshots
//
// A second argument names a folder of the main program's files to show
// instead; when it holds no Voltrex2.csv, the example is written into it
// (to look at with voltrex2-results itself). The latest tested pack's report
// is saved as a picture too, and as a PDF with a sheet of its labels in a
// folder of /tmp the tour names. Not a test.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QValueAxis>
#include <clocale>
#include <cstdio>

#include "ExampleData.h"
#include "results/CurveChartView.h"
#include "results/PackReport.h"
#include "results/RecordsModel.h"
#include "results/ResultsFolder.h"
#include "results/ResultsMain.h"
#include "results/ResultsWindow.h"

using namespace voltrex::results;

namespace {

void Settle(int milliseconds) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

bool Save(QWidget& window, const QDir& output, const char* name) {
    Settle(300);
    const QString path = output.filePath(QString::fromLatin1(name));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// The discharges of the pack with the most of them: the Auto Cycle that
// formed it and the latest one, to see it wear.
std::vector<std::size_t> DischargesToShow(const ResultsWindow& window) {
    const Pack& pack = window.Grouping().Packs.front();
    std::vector<std::size_t> discharges;
    for (const std::size_t line : pack.Lines) {
        const voltrex::ResultLine& entry = window.Log().Lines[line];
        if (entry.Record.Mode == "DIS") {
            discharges.push_back(line);
        }
    }
    std::vector<std::size_t> shown;
    for (const std::size_t line : discharges) {
        if (window.Log().Lines[line].Record.Cycle != 0 || line == discharges.back()) {
            shown.push_back(line);
        }
    }
    return shown;
}

// The report of the latest tested pack, its page as a picture (A4 at
// 72 dots to the inch); beside the screenshots, the report and a sheet of
// its label and a sheet of labels as PDF files, to look at as printed (pdftoppm makes pictures
// of them).
bool SaveReport(const ResultsWindow& window, const QDir& output, const QDir& pdfs) {
    ResultsFolder folder;
    folder.Open(window.Model().Folder());
    if (folder.Grouping().Packs.empty()) {
        return true;
    }
    const PackReport report =
        PackReportOf(folder, folder.Grouping().Packs.front().Id,
                     "Bought in spring 2025; flies the red glider. Balanced by hand each autumn.");
    QString error;
    const QString pdf = pdfs.filePath(QStringLiteral("results-report.pdf"));
    const QString label = pdfs.filePath(QStringLiteral("results-label.pdf"));
    const QString sheet = pdfs.filePath(QStringLiteral("results-labels.pdf"));
    if (!SaveReportPdf(report, QPageSize(QPageSize::A4), pdf, error) ||
        !SaveLabelsPdf({report}, 1, LabelLayouts().front(), label, error) ||
        !SaveLabelsPdf({report}, 24, LabelLayouts().back(), sheet, error)) {
        std::fprintf(stderr, "cannot write the report: %s\n", qPrintable(error));
        return false;
    }
    std::printf("%s\n%s\n%s\n", qPrintable(pdf), qPrintable(label), qPrintable(sheet));
    constexpr double Dpi = 72.0;
    const QSizeF paper = QPageSize(QPageSize::A4).size(QPageSize::Millimeter) * Dpi / 25.4;
    QImage page(paper.toSize(), QImage::Format_RGB32);
    page.setDotsPerMeterX(static_cast<int>(Dpi / 0.0254));
    page.setDotsPerMeterY(static_cast<int>(Dpi / 0.0254));
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        painter.setRenderHint(QPainter::Antialiasing);
        const double margin = 15.0 * Dpi / 25.4;
        PaintReport(painter,
                    QRectF(QPointF(margin, margin), paper - QSizeF(2 * margin, 2 * margin)),
                    report);
    }
    const QString path = output.filePath(QStringLiteral("results-report.png"));
    if (!page.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

int Tour(ResultsWindow& window, const QDir& output) {
    bool saved = true;
    window.Tabs()->setCurrentIndex(ResultsWindow::RecordsTab);
    const std::vector<std::size_t> discharges = DischargesToShow(window);
    window.SelectLines(discharges);
    window.RecordsTable()->setFocus();
    saved = Save(window, output, "results-records.png") && saved;

    if (!window.Grouping().Packs.empty()) {
        window.ShowPackHistory(QString::fromStdString(window.Grouping().Packs.front().Id));
    }
    saved = Save(window, output, "results-capacity.png") && saved;

    window.ShowCurvesOfLines(discharges);
    CurveChartView* curves = window.Curves();
    // The chart reads its curves in a worker; give it the time it needs.
    for (int waited = 0; curves->Drawing() && waited < 10000; waited += 50) {
        Settle(50);
    }
    Settle(200);
    curves->setFocus();
    curves->SetCursorX(curves->XAxis()->min() +
                       (curves->XAxis()->max() - curves->XAxis()->min()) * 0.62);
    saved = Save(window, output, "results-curves.png") && saved;
    // Kept for a look: the tour names them.
    QTemporaryDir pdfs(QDir::temp().filePath(QStringLiteral("voltrex2-report-XXXXXX")));
    pdfs.setAutoRemove(false);
    saved = SaveReport(window, output, QDir(pdfs.path())) && saved;
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ConfigureResultsAppearance();
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr,
                     "usage: voltrex2_results_screenshots <output folder> [<data folder>]\n");
        return 2;
    }
    QDir output(QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath());
    if (!output.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 2;
    }
    // The example, in a scratch folder or in the folder named (where it is
    // kept for a look with the program itself), unless that folder holds a
    // results file already.
    QTemporaryDir scratch;
    const QString data = argc == 3 ? QString::fromLocal8Bit(argv[2]) : scratch.path();
    if (!QFileInfo::exists(QDir(data).filePath(QStringLiteral("Voltrex2.csv")))) {
        const std::string problem = testing::WriteExampleFolder(data.toStdString());
        if (!problem.empty()) {
            std::fprintf(stderr, "cannot write the example folder: %s\n", problem.c_str());
            return 2;
        }
    }
    ResultsWindow window;
    window.resize(1120, 720);
    window.OpenFolder(data);
    window.WaitUntilLoaded();
    window.show();
    int result = 1;
    QTimer::singleShot(500, &window, [&] {
        result = Tour(window, output);
        window.close();
        QCoreApplication::quit();
    });
    QCoreApplication::exec();
    return result;
}
