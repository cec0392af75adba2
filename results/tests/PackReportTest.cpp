// A pack's report and labels as PDF files, read back as a user's viewer
// reads them: poppler-utils' pdfinfo for the pages and their size,
// pdftotext for what they say.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "CurveTestData.h"
#include "results/PackReport.h"
#include "results/ResultsFolder.h"
#include "results/ResultsWindow.h"

using namespace voltrex::results;
using testing::CurvePlan;
using testing::RecordPlan;

namespace {

// What the PDF tools say of a file; empty when the tool is missing.
QString Tool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitCode() != 0) {
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

struct PdfFacts {
    int Pages = 0;
    double Width = 0.0;  // points
    double Height = 0.0;
    QString Text;  // its words, each run of blanks one space
};

PdfFacts Read(const QString& path) {
    PdfFacts facts;
    const QString info = Tool(QStringLiteral("pdfinfo"), {path});
    const QRegularExpressionMatch pages =
        QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(info);
    facts.Pages = pages.hasMatch() ? pages.captured(1).toInt() : 0;
    facts.Width = size.hasMatch() ? size.captured(1).toDouble() : 0.0;
    facts.Height = size.hasMatch() ? size.captured(2).toDouble() : 0.0;
    facts.Text = Tool(QStringLiteral("pdftotext"), {path, QStringLiteral("-")}).simplified();
    return facts;
}

RecordPlan Record(const std::string& time, const char* mode, double mah, int rated) {
    RecordPlan plan;
    plan.Time = time;
    plan.Mode = mode;
    plan.MilliampHours = mah;
    plan.Rated = rated;
    plan.Ohms = 0.2;
    return plan;
}

// A pack's tests in March 2026: on each day a charge of 2000 mAh at 08:00
// and a discharge of that many mAh; unless charged, no charges, the first
// discharge an Auto Cycle's (so that none started full). The last discharge
// has its curve file, ending at 10:10:00.
struct PackPlan {
    std::vector<double> Discharges;
    int Rated = 2000;
    bool Charged = true;
};

void WriteFolder(const QString& folder, const PackPlan& plan) {
    QDir(folder).mkpath(QStringLiteral("curves"));
    std::string text = testing::ResultsHeaderLine();
    for (std::size_t i = 0; i < plan.Discharges.size(); ++i) {
        const std::string day = "2026-03-" + std::to_string(10 + i);
        if (plan.Charged) {
            text +=
                testing::RecordLine(Record(day + " 08:00:00", "CHG", 2000.0, plan.Rated)) + "\n";
        }
        const bool last = i + 1 == plan.Discharges.size();
        RecordPlan discharge =
            Record(day + (last ? " 10:10:01" : " 12:00:00"), "DIS", plan.Discharges[i], plan.Rated);
        if (!plan.Charged && i == 0) {
            discharge.Cycle = 1;
            discharge.Of = 2;
        }
        text += testing::RecordLine(discharge) + "\n";
        if (last) {
            CurvePlan curve;
            curve.Start = day + " 10:00:00";
            curve.Rated = plan.Rated;
            curve.Seconds = 600;
            curve.Amperes = -1.5;
            QFile file(QDir(folder).filePath(
                QStringLiteral("curves/202603%1-100000-DIS.csv").arg(10 + static_cast<int>(i))));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::fromStdString(testing::CurveText(curve)));
        }
    }
    QFile results(QDir(folder).filePath(QStringLiteral("Voltrex2.csv")));
    QVERIFY(results.open(QIODevice::WriteOnly));
    results.write(QByteArray::fromStdString(text));
}

PackReport ReportOf(const QString& folderPath, const std::string& note) {
    ResultsFolder folder;
    folder.Open(folderPath.toStdString());
    const std::string id =
        folder.Grouping().Packs.empty() ? std::string() : folder.Grouping().Packs.front().Id;
    return PackReportOf(folder, id, note, {}, QDate(2026, 12, 9));
}

const char* const Words =
    "Bought at the flying field's swap meet in spring, used in the red glider and twice in "
    "the winch; one cell ran warm in July, watched since then, balanced by hand each autumn "
    "before the first long flight of the season, kept half charged in the cellar over the "
    "winter months and never left on the charger overnight. LASTWORDS";

}  // namespace

class PackReportTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty() ||
            QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
            QFAIL("pdfinfo and pdftotext are missing: ./voltrex.sh test installs poppler-utils");
        }
    }

    void aReportIsOnePageSayingWhatIsKnownAndWhatIsNot_data() {
        QTest::addColumn<QList<double>>("discharges");
        QTest::addColumn<int>("rated");
        QTest::addColumn<bool>("charged");
        QTest::addColumn<QString>("note");
        QTest::addColumn<QStringList>("said");
        QTest::addColumn<QStringList>("unsaid");
        const QStringList always{QStringLiteral("Printed 2026-12-09"),
                                 QStringLiteral("Last test 2026-03-12")};
        QTest::newRow("three discharges from full")
            << QList<double>{1710.0, 1690.0, 1700.0} << 2000 << true
            << QStringLiteral("Kept in the glider")
            << always + QStringList{QStringLiteral("NiMH, 7 cells, rated 2000 mAh"),
                                    QStringLiteral("85.0 % of its rated 2000 mAh"),
                                    QStringLiteral("1700.0 mAh now, best 1710.0 mAh"),
                                    QStringLiteral("0.2000 \u03A9 now"),
                                    QStringLiteral("not fading"),
                                    QStringLiteral("3 discharges, 3 of them from a full charge"),
                                    QStringLiteral("85.0 % of the charge put in came out"),
                                    QStringLiteral("mean of the latest 3 cycles"),
                                    QStringLiteral("Kept in the glider"),
                                    QStringLiteral("curve: 2026-03-12 10:10, 1700.0 mAh")}
            << QStringList{QStringLiteral("unknown"), QStringLiteral("No discharge of this")};
        QTest::newRow("at the threshold: not due")
            << QList<double>{1600.0, 1600.0, 1600.0} << 2000 << true << QString()
            << always + QStringList{QStringLiteral("80.0 % of its rated 2000 mAh"),
                                    QStringLiteral("Replace at 80 % not fading")}
            << QStringList{QStringLiteral("below the 80 %"), QStringLiteral("Note")};
        QTest::newRow("a tenth of a mAh below it: due now, never shown as 80.0 %")
            << QList<double>{1599.9, 1599.9, 1599.9} << 2000 << true << QString()
            << always + QStringList{QStringLiteral("79.9 % of its rated 2000 mAh: below the 80 % "
                                                   "it is replaced at"),
                                    QStringLiteral("now: 1599.9 mAh is below 1600 mAh")}
            << QStringList{QStringLiteral("80.0 % of its rated"), QStringLiteral("not fading")};
        QTest::newRow("fading 10 mAh a cycle")
            << QList<double>{2000.0, 1990.0, 1980.0, 1970.0, 1960.0, 1950.0,
                             1940.0, 1930.0, 1920.0, 1910.0, 1900.0, 1890.0}
            << 2000 << true << QString()
            << QStringList{QStringLiteral("Last test 2026-03-21"),
                           QStringLiteral("1900.0 mAh now, best 2000.0 mAh"),
                           QStringLiteral("-1000.0 mAh per 100 cycles (-1000.0 to -1000.0)"),
                           QStringLiteral("below 1600 mAh about April 2026, near cycle 41"),
                           QStringLiteral("12 discharges, 12 of them from a full charge"),
                           QStringLiteral("mean of the latest 10 cycles")}
            << QStringList{QStringLiteral("not fading"), QStringLiteral("unknown")};
        QTest::newRow("no rating")
            << QList<double>{1710.0, 1690.0, 1700.0} << 0 << true << QString()
            << always + QStringList{QStringLiteral("rated capacity not entered"),
                                    QStringLiteral("State of health unknown: its records name no "
                                                   "rated capacity"),
                                    QStringLiteral("Replace at 80 % unknown: its records name no "
                                                   "rated capacity"),
                                    QStringLiteral("1700.0 mAh now")}
            << QStringList{QStringLiteral("% of its rated")};
        QTest::newRow("no discharge from full")
            << QList<double>{1200.0, 1100.0} << 2000 << false << QString()
            << QStringList{QStringLiteral("Last test 2026-03-11"),
                           QStringLiteral("State of health unknown: no discharge from a full "
                                          "charge yet"),
                           QStringLiteral("Capacity unknown: no discharge from a full charge yet"),
                           QStringLiteral("2 discharges, 0 of them from a full charge"),
                           QStringLiteral("Charge efficiency unknown: no charge recorded"),
                           QStringLiteral("Internal resistance unknown: not measured")}
            << QStringList{QStringLiteral("mAh now")};
        QTest::newRow("a long note is cut, the page stays one")
            << QList<double>{1710.0, 1690.0, 1700.0} << 2000 << true
            << QString::fromLatin1(Words).repeated(6)
            << QStringList{QStringLiteral("Bought at the")}
            << QStringList{QStringLiteral("LASTWORDS Bought"), QStringLiteral("LASTWORDS Printed")};
    }

    void aReportIsOnePageSayingWhatIsKnownAndWhatIsNot() {
        QFETCH(QList<double>, discharges);
        QFETCH(int, rated);
        QFETCH(bool, charged);
        QFETCH(QString, note);
        QFETCH(QStringList, said);
        QFETCH(QStringList, unsaid);
        QTemporaryDir dir;
        PackPlan plan;
        plan.Discharges.assign(discharges.begin(), discharges.end());
        plan.Rated = rated;
        plan.Charged = charged;
        WriteFolder(dir.path(), plan);
        const PackReport report = ReportOf(dir.path(), note.toStdString());
        QVERIFY(report.LastCurve);

        const QString path = dir.filePath(QStringLiteral("report.pdf"));
        for (const QPageSize& page : {QPageSize(QPageSize::A4), QPageSize(QPageSize::Letter)}) {
            QString error;
            QVERIFY2(SaveReportPdf(report, page, path, error), qPrintable(error));
            const PdfFacts pdf = Read(path);
            QCOMPARE(pdf.Pages, 1);
            const QSizeF points = page.size(QPageSize::Point);
            QVERIFY(std::abs(pdf.Width - points.width()) <= 0.5);
            QVERIFY(std::abs(pdf.Height - points.height()) <= 0.5);
            for (const QString& text : said) {
                QVERIFY2(pdf.Text.contains(text), qPrintable(text + " not in: " + pdf.Text));
            }
            for (const QString& text : unsaid) {
                QVERIFY2(!pdf.Text.contains(text), qPrintable(text + " in: " + pdf.Text));
            }
        }
    }

    void labelsComeOutAtTheirSizeOnAsManyPagesAsTheyTake_data() {
        QTest::addColumn<int>("layout");
        QTest::addColumn<int>("packs");
        QTest::addColumn<int>("copies");
        QTest::addColumn<int>("pages");
        QTest::addColumn<double>("width");  // points: 72 to the inch
        QTest::addColumn<double>("height");
        const double label[] = {62.0 / 25.4 * 72.0, 29.0 / 25.4 * 72.0};
        const double a4[] = {210.0 / 25.4 * 72.0, 297.0 / 25.4 * 72.0};
        QTest::newRow("one label") << 0 << 1 << 1 << 1 << label[0] << label[1];
        QTest::newRow("three labels, three pages") << 0 << 1 << 3 << 3 << label[0] << label[1];
        QTest::newRow("a full sheet") << 1 << 1 << 24 << 1 << a4[0] << a4[1];
        QTest::newRow("one more, another sheet") << 1 << 1 << 25 << 2 << a4[0] << a4[1];
        QTest::newRow("two packs share a sheet") << 1 << 2 << 12 << 1 << a4[0] << a4[1];
    }

    void labelsComeOutAtTheirSizeOnAsManyPagesAsTheyTake() {
        QFETCH(int, layout);
        QFETCH(int, packs);
        QFETCH(int, copies);
        QFETCH(int, pages);
        QFETCH(double, width);
        QFETCH(double, height);
        QTemporaryDir dir;
        WriteFolder(dir.path(), PackPlan{{1710.0, 1690.0, 1700.0}});
        const std::vector<PackReport> reports(static_cast<std::size_t>(packs),
                                              ReportOf(dir.path(), std::string()));
        const QString path = dir.filePath(QStringLiteral("labels.pdf"));
        QString error;
        QVERIFY2(SaveLabelsPdf(reports, copies, LabelLayouts().at(layout), path, error),
                 qPrintable(error));
        const PdfFacts pdf = Read(path);
        QCOMPARE(pdf.Pages, pages);
        QVERIFY2(std::abs(pdf.Width - width) <= 0.5 && std::abs(pdf.Height - height) <= 0.5,
                 qPrintable(QStringLiteral("%1 x %2 pt").arg(pdf.Width).arg(pdf.Height)));
        // Every label says its pack's figures.
        for (const QString& figure :
             {QStringLiteral("1700 mAh, 85.0 % of 2000 mAh"), QStringLiteral("Ri 0.2000 \u03A9"),
              QStringLiteral("Tested 2026-03-12")}) {
            QVERIFY2(pdf.Text.count(figure) == packs * copies, qPrintable(figure));
        }
    }

    void theReportAndLabelAreOfferedForThePackOfTheCurrentRecord() {
        QTemporaryDir dir;
        WriteFolder(dir.path(), PackPlan{{1710.0, 1690.0, 1700.0}});
        ResultsWindow window;
        QAction* report = nullptr;
        QAction* label = nullptr;
        for (QAction* action : window.findChildren<QAction*>()) {
            report = action->text() == QStringLiteral("Pack &Report\u2026") ? action : report;
            label = action->text() == QStringLiteral("Pack &Label\u2026") ? action : label;
        }
        QVERIFY(report && label);
        QVERIFY(!report->isEnabled() && !label->isEnabled());  // no folder, no pack
        window.OpenFolder(dir.path());
        QVERIFY(window.WaitUntilLoaded());
        QVERIFY(report->isEnabled() && label->isEnabled());
    }

    void aPdfIsOnLetterWhereTheCountryUsesIt_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("page");
        QTest::newRow("United States") << "en_US" << static_cast<int>(QPageSize::Letter);
        QTest::newRow("Canada, in French") << "fr_CA" << static_cast<int>(QPageSize::Letter);
        QTest::newRow("Mexico") << "es_MX" << static_cast<int>(QPageSize::Letter);
        QTest::newRow("United Kingdom") << "en_GB" << static_cast<int>(QPageSize::A4);
        QTest::newRow("Germany") << "de_DE" << static_cast<int>(QPageSize::A4);
        QTest::newRow("no country") << "C" << static_cast<int>(QPageSize::A4);
    }

    void aPdfIsOnLetterWhereTheCountryUsesIt() {
        QFETCH(QString, locale);
        QFETCH(int, page);
        QCOMPARE(static_cast<int>(DefaultPageSize(QLocale(locale)).id()), page);
    }
};

QObject* NewPackReportTest() {
    return new PackReportTest;
}

#include "PackReportTest.moc"
