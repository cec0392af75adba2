// The results window on folders of files as the main program writes them,
// headless on the offscreen platform.

#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QXmlStreamReader>
#include <QtTest>
#include <clocale>
#include <limits>
#include <memory>

#include "CurveTestData.h"
#include "ExampleData.h"
#include "results/CapacityChart.h"
#include "results/CurveChartView.h"
#include "results/FolderWatcher.h"
#include "results/PacksModel.h"
#include "results/PacksPage.h"
#include "results/RecordsFilter.h"
#include "results/RecordsModel.h"
#include "results/ResultsMain.h"
#include "results/ResultsWindow.h"

using namespace voltrex::results;
using testing::CurvePlan;
using testing::RecordPlan;
using voltrex::CurveFile;
using voltrex::ResultsFile;

namespace {

QByteArray Bytes(const std::string& text) {
    return QByteArray::fromStdString(text);
}

// A working folder of the main program's files.
class Folder {
  public:
    Folder() { QDir(dir.path()).mkpath(QStringLiteral("curves")); }

    QString Path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    void Write(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    void Append(const QString& name, const QByteArray& bytes) const {
        QFile file(Path(name));
        QVERIFY(file.open(QIODevice::Append));
        file.write(bytes);
    }
    QByteArray Read(const QString& name) const {
        QFile file(Path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The results file with these lines after its header.
    void Results(const std::vector<std::string>& lines) const {
        std::string text = testing::ResultsHeaderLine();
        for (const std::string& line : lines) {
            text += line + "\n";
        }
        Write(QStringLiteral("Voltrex2.csv"), Bytes(text));
    }
    // A curve file and the record the program writes a second after its end.
    RecordPlan Test(const CurvePlan& plan, double milliampHours) const {
        const auto start = QDateTime::fromString(QString::fromStdString(plan.Start),
                                                 QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        Write(QStringLiteral("curves/%1-%2.csv")
                  .arg(start.toString(QStringLiteral("yyyyMMdd-HHmmss")),
                       QString::fromStdString(plan.Mode)),
              Bytes(testing::CurveText(plan)));
        RecordPlan record;
        record.Time = start.addSecs(plan.Seconds + 1)
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          .toStdString();
        record.Mode = plan.Mode;
        record.Type = plan.Type;
        record.Rated = plan.Rated;
        record.Cells = plan.Cells;
        record.MilliampHours = milliampHours;
        return record;
    }

    QTemporaryDir dir;
};

RecordPlan Record(const char* time, const char* mode, double mah, const char* type = "NiMH",
                  int rated = 2000, int cells = 7, double ohms = 0.1234) {
    RecordPlan plan;
    plan.Time = time;
    plan.Mode = mode;
    plan.MilliampHours = mah;
    plan.Type = type;
    plan.Rated = rated;
    plan.Cells = cells;
    plan.Ohms = ohms;
    return plan;
}

// The chart reads its curves in a worker: true once they are drawn and laid
// out (at the next turn of the event loop, as the user sees them).
bool Drawn(const CurveChartView* view) {
    const bool drawn = QTest::qWaitFor([view] { return !view->Drawing(); }, 5000);
    QCoreApplication::processEvents();
    return drawn;
}

QString Cell(const QAbstractItemModel* model, int row, int column) {
    return model->index(row, column).data().toString();
}

// Two discharges with their curves: 60 and 120 seconds, 1.5 A.
// Discharges of ten seconds a minute apart from 10:00, each starting
// voltsStep higher than the one before; their file names.
QStringList ShortCurves(const Folder& folder, int count, double voltsStep) {
    QStringList names;
    for (int i = 0; i < count; ++i) {
        CurvePlan plan;
        plan.Start =
            QString::asprintf("2026-12-08 %02d:%02d:00", 10 + i / 60, i % 60).toStdString();
        plan.Seconds = 10;
        plan.StartVolts += i * voltsStep;
        folder.Test(plan, 4.0);
        names << QString::asprintf("20261208-%02d%02d00-DIS.csv", 10 + i / 60, i % 60);
    }
    return names;
}

struct TwoCurves {
    explicit TwoCurves(const Folder& folder) {
        CurvePlan first;
        CurvePlan second;
        second.Start = "2026-12-09 10:00:00";
        second.Seconds = 120;
        second.StartVolts = 8.5;
        CurvePlan monitor;
        monitor.Mode = "MON";
        monitor.Start = "2026-12-10 10:00:00";
        monitor.Amperes = 0.0;
        monitor.End = "stopped by the user";
        folder.Test(monitor, 0.0);
        folder.Results({testing::RecordLine(folder.Test(first, 25.0)),
                        testing::RecordLine(folder.Test(second, 50.0))});
    }
};

}  // namespace

class ResultsWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        ConfigureResultsAppearance();
    }

    void aMalformedLineIsShownInItsPlaceAndTheFileIsNeverWritten() {
        Folder folder;
        const std::string broken = "\"2026-12-08 17:02:11\",\"CHG\",2,5,\"NiMH\",2000,7,10";
        folder.Results(
            {testing::RecordLine(Record("2026-12-08 14:16:04", "DIS", 1934.5)), broken,
             testing::RecordLine(Record("2026-12-09 09:00:00", "DIS", 2150.0, "LiPo", 2200, 3))});
        const QByteArray before = folder.Read(QStringLiteral("Voltrex2.csv"));
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.show();

        RecordsModel* model = window.Records();
        QCOMPARE(model->rowCount(), 3);
        QCOMPARE(Cell(model, 1, RecordsModel::DateColumn), QStringLiteral("Unreadable line 3"));
        QCOMPARE(Cell(model, 1, RecordsModel::ModeColumn), QString::fromStdString(broken));
        QVERIFY(!model->index(1, 0).data(RecordsModel::ReadableRole).toBool());
        QVERIFY(model->index(1, 4)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("8 fields instead of 12")));
        QCOMPARE(Cell(model, 0, RecordsModel::MilliampHoursColumn), QStringLiteral("1934.5"));

        // Newest first; the broken line between the records it came between,
        // its text across the row.
        QAbstractItemModel* shown = window.RecordsTable()->model();
        QCOMPARE(shown->rowCount(), 3);
        QCOMPARE(Cell(shown, 1, RecordsModel::DateColumn), QStringLiteral("Unreadable line 3"));
        QCOMPARE(window.RecordsTable()->columnSpan(1, RecordsModel::ModeColumn),
                 RecordsModel::ColumnCount - 1);
        QCOMPARE(window.RecordsTable()->columnSpan(0, RecordsModel::ModeColumn), 1);
        window.RecordsTable()->sortByColumn(RecordsModel::DateColumn, Qt::AscendingOrder);
        QCOMPARE(Cell(shown, 1, RecordsModel::DateColumn), QStringLiteral("Unreadable line 3"));
        QCOMPARE(window.RecordsTable()->columnSpan(1, RecordsModel::ModeColumn),
                 RecordsModel::ColumnCount - 1);
        QVERIFY(window.StatusText()->text().contains(QStringLiteral("1 unreadable line<")));

        // A pack or a mode chosen hides it, a text of its own finds it.
        window.RecordsPackBox()->setCurrentIndex(1);
        QCOMPARE(shown->rowCount(), 1);
        window.RecordsPackBox()->setCurrentIndex(0);
        window.ModeBox()->setCurrentIndex(1);
        QCOMPARE(shown->rowCount(), 2);
        QCOMPARE(window.ShownCount()->text(), QStringLiteral("2 of 3 shown"));
        window.ModeBox()->setCurrentIndex(0);
        window.FindEdit()->setText(QStringLiteral("17:02:11"));
        QCOMPARE(shown->rowCount(), 1);
        QCOMPARE(window.ShownCount()->text(), QStringLiteral("1 of 3 shown"));
        QVERIFY(!shown->index(0, 0).data(RecordsModel::ReadableRole).toBool());
        window.FindEdit()->setText(QStringLiteral("lipo"));
        QCOMPARE(shown->rowCount(), 1);
        QCOMPARE(Cell(shown, 0, RecordsModel::TypeColumn), QStringLiteral("LiPo"));

        // Nothing was written: neither the results nor a names file.
        window.close();
        QCOMPARE(folder.Read(QStringLiteral("Voltrex2.csv")), before);
        QVERIFY(!QFile::exists(folder.Path(QStringLiteral("Voltrex2Results.ini"))));
    }

    void aLineOfMegabytesIsShownByItsBeginningAndFoundAtOnce() {
        Folder folder;
        const std::string huge(20'000'000, 'x');
        folder.Results({testing::RecordLine(Record("2026-12-08 14:16:04", "DIS", 1934.5)), huge,
                        testing::RecordLine(Record("2026-12-09 09:00:00", "DIS", 2150.0))});
        ResultsWindow window;
        window.show();
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        QCOMPARE(window.Records()->rowCount(), 3);
        QCOMPARE(Cell(window.Records(), 1, RecordsModel::ModeColumn).size(),
                 static_cast<qsizetype>(voltrex::LongestResultLine));
        QVERIFY(window.Records()
                    ->index(1, 0)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .contains(QStringLiteral("20000000 bytes long")));
        QElapsedTimer timer;
        timer.start();
        window.FindEdit()->setText(QStringLiteral("xxx"));
        QCoreApplication::processEvents();
        QVERIFY2(timer.elapsed() < 100, qPrintable(QStringLiteral("%1 ms").arg(timer.elapsed())));
        QCOMPARE(window.ShownCount()->text(), QStringLiteral("1 of 3 shown"));
    }

    void aSpreadsheetsSaveIsOfferedToBeReadSoAndNeverWritten() {
        Folder folder;
        const QByteArray german =
            "Date/Time;Mode;Cycle;Of;Type;Rated;Cells;mA;mAh;mWh;Ohms;V/Cell\r\n"
            "08.12.2026 14:16;DIS;0;0;NiMH;2000;7;1500,0;1934,5;16012,3;0,1234;1,1825\r\n"
            "09.12.2026 09:00;DIS;0;0;NiMH;2000;7;1500,0;1899,0;16012,3;0,1234;1,1825\r\n";
        folder.Write(QStringLiteral("Voltrex2.csv"), german);
        ResultsWindow window;
        window.show();
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        QCOMPARE(window.Log().RecordCount(), 0);
        // Asked once, No the default: nothing changes.
        QVERIFY(window.FormatQuestion() != nullptr);
        QCOMPARE(window.FormatQuestion()->defaultButton(),
                 window.FormatQuestion()->button(QMessageBox::No));
        window.FormatQuestion()->button(QMessageBox::No)->click();
        QVERIFY(window.FormatQuestion() == nullptr);
        window.Reload();
        QVERIFY(window.WaitUntilLoaded());
        QVERIFY(window.FormatQuestion() == nullptr);
        QCOMPARE(window.Log().RecordCount(), 0);

        // Opened again, Yes: the records, for this window's session.
        ResultsWindow again;
        again.show();
        again.OpenFolder(folder.dir.path());
        QVERIFY(again.WaitUntilLoaded());
        QVERIFY(again.FormatQuestion() != nullptr);
        again.FormatQuestion()->button(QMessageBox::Yes)->click();
        QVERIFY(again.WaitUntilLoaded());
        QCOMPARE(again.Log().RecordCount(), 2);
        QCOMPARE(Cell(again.Records(), 0, RecordsModel::MilliampHoursColumn),
                 QStringLiteral("1934.5"));
        QVERIFY(again.StatusText()->text().contains(QStringLiteral("read as a spreadsheet")));
        again.Reload();
        QVERIFY(again.WaitUntilLoaded());
        QCOMPARE(again.Log().RecordCount(), 2);
        QCOMPARE(folder.Read(QStringLiteral("Voltrex2.csv")), german);
    }

    void thousandsOfRecordsOpenInWellUnderASecond() {
        Folder folder;
        std::vector<std::string> lines;
        const char* const types[] = {"NiMH", "LiPo", "NiCd"};
        QDateTime time(QDate(2020, 1, 1), QTime(8, 0, 0));
        for (int i = 0; i < 5000; ++i) {
            RecordPlan plan = Record("", i % 2 == 0 ? "DIS" : "CHG", 900.0 + (i * 7919) % 1200,
                                     types[i % 3], 1000 + 500 * (i % 3), 3 + i % 3);
            plan.Time = time.addSecs(i * 5400)
                            .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                            .toStdString();
            lines.push_back(testing::RecordLine(plan));
        }
        folder.Results(lines);

        ResultsWindow window;
        QElapsedTimer timer;
        timer.start();
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.show();
        QCoreApplication::processEvents();
        const qint64 elapsed = timer.elapsed();
        qInfo("5000 records: opened and shown in %lld ms", static_cast<long long>(elapsed));
        QVERIFY2(elapsed < 1000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));

        QCOMPARE(window.Records()->rowCount(), 5000);
        QCOMPARE(window.Grouping().Packs.size(), std::size_t{3});
        // Numbers sort as numbers: 900.0 before 1000.0.
        QAbstractItemModel* shown = window.RecordsTable()->model();
        window.RecordsTable()->sortByColumn(RecordsModel::MilliampHoursColumn, Qt::AscendingOrder);
        QCOMPARE(Cell(shown, 0, RecordsModel::MilliampHoursColumn), QStringLiteral("900.0"));
        QCOMPARE(Cell(shown, 4999, RecordsModel::MilliampHoursColumn), QStringLiteral("2099.0"));
        window.FindEdit()->setText(QStringLiteral("NiCd"));
        QCOMPARE(shown->rowCount(), 1666);
    }

    void packsAreGroupedAndTheUsersNamesKeptInTheWindowsOwnFile() {
        Folder folder;
        folder.Results({
            testing::RecordLine(Record("2026-01-10 10:00:00", "DIS", 1950.0)),
            testing::RecordLine(Record("2026-01-10 12:00:00", "CHG", 2300.0)),
            testing::RecordLine(Record("2026-02-10 10:00:00", "DIS", 2150.0, "LiPo", 2200, 3)),
            testing::RecordLine(Record("2026-03-10 10:00:00", "DIS", 1900.0)),
        });
        const QByteArray results = folder.Read(QStringLiteral("Voltrex2.csv"));
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        QCOMPARE(window.RecordsPackBox()->count(), 3);  // all, and the two packs
        QCOMPARE(window.RecordsPackBox()->itemText(1),
                 QString::fromUtf8("NiMH 2000 mAh \xC3\x97 7 (3 records)"));
        QCOMPARE(window.RecordsPackBox()->itemText(2),
                 QString::fromUtf8("LiPo 2200 mAh \xC3\x97 3 (1 record)"));
        QCOMPARE(window.CapacityPackBox()->count(), 2);

        // The NiMH group gets a name; the window showing it follows.
        window.CapacityPackBox()->setCurrentIndex(0);
        QString error;
        QVERIFY2(
            window.RenamePack(QStringLiteral("group:NiMH,2000,7"), QStringLiteral("Sender"), error),
            qPrintable(error));
        QCOMPARE(window.CapacityPackBox()->currentData().toString(), QStringLiteral("name:Sender"));
        QCOMPARE(window.Capacity()->chart()->title(), QStringLiteral("Sender"));
        QCOMPARE(Cell(window.Records(), 0, RecordsModel::PackColumn), QStringLiteral("Sender"));
        QCOMPARE(folder.Read(QStringLiteral("Voltrex2Results.ini")),
                 QByteArray("# Voltrex II Results: the names of packs. Written by "
                            "voltrex2-results;\n"
                            "# a group is cell type, rated mAh and cells, a record its time and "
                            "mode.\n[Groups]\nNiMH,2000,7 = Sender\n"));

        // The January charge and discharge were of a spare pack alike.
        QVERIFY(window.PutIntoPack({0, 1}, QStringLiteral("Spare"), error));
        QCOMPARE(window.Grouping().Packs.size(), std::size_t{3});
        QCOMPARE(Cell(window.Records(), 1, RecordsModel::PackColumn), QStringLiteral("Spare"));
        QCOMPARE(Cell(window.Records(), 3, RecordsModel::PackColumn), QStringLiteral("Sender"));

        // Another window on the folder reads the same packs; the results
        // file is as it was.
        ResultsWindow again;
        again.OpenFolder(folder.dir.path());
        QVERIFY(again.WaitUntilLoaded());
        QCOMPARE(again.Names(), window.Names());
        QCOMPARE(Cell(again.Records(), 1, RecordsModel::PackColumn), QStringLiteral("Spare"));
        QCOMPARE(folder.Read(QStringLiteral("Voltrex2.csv")), results);

        // Renaming the spare renames its records' pack; an empty name gives
        // them back to the default group, now called Sender.
        QVERIFY(window.RenamePack(QStringLiteral("name:Spare"), QStringLiteral("Spare 2"), error));
        QCOMPARE(Cell(window.Records(), 0, RecordsModel::PackColumn), QStringLiteral("Spare 2"));
        QVERIFY(window.RenamePack(QStringLiteral("name:Spare 2"), QString(), error));
        QCOMPARE(Cell(window.Records(), 0, RecordsModel::PackColumn), QStringLiteral("Sender"));
        QCOMPARE(window.Grouping().Packs.size(), std::size_t{2});
    }

    void thePacksSortByHealthAndAreMarkedAgainstTheirThreshold() {
        // Five packs of 2000 mAh, told apart by their cells, each charged and
        // discharged three times a month apart; the fifth fades steadily.
        Folder folder;
        std::vector<std::string> lines;
        const auto cycle = [&](int cells, int month, double mah) {
            const std::string day = QString::asprintf("2026-%02d-%02d", month, cells).toStdString();
            lines.push_back(testing::RecordLine(
                Record((day + " 08:00:00").c_str(), "CHG", 2200.0, "NiMH", 2000, cells, 0.0)));
            lines.push_back(testing::RecordLine(Record((day + " 12:00:00").c_str(), "DIS", mah,
                                                       "NiMH", 2000, cells, 0.02 * cells)));
        };
        const double now[] = {1598.0, 1600.0, 1698.0, 1700.0};
        for (int month = 1; month <= 6; ++month) {
            for (int cells = 1; cells <= 4; ++cells) {
                if (month <= 3) {
                    cycle(cells, month, now[cells - 1]);
                }
            }
            cycle(5, month, 2020.0 - 30.0 * month);
        }
        folder.Results(lines);
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.Tabs()->setCurrentIndex(ResultsWindow::PacksTab);
        PacksPage* page = window.Packs();
        const QAbstractItemModel* sorted = page->Sorted();
        const auto cellsOf = [&](int row) {
            return sorted->index(row, PacksModel::CellsColumn).data().toInt();
        };
        const auto band = [&](int row) {
            return static_cast<HealthBand>(
                sorted->index(row, 0).data(PacksModel::BandRole).toInt());
        };
        // Ascending health: the packs to retire first.
        QCOMPARE(sorted->rowCount(), 5);
        const struct {
            int cells;
            const char* health;
            HealthBand band;
            const char* replace;
        } expected[] = {{1, "79.9 %", HealthBand::Replace, "replace now"},
                        {2, "80.0 %", HealthBand::Near, "not fading"},
                        {3, "84.9 %", HealthBand::Near, "not fading"},
                        {4, "85.0 %", HealthBand::Good, "not fading"},
                        {5, "93.5 %", HealthBand::Good, nullptr}};
        for (int row = 0; row < 5; ++row) {
            QCOMPARE(cellsOf(row), expected[row].cells);
            QCOMPARE(Cell(sorted, row, PacksModel::HealthColumn),
                     QString::fromLatin1(expected[row].health));
            QCOMPARE(band(row), expected[row].band);
            if (expected[row].replace != nullptr) {
                QCOMPARE(Cell(sorted, row, PacksModel::ReplacementColumn),
                         QString::fromLatin1(expected[row].replace));
            }
        }
        const auto colour = [&](int row) {
            return sorted->index(row, PacksModel::HealthColumn)
                .data(Qt::BackgroundRole)
                .value<QBrush>()
                .color();
        };
        QVERIFY(colour(0) != colour(1));
        QCOMPARE(colour(1), colour(2));
        QVERIFY(colour(2) != colour(3));
        // The fading pack: 30 mAh a month of 2000, projected to its threshold.
        QVERIFY2(
            Cell(sorted, 4, PacksModel::PerMonthColumn).startsWith(QString::fromUtf8("\u22121.5")),
            qPrintable(Cell(sorted, 4, PacksModel::PerMonthColumn)));
        QVERIFY(Cell(sorted, 4, PacksModel::ReplacementColumn).contains(QStringLiteral("2027")));
        QCOMPARE(Cell(sorted, 4, PacksModel::CyclesColumn), QStringLiteral("6"));
        // Each discharge against its 2200 mAh charge: 1990 ... 1840 mAh.
        QCOMPARE(Cell(sorted, 4, PacksModel::EfficiencyColumn), QStringLiteral("87.0 %"));
        QCOMPARE(Cell(sorted, 0, PacksModel::EfficiencyColumn), QStringLiteral("72.6 %"));
        // Numbers sort as numbers, dates as dates.
        page->Table()->sortByColumn(PacksModel::OhmsColumn, Qt::DescendingOrder);
        QCOMPARE(cellsOf(0), 5);
        page->Table()->sortByColumn(PacksModel::LastTestColumn, Qt::DescendingOrder);
        QCOMPARE(cellsOf(0), 5);
        QCOMPARE(cellsOf(1), 4);
        // Due now first, then by the projected date, then the packs that do
        // not fade.
        page->Table()->sortByColumn(PacksModel::ReplacementColumn, Qt::AscendingOrder);
        QCOMPARE(cellsOf(0), 1);
        QCOMPARE(cellsOf(1), 5);

        // The owner replaces the 3-cell pack at 85 %: it is due now; an
        // empty threshold is the default again.
        QString error;
        page->Table()->sortByColumn(PacksModel::HealthColumn, Qt::AscendingOrder);
        QVERIFY(!page->Sorted()->setData(sorted->index(3, PacksModel::ReplaceAtColumn), 0.99));
        QVERIFY(page->Sorted()->setData(sorted->index(3, PacksModel::ReplaceAtColumn), 90.0));
        QCOMPARE(band(3), HealthBand::Replace);
        QVERIFY(page->Sorted()->setData(sorted->index(3, PacksModel::ReplaceAtColumn), QString()));
        QCOMPARE(band(3), HealthBand::Good);
        QVERIFY(!window.Names().ReplaceAt("group:NiMH,2000,4"));
        QVERIFY(!page->Sorted()->setData(sorted->index(2, PacksModel::ReplaceAtColumn), 100.1));
        QVERIFY(page->Sorted()->setData(sorted->index(2, PacksModel::ReplaceAtColumn), 85.0));
        QCOMPARE(cellsOf(2), 3);
        QCOMPARE(band(2), HealthBand::Replace);
        QCOMPARE(Cell(sorted, 2, PacksModel::ReplaceAtColumn), QStringLiteral("85 %"));
        // At 75 %, 80.0 % is 5 points above it: no longer close.
        QVERIFY(page->Sorted()->setData(sorted->index(1, PacksModel::ReplaceAtColumn), 75.0));
        QCOMPARE(cellsOf(1), 2);
        QCOMPARE(band(1), HealthBand::Good);
        // Notes of a pack (of two lines) and of a record.
        QVERIFY(page->Sorted()->setData(sorted->index(0, PacksModel::NoteColumn),
                                        QString::fromUtf8("cell 3 weak \u21B5 retire=yes")));
        QCOMPARE(window.Names().PackNote("group:NiMH,2000,1"), "cell 3 weak\nretire=yes");
        QVERIFY(
            !(window.Filter()->index(0, RecordsModel::PackColumn).flags() & Qt::ItemIsEditable));
        QVERIFY(window.Filter()->index(0, RecordsModel::NoteColumn).flags() & Qt::ItemIsEditable);
        QVERIFY(!window.SetRecordNote(window.Log().Lines.size(), QStringLiteral("x"), error));
        QVERIFY(window.Filter()->setData(window.Filter()->index(0, RecordsModel::NoteColumn),
                                         QStringLiteral("left in the car")));
        const std::string latest = window.Log().Lines.back().Record.Id();
        QCOMPARE(window.Names().RecordNote(latest), "left in the car");
        QCOMPARE(Cell(window.Filter(), 0, RecordsModel::NoteColumn),
                 QStringLiteral("left in the car"));

        // The matching sets, of the packs to keep: 1698 and 1598 mAh are
        // below their thresholds now, so within 3 % of the rating no set;
        // within 5 % (100 mAh exactly) 1700 and 1600 mAh.
        const auto sets = [&] {
            QStringList text;
            for (int i = 0; i < page->Sets()->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* set = page->Sets()->topLevelItem(i);
                QStringList members;
                for (int j = 0; j < set->childCount(); ++j) {
                    members << set->child(j)->text(1);
                }
                text << members.join(QLatin1Char(','));
            }
            return text.join(QLatin1Char(' '));
        };
        page->CapacityLimit()->setValue(3.0);
        QCOMPARE(sets(), QString());
        page->CapacityLimit()->setValue(5.0);
        QCOMPARE(sets(), QStringLiteral("1700 mAh,1600 mAh"));
        page->CapacityLimit()->setValue(4.9);
        QCOMPARE(sets(), QString());
        page->CapacityLimit()->setValue(5.0);

        // The owner retires the 2-cell pack: out of the table, the count and
        // the sets, back (greyed) when retired packs are shown.
        page->SetCurrentPack(QStringLiteral("group:NiMH,2000,2"));
        QCOMPARE(page->RetireButton()->text(), QStringLiteral("&Retire"));
        page->RetireButton()->click();
        QCOMPARE(sorted->rowCount(), 4);
        QCOMPARE(sets(), QString());
        QCOMPARE(page->Summary()->text(),
                 QStringLiteral("4 packs in use: 2 below the threshold, 0 close above it; "
                                "1 retired."));
        page->ShowRetired()->setChecked(true);
        QCOMPARE(sorted->rowCount(), 5);
        page->SetCurrentPack(QStringLiteral("group:NiMH,2000,2"));
        QCOMPARE(page->RetireButton()->text(), QStringLiteral("Back in &Use"));
        const int retiredRow = page->Table()->currentIndex().row();
        QCOMPARE(Cell(sorted, retiredRow, PacksModel::ReplacementColumn),
                 QStringLiteral("retired"));
        QCOMPARE(static_cast<HealthBand>(
                     sorted->index(retiredRow, 0).data(PacksModel::BandRole).toInt()),
                 HealthBand::Unknown);
        page->ShowRetired()->setChecked(false);

        // All of it kept in the window's own file, read by another window.
        const QByteArray file = folder.Read(QStringLiteral("Voltrex2Results.ini"));
        QVERIFY2(file.contains("[ReplaceAt]\ngroup:NiMH,2000,2 = 75\ngroup:NiMH,2000,3 = 85\n"
                               "[PackNotes]\ngroup:NiMH,2000,1 = cell 3 weak\\nretire=yes\n"
                               "[RecordNotes]\n"),
                 file.constData());
        QVERIFY2(file.endsWith("[Retired]\ngroup:NiMH,2000,2 = yes\n"), file.constData());
        ResultsWindow again;
        again.OpenFolder(folder.dir.path());
        QVERIFY(again.WaitUntilLoaded());
        const QAbstractItemModel* reread = again.Packs()->Sorted();
        QCOMPARE(reread->rowCount(), 4);
        QCOMPARE(static_cast<HealthBand>(reread->index(1, 0).data(PacksModel::BandRole).toInt()),
                 HealthBand::Replace);
        QCOMPARE(Cell(reread, 0, PacksModel::NoteColumn),
                 QString::fromUtf8("cell 3 weak \u21B5 retire=yes"));
        QCOMPARE(Cell(again.Filter(), 0, RecordsModel::NoteColumn),
                 QStringLiteral("left in the car"));

        // The fading pack's history: its threshold, the trend, and the
        // projection reaching the threshold within the chart.
        again.ShowPackHistory(QStringLiteral("group:NiMH,2000,5"));
        const CapacityChart* chart = again.Capacity();
        QCOMPARE(chart->ThresholdSeries()->count(), 2);
        QCOMPARE(chart->ThresholdSeries()->at(0).y(), 1600.0);
        QCOMPARE(chart->FitSeries()->count(), 2);
        QCOMPARE(chart->ProjectionSeries()->count(), 2);
        const QPointF due = chart->ProjectionSeries()->at(1);
        QVERIFY2(std::fabs(due.y() - 1600.0) < 0.5, qPrintable(QString::number(due.y())));
        QVERIFY(due.x() <= static_cast<double>(chart->TimeAxis()->max().toMSecsSinceEpoch()));
        QVERIFY(chart->CapacityAxis()->min() <= 1600.0);
        QVERIFY(chart->IntervalSeries()->isVisible());
        QVERIFY2(again.CapacitySummary()->text().contains(QStringLiteral(
                     "State of health 93.5 % (replaced below 80 %): reaches it about")),
                 qPrintable(again.CapacitySummary()->text()));
        // A pack that does not fade has no projection; one below its
        // threshold neither, and says so.
        again.ShowPackHistory(QStringLiteral("group:NiMH,2000,4"));
        QCOMPARE(chart->ProjectionSeries()->count(), 0);
        QCOMPARE(chart->ThresholdSeries()->at(0).y(), 1600.0);
        QVERIFY(!chart->IntervalSeries()->isVisible());
        QVERIFY(again.CapacitySummary()->text().endsWith(QStringLiteral("not fading.")));
        again.ShowPackHistory(QStringLiteral("group:NiMH,2000,3"));
        QCOMPARE(chart->ThresholdSeries()->at(0).y(), 1700.0);
        QCOMPARE(chart->FitSeries()->count(), 2);
        QCOMPARE(chart->ProjectionSeries()->count(), 0);
        QVERIFY(again.CapacitySummary()->text().contains(
            QStringLiteral("State of health 84.9 % (replaced below 85 %): replace it now.")));
    }

    void aTrendReadsAsAShareOfTheRatingWithItsUncertainty() {
        const double infinity = std::numeric_limits<double>::infinity();
        const struct {
            Rate rate;
            int rated;
            const char* text;
        } cases[] = {
            {{-24.0, -32.0, -16.0}, 2000, "\u22121.2 \u00B1 0.4 %/month"},
            {{24.0, 16.0, 32.0}, 2000, "+1.2 \u00B1 0.4 %/month"},
            {{-0.9, -3.0, 1.0}, 2000, "0.0 \u00B1 0.1 %/month"},
            {{-24.0, -infinity, 1.0}, 2000, "\u22121.2 %/month"},
            {{-24.0, -32.0, infinity}, 2000, "\u22121.2 %/month"},
            {{-24.0, -32.0, -16.0}, 0, ""},
        };
        for (const auto& c : cases) {
            QCOMPARE(PacksModel::RateText(c.rate, c.rated, "month"), QString::fromUtf8(c.text));
        }
    }

    void aNamesFileThatCannotBeWrittenIsReportedAndChangesNothing() {
        Folder folder;
        folder.Results({testing::RecordLine(Record("2026-01-10 10:00:00", "DIS", 1950.0))});
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        // A folder where the names file would go.
        QVERIFY(QDir(folder.dir.path()).mkdir(QStringLiteral("Voltrex2Results.ini")));
        QString error;
        QVERIFY(!window.RenamePack(QStringLiteral("group:NiMH,2000,7"), QStringLiteral("Sender"),
                                   error));
        QVERIFY2(error.endsWith(QStringLiteral("Voltrex2Results.ini: Is a directory.")),
                 qPrintable(error));
        QVERIFY(window.Names().Empty());
        QCOMPARE(window.CapacityPackBox()->currentData().toString(),
                 QStringLiteral("group:NiMH,2000,7"));
        window.Reload();
        QVERIFY(window.WaitUntilLoaded());
        QCOMPARE(window.CapacityPackBox()->currentData().toString(),
                 QStringLiteral("group:NiMH,2000,7"));
        QCOMPARE(Cell(window.Records(), 0, RecordsModel::PackColumn),
                 QString::fromUtf8("NiMH 2000 mAh \xC3\x97 7"));
    }

    void theCapacityHistoryHoldsThePacksDischargesOverCalendarTime() {
        Folder folder;
        std::vector<std::string> records = {
            testing::RecordLine(
                Record("2026-01-10 10:00:00", "DIS", 1950.0, "NiMH", 2000, 7, 0.19)),
            testing::RecordLine(Record("2026-01-10 12:00:00", "CHG", 2300.0)),
            testing::RecordLine(Record("2026-02-10 10:00:00", "DIS", 2150.0, "LiPo", 2200, 3)),
            testing::RecordLine(Record("2026-03-09 21:00:00", "CHG", 2250.0)),
            testing::RecordLine(
                Record("2026-03-10 10:30:15", "DIS", 1900.0, "NiMH", 2000, 7, 0.21)),
            testing::RecordLine(Record("2026-05-31 20:00:00", "CHG", 2200.0)),
            testing::RecordLine(
                Record("2026-06-01 08:00:00", "DIS", 1850.0, "NiMH", 2000, 7, 0.24)),
        };
        folder.Results(records);
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.ShowPackHistory(QStringLiteral("group:NiMH,2000,7"));
        QCOMPARE(window.Tabs()->currentIndex(), int(ResultsWindow::CapacityTab));
        CapacityChart* chart = window.Capacity();

        const QList<QPointF> capacity = chart->CapacitySeries()->points();
        QCOMPARE(capacity.size(), 3);  // the charge and the LiPo pack left out
        const double times[] = {
            double(QDateTime(QDate(2026, 1, 10), QTime(10, 0, 0)).toMSecsSinceEpoch()),
            double(QDateTime(QDate(2026, 3, 10), QTime(10, 30, 15)).toMSecsSinceEpoch()),
            double(QDateTime(QDate(2026, 6, 1), QTime(8, 0, 0)).toMSecsSinceEpoch())};
        const double charges[] = {1950.0, 1900.0, 1850.0};
        const double ohms[] = {0.19, 0.21, 0.24};
        const QList<QPointF> resistance = chart->ResistanceSeries()->points();
        QCOMPARE(resistance.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(capacity[i].x(), times[i]);
            QCOMPARE(capacity[i].y(), charges[i]);
            QCOMPARE(resistance[i].x(), times[i]);
            QCOMPARE(resistance[i].y(), ohms[i]);
        }
        // The resistance on its own axis; the rated capacity a line across.
        QVERIFY(chart->ResistanceSeries()->attachedAxes().contains(chart->ResistanceAxis()));
        QVERIFY(!chart->CapacitySeries()->attachedAxes().contains(chart->ResistanceAxis()));
        const QList<QPointF> rated = chart->RatedSeries()->points();
        QVERIFY(!rated.isEmpty());
        for (const QPointF& point : rated) {
            QCOMPARE(point.y(), 2000.0);
        }
        QCOMPARE(rated.front().x(), double(chart->TimeAxis()->min().toMSecsSinceEpoch()));
        QCOMPARE(rated.back().x(), double(chart->TimeAxis()->max().toMSecsSinceEpoch()));
        QVERIFY(chart->TimeAxis()->min().toMSecsSinceEpoch() < times[0]);
        QVERIFY(chart->TimeAxis()->max().toMSecsSinceEpoch() > times[2]);
        QCOMPARE(chart->RatedSeries()->name(), QStringLiteral("Rated 2000 mAh"));
        QVERIFY(window.CapacitySummary()->text().contains(
            QStringLiteral("Latest 1850.0 mAh (92.5 % of the rated 2000 mAh)")));
        QVERIFY(chart->Describe(1).contains(QStringLiteral("1900.0 mAh (95.0 % of 2000 mAh)")));

        // A discharge four weeks after its charge measured the shelf as much
        // as the pack: below the axis fitted to the others, and said so.
        records.push_back(testing::RecordLine(Record("2026-06-02 08:00:00", "CHG", 2200.0)));
        records.push_back(testing::RecordLine(Record("2026-06-30 12:00:00", "DIS", 1000.0)));
        folder.Results(records);
        window.Reload();
        QVERIFY(window.WaitUntilLoaded());
        const QString summary = window.CapacitySummary()->text();
        QVERIFY2(summary.startsWith(QStringLiteral("4 discharges (3 from full) from")) &&
                     summary.endsWith(QStringLiteral(" 1 discharge not from full lies beyond the "
                                                     "axis: Start the axis at 0 shows them.")),
                 qPrintable(summary));
        QVERIFY2(chart->Describe(3).contains(QStringLiteral("Its charge was 28 days old")),
                 qPrintable(chart->Describe(3)));
        window.CapacityFromZero()->setChecked(true);
        QVERIFY(!window.CapacitySummary()->text().contains(QStringLiteral("beyond the axis")));
        window.CapacityFromZero()->setChecked(false);

        // A pack without discharges says so.
        folder.Results({testing::RecordLine(Record("2026-01-10 12:00:00", "CHG", 2300.0))});
        window.Reload();
        QVERIFY(window.WaitUntilLoaded());
        QCOMPARE(chart->CapacitySeries()->count(), 0);
        QVERIFY(chart->chart()->title().endsWith(QStringLiteral("no discharge yet")));
    }

    void twoCurvesAreOverlaidAgainstTimeAndAgainstCharge() {
        Folder folder;
        TwoCurves data(folder);
        ResultsWindow window;
        window.resize(1100, 700);
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.show();
        QCOMPARE(window.CurveFiles().size(), std::size_t{3});
        QCOMPARE(window.CurveList()->topLevelItemCount(), 3);
        // Each record found its curve.
        QCOMPARE(window.CurveOfLine()[0], std::optional<std::size_t>(0));
        QCOMPARE(window.CurveOfLine()[1], std::optional<std::size_t>(1));
        QCOMPARE(Cell(window.Records(), 1, RecordsModel::CurveColumn),
                 QStringLiteral("20261209-100000-DIS.csv"));

        window.ShowCurvesOfLines({0, 1});
        QCOMPARE(window.Tabs()->currentIndex(), int(ResultsWindow::CurvesTab));
        QCOMPARE(window.CheckedCurves(), QStringList({QStringLiteral("20261208-141503-DIS.csv"),
                                                      QStringLiteral("20261209-100000-DIS.csv")}));
        CurveChartView* view = window.Curves();
        QVERIFY(Drawn(view));
        QCOMPARE(view->Series().size(), std::size_t{2});
        QCOMPARE(view->chart()->series().size(), 2);
        QCOMPARE(view->Series()[0]->count(), 61);
        QCOMPARE(view->Series()[1]->count(), 121);
        // The legend names the pack of each.
        QCOMPARE(view->Series()[0]->name(),
                 QString::fromUtf8("2026-12-08 14:15 DIS<br>NiMH 2000 mAh \xC3\x97 7"));
        QVERIFY(view->Series()[0]->pen().color() != view->Series()[1]->pen().color());
        // Against time, in minutes.
        QCOMPARE(view->Series()[1]->at(120), QPointF(2.0, 8.38));
        QCOMPARE(view->Series()[0]->at(30), QPointF(0.5, 8.37));
        QCOMPARE(view->XAxis()->max(), 2.0);

        // The cursor reads every curve at its place.
        view->SetCursorX(1.0);
        QString readout = window.Readout()->text();
        QVERIFY2(readout.contains(QStringLiteral("Cursor at 0:01:00")), qPrintable(readout));
        QVERIFY2(readout.contains(QString::fromUtf8("14:15 DIS, NiMH 2000 mAh \xC3\x97 7: 0:01:00, "
                                                    "8.340 V, 25.0 mAh")),
                 qPrintable(readout));
        QVERIFY2(readout.contains(QString::fromUtf8("10:00 DIS, NiMH 2000 mAh \xC3\x97 7: 0:01:00, "
                                                    "8.440 V, 25.0 mAh")),
                 qPrintable(readout));
        view->SetCursorX(1.5);
        readout = window.Readout()->text();
        QVERIFY2(readout.contains(QStringLiteral("0:01:00, 8.340 V, 25.0 mAh (its end)")),
                 qPrintable(readout));
        QVERIFY(readout.contains(QStringLiteral("0:01:30, 8.410 V, 37.5 mAh")));
        // The keyboard moves it by a hundredth of the axis.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Right);
        QCOMPARE(*view->CursorX(), 1.52);
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(*view->CursorX(), 0.0);

        // Against the charge moved, in mAh; the Monitor is left out there.
        window.SetCheckedCurves(window.CheckedCurves()
                                << QStringLiteral("20261210-100000-MON.csv"));
        QVERIFY(Drawn(view));
        QCOMPARE(view->Series().size(), std::size_t{3});
        window.AgainstCharge()->setChecked(true);
        QVERIFY(Drawn(view));
        QCOMPARE(view->Axis(), CurveAxis::Charge);
        QCOMPARE(view->Series().size(), std::size_t{2});
        QCOMPARE(view->Series()[0]->count(), 61);
        QCOMPARE(view->Series()[1]->count(), 121);
        QCOMPARE(view->Series()[0]->at(60), QPointF(25.0, 8.34));
        QCOMPARE(view->Series()[1]->at(120), QPointF(50.0, 8.38));
        QCOMPARE(view->XAxis()->titleText(), QStringLiteral("Charge moved (mAh)"));
        view->SetCursorX(12.5);
        readout = window.Readout()->text();
        QVERIFY(readout.contains(QStringLiteral("1 Monitor curve moved no charge")));
        QVERIFY2(readout.contains(QString::fromUtf8("14:15 DIS, NiMH 2000 mAh \xC3\x97 7: 0:00:30, "
                                                    "8.370 V, 12.5 mAh")),
                 qPrintable(readout));
    }

    void pointingAtADischargeNamesItAndClickingShowsItsCurve() {
        // Two discharges, each after a charge: both measure the pack.
        Folder folder;
        CurvePlan second;
        second.Start = "2026-12-09 10:00:00";
        second.Seconds = 120;
        second.StartVolts = 8.5;
        RecordPlan charge;
        charge.Time = "2026-12-08 20:00:00";
        charge.Mode = "CHG";
        folder.Results({testing::RecordLine(folder.Test(CurvePlan{}, 25.0)),
                        testing::RecordLine(charge),
                        testing::RecordLine(folder.Test(second, 50.0))});
        ResultsWindow window;
        window.resize(1000, 700);
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.show();
        window.ShowPackHistory(QStringLiteral("group:NiMH,2000,7"));
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        CapacityChart* chart = window.Capacity();
        QCOMPARE(chart->CapacitySeries()->count(), 2);
        const QPoint mark =
            chart->mapFromScene(chart->chart()->mapToScene(chart->chart()->mapToPosition(
                chart->CapacitySeries()->at(1), chart->CapacitySeries())));
        QCOMPARE(chart->PointAt(mark + QPoint(3, -3)), std::optional<std::size_t>(1));
        QCOMPARE(chart->PointAt(mark + QPoint(12, 0)), std::nullopt);
        QVERIFY(chart->Describe(1).contains(QStringLiteral("50.0 mAh (2.5 % of 2000 mAh)")));
        QTest::mouseClick(chart->viewport(), Qt::LeftButton, {}, mark);
        QCOMPARE(window.Tabs()->currentIndex(), int(ResultsWindow::CurvesTab));
        QCOMPARE(window.CheckedCurves(), QStringList{QStringLiteral("20261209-100000-DIS.csv")});
    }

    void aLongCurveIsDrawnWithFewerPointsAndReadWithAll() {
        Folder folder;
        CurvePlan charge;
        charge.Mode = "CHG";
        charge.Amperes = 1.0;
        charge.Seconds = 5 * 3600;  // hours on the axis
        charge.VoltsPerSecond = 0.00001;
        folder.Results({testing::RecordLine(folder.Test(charge, 5000.0))});
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.resize(1000, 700);
        window.show();
        window.ShowCurvesOfLines({0});
        CurveChartView* view = window.Curves();
        QVERIFY(Drawn(view));
        QCOMPARE(view->SecondsPerUnit(), 3600.0);
        QCOMPARE(view->XAxis()->titleText(), QStringLiteral("Time (h)"));
        // The lowest and highest of each column of pixels (and the row after).
        const int columns = int(view->chart()->plotArea().width());
        QVERIFY2(view->Series()[0]->count() <= 2 * columns + 1,
                 qPrintable(QString::number(view->Series()[0]->count())));
        QVERIFY(view->Series()[0]->count() >= columns / 2);
        QCOMPARE(view->Series()[0]->points().back(), QPointF(5.0, 8.4 + 0.18));
        view->SetCursorX(1.0 + 1.0 / 3600.0);  // 1:00:01, a row no point shows
        QVERIFY(window.Readout()->text().contains(QStringLiteral("1:00:01, 8.436 V")));

        // Zoomed to an hour and a half, read again: every second of it.
        view->ZoomTo(1.0, 2.5, 8.0, 9.0);
        QTRY_VERIFY_WITH_TIMEOUT(view->Series()[0]->count() > 5401, 5000);
        int inSpan = 0;
        for (const QPointF& point : view->Series()[0]->points()) {
            inSpan += point.x() >= 1.0 && point.x() <= 2.5 ? 1 : 0;
        }
        QCOMPARE(inSpan, 5401);
        // Back, by the right button: the whole curve's view.
        QVERIFY(view->CanUndoZoom());
        QTest::mouseClick(view->viewport(), Qt::RightButton, {}, QPoint(200, 200));
        QCOMPARE(view->XAxis()->min(), 0.0);
        QCOMPARE(view->XAxis()->max(), 5.0);
        QVERIFY(!view->CanUndoZoom());
    }

    void chartsAndCurvesAreExportedReadably() {
        Folder folder;
        TwoCurves data(folder);
        ResultsWindow window;
        window.resize(1000, 700);
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.show();
        window.ShowCurvesOfLines({0, 1});
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(Drawn(window.Curves()));
        QString error;

        const QString png = folder.Path(QStringLiteral("curves.png"));
        QVERIFY2(window.ExportChartPng(png, error), qPrintable(error));
        QImage image(png);
        QVERIFY(!image.isNull());
        const QSize expected =
            window.Curves()->viewport()->size() * window.Curves()->devicePixelRatio();
        QCOMPARE(image.size(), expected);
        QVERIFY(image.width() > 300 && image.height() > 200);
        // Drawn, not blank: the curves' colours are in it.
        const QRgb first = window.Curves()->Series()[0]->pen().color().rgb();
        bool found = false;
        for (int y = 0; y < image.height() && !found; ++y) {
            for (int x = 0; x < image.width() && !found; ++x) {
                found = image.pixel(x, y) == first;
            }
        }
        QVERIFY(found);

        const QString svg = folder.Path(QStringLiteral("curves.svg"));
        QVERIFY2(window.ExportChartSvg(svg, error), qPrintable(error));
        QFile svgFile(svg);
        QVERIFY(svgFile.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svgFile);
        QString root;
        QString title;
        QStringList texts;
        int polylines = 0;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement) {
                continue;
            }
            if (root.isEmpty()) {
                root = xml.name().toString();
            } else if (xml.name() == QStringLiteral("title")) {
                title = xml.readElementText();
            } else if (xml.name() == QStringLiteral("text")) {
                texts << xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            } else if (xml.name() == QStringLiteral("polyline")) {
                ++polylines;
            }
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QCOMPARE(root, QStringLiteral("svg"));
        QCOMPARE(title, QStringLiteral("Voltage curves"));
        // The axes, the legend and the lines are in the drawing as such.
        QVERIFY2(texts.contains(QStringLiteral("Voltage (V)")), qPrintable(texts.join('|')));
        QVERIFY(texts.contains(QStringLiteral("Time (min)")));
        QVERIFY2(texts.contains(QStringLiteral("2026-12-09 10:00 DIS")),
                 qPrintable(texts.join('|')));
        QVERIFY(texts.contains(QString::fromUtf8("NiMH 2000 mAh \xC3\x97 7")));
        QVERIFY(polylines >= 2);
        QVERIFY(QSvgRenderer(svg).isValid());

        // The capacity chart as well, from its tab.
        window.Tabs()->setCurrentIndex(ResultsWindow::CapacityTab);
        QVERIFY(window.ExportChartPng(folder.Path(QStringLiteral("capacity.png")), error));
        QCOMPARE(QImage(folder.Path(QStringLiteral("capacity.png"))).size(),
                 window.Capacity()->viewport()->size() * window.Capacity()->devicePixelRatio());
        window.Tabs()->setCurrentIndex(ResultsWindow::RecordsTab);
        QVERIFY(!window.ExportChartPng(folder.Path(QStringLiteral("records.png")), error));

        const QString csv = folder.Path(QStringLiteral("export.csv"));
        QVERIFY2(window.ExportCurvesCsv(csv, error), qPrintable(error));
        const QList<QByteArray> lines = folder.Read(QStringLiteral("export.csv")).split('\n');
        QCOMPARE(lines.size(), 1 + 61 + 121 + 1);  // and the empty piece after the last LF
        QCOMPARE(lines[0], QByteArray("curve,mode,start,cycle,seconds,volts,amperes,rate,mAh,mWh"));
        QCOMPARE(lines[61], QByteArray("20261208-141503-DIS.csv,DIS,2026-12-08 14:15:03,0,60,"
                                       "8.3400,-1.500,9,25.0000,209.2625"));
        QCOMPARE(lines[62].left(40), QByteArray("20261209-100000-DIS.csv,DIS,2026-12-09 1"));
        for (int i = 1; i < lines.size() - 1; ++i) {
            QCOMPARE(lines[i].count(','), 9);
        }
        QVERIFY(lines.back().isEmpty());

        window.SetCheckedCurves({});
        QVERIFY(!window.ExportCurvesCsv(csv, error));
        QCOMPARE(error, QStringLiteral("No curve is checked."));
    }

    void aTestFinishingWhileItIsOpenShowsUpAndTheSelectionStays() {
        Folder folder;
        TwoCurves data(folder);
        ResultsWindow window;
        window.Watcher().SetQuietMilliseconds(5);
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.show();
        window.SelectLines({0});
        window.ShowCurvesOfLines({0});
        QVERIFY(Drawn(window.Curves()));
        window.Tabs()->setCurrentIndex(ResultsWindow::RecordsTab);
        QCOMPARE(window.Records()->rowCount(), 2);

        // The main program writes the next test's curve, then its record;
        // and the shown curve's file has changed meanwhile (by hand).
        CurvePlan longer;
        longer.Seconds = 90;
        folder.Write(QStringLiteral("curves/20261208-141503-DIS.csv"),
                     Bytes(testing::CurveText(longer)));
        QCOMPARE(window.Curves()->Series().at(0)->count(), 61);
        CurvePlan third;
        third.Start = "2026-12-11 10:00:00";
        third.Seconds = 30;
        const RecordPlan record = folder.Test(third, 12.5);
        folder.Append(QStringLiteral("Voltrex2.csv"), Bytes(testing::RecordLine(record) + "\n"));

        QTRY_COMPARE_WITH_TIMEOUT(window.Records()->rowCount(), 3, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(window.CurveFiles().size(), std::size_t{4}, 5000);
        QCOMPARE(window.CurveOfLine()[2], std::optional<std::size_t>(3));
        QCOMPARE(window.SelectedLines(), std::vector<std::size_t>{0});
        QCOMPARE(window.CheckedCurves(), QStringList{QStringLiteral("20261208-141503-DIS.csv")});
        QVERIFY(Drawn(window.Curves()));
        QCOMPARE(window.Curves()->Series().size(), std::size_t{1});
        QCOMPARE(window.Curves()->Series().at(0)->count(), 91);
        // Newest first: the new record at the top.
        QCOMPARE(Cell(window.RecordsTable()->model(), 0, RecordsModel::DateColumn),
                 QString::fromStdString(record.Time));

        // A file replaced whole (a spreadsheet saving it) is still followed.
        const QByteArray text = folder.Read(QStringLiteral("Voltrex2.csv"));
        folder.Write(QStringLiteral("Voltrex2.new"), text + "garbage\n");
        QVERIFY(QFile::remove(folder.Path(QStringLiteral("Voltrex2.csv"))));
        QVERIFY(QFile::rename(folder.Path(QStringLiteral("Voltrex2.new")),
                              folder.Path(QStringLiteral("Voltrex2.csv"))));
        QTRY_COMPARE_WITH_TIMEOUT(window.Records()->rowCount(), 4, 5000);
        folder.Append(QStringLiteral("Voltrex2.csv"), "more garbage\n");
        QTRY_COMPARE_WITH_TIMEOUT(window.Records()->rowCount(), 5, 5000);
        QCOMPARE(window.SelectedLines(), std::vector<std::size_t>{0});
        // Runs of rows with a gap between come back as they were.
        window.SelectLines({0, 2, 3});
        window.Reload();
        QVERIFY(window.WaitUntilLoaded());
        QCOMPARE(window.SelectedLines(), (std::vector<std::size_t>{0, 2, 3}));
    }

    void aBurstOfChangesIsOneReload() {
        Folder folder;
        FolderWatcher watcher;
        watcher.SetQuietMilliseconds(5);
        QSignalSpy changed(&watcher, &FolderWatcher::Changed);
        watcher.Watch(folder.dir.path());
        // The results file does not exist yet: its creation is seen in the
        // folder, and the file is watched from then on.
        folder.Results({testing::RecordLine(Record("2026-01-10 10:00:00", "DIS", 1950.0))});
        folder.Append(QStringLiteral("Voltrex2.csv"), "x\n");
        folder.Write(QStringLiteral("curves/a.csv"), "y\n");
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 5000);
        QTest::qWait(15);  // past another quiet spell: nothing more came
        QCOMPARE(changed.count(), 1);
        folder.Append(QStringLiteral("Voltrex2.csv"), "z\n");
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 5000);
        // Another folder: the old one is no longer followed.
        Folder other;
        watcher.Watch(other.dir.path());
        folder.Append(QStringLiteral("Voltrex2.csv"), "w\n");
        other.Write(QStringLiteral("Voltrex2Results.ini"), "[Groups]\n");
        QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 3, 5000);
        QTest::qWait(15);
        QCOMPARE(changed.count(), 3);
    }

    void theCapacityChartSpansItsDischargesAndADayAtLeast() {
        CapacityChart chart;
        CapacityPoint point;
        point.Time = {2026, 3, 10, 12, 0, 0};
        point.MilliampHours = 1900.0;
        point.Rated = 2000;
        point.Ohms = 0.2;
        chart.Show(QStringLiteral("One"), {point});
        const QDateTime noon(QDate(2026, 3, 10), QTime(12, 0, 0));
        constexpr qint64 Hour = 3600 * 1000;
        // Half a day and a twentieth of a day either side.
        QCOMPARE(chart.TimeAxis()->min().msecsTo(noon), 12 * Hour + 24 * Hour / 20);
        QCOMPARE(noon.msecsTo(chart.TimeAxis()->max()), 12 * Hour + 24 * Hour / 20);
        QCOMPARE(chart.TimeAxis()->format(), QStringLiteral("d MMM hh:mm"));
        // Fitted to the value and the rated capacity, a fortieth of the
        // highest beyond them, at round ticks.
        QCOMPARE(chart.CapacityAxis()->min(), 1840.0);
        QCOMPARE(chart.CapacityAxis()->max(), 2060.0);
        QCOMPARE(chart.CapacityAxis()->tickCount(), 12);
        QCOMPARE(chart.ResistanceAxis()->max(), 0.25);
        // From 0: room above the highest value.
        chart.SetFromZero(true);
        QCOMPARE(chart.CapacityAxis()->min(), 0.0);
        QCOMPARE(chart.CapacityAxis()->max(), 2500.0);
        QCOMPARE(chart.CapacityAxis()->tickCount(), 6);
        chart.SetFromZero(false);

        // Marked discharges are drawn apart and change neither the line nor
        // the scale; an implausible one sits at the axis' edge.
        std::vector<CapacityPoint> marked(4, point);
        marked[1].Mark = CapacityMark::FirstOfAutoCycle;
        marked[1].MilliampHours = 1200.0;
        marked[2].Mark = CapacityMark::Implausible;
        marked[2].MilliampHours = 1700000.0;
        marked[2].Ohms = 95.0;
        marked[3].Mark = CapacityMark::FirstOfAutoCycle;
        marked[3].MilliampHours = 1000.0;
        chart.Show(QStringLiteral("Marked"), marked);
        QCOMPARE(chart.CapacitySeries()->count(), 1);
        QCOMPARE(chart.CapacityAxis()->max(), 2060.0);
        QCOMPARE(chart.ResistanceAxis()->max(), 0.25);
        QCOMPARE(chart.MarkedSeries(CapacityMark::FirstOfAutoCycle)->count(), 2);
        QCOMPARE(chart.MarkedSeries(CapacityMark::Implausible)->at(0).y(), 2060.0);
        QCOMPARE(chart.MarkedSeries(CapacityMark::NotFromFull)->count(), 0);
        // The legend names only the kinds there are.
        QVERIFY(!chart.MarkedSeries(CapacityMark::NotFromFull)->isVisible());
        QVERIFY(chart.MarkedSeries(CapacityMark::Implausible)->isVisible());
        QVERIFY(chart.Describe(2).contains(QStringLiteral("Not a plausible record")));

        // Forty days: a twentieth of them either side; a pack put together
        // from two capacities steps its rated line.
        CapacityPoint later = point;
        later.Time = {2026, 4, 19, 12, 0, 0};
        later.Rated = 2200;
        later.MilliampHours = 2100.0;
        chart.Show(QStringLiteral("Two"), {point, later});
        QCOMPARE(chart.TimeAxis()->min().msecsTo(noon), 2 * 24 * Hour);
        QCOMPARE(chart.TimeAxis()->format(), QStringLiteral("d MMM yyyy"));
        QCOMPARE(chart.RatedSeries()->name(), QStringLiteral("Rated"));
        const QList<QPointF> rated = chart.RatedSeries()->points();
        QCOMPARE(rated.size(), 4);
        QCOMPARE(rated[1].y(), 2000.0);
        QCOMPARE(rated[2].y(), 2200.0);
        QCOMPARE(rated[1].x(), rated[2].x());
        QCOMPARE(rated[2].x(), double(DateTimeOf(later.Time).toMSecsSinceEpoch()));

        chart.Show(QString(), {});
        QCOMPARE(chart.chart()->title(), QStringLiteral("No pack chosen"));
        QVERIFY(!chart.chart()->legend()->isVisible());
    }

    void theCurveAxisTicksAtRoundValuesAndTheCursorKeepsToIt() {
        QCOMPARE(TickFor(10.0), 1.0);
        QCOMPARE(TickFor(10.5), 2.0);
        QCOMPARE(TickFor(20.0), 2.0);
        QCOMPARE(TickFor(20.5), 5.0);
        QCOMPARE(TickFor(50.0), 5.0);
        QCOMPARE(TickFor(80.0), 10.0);
        QCOMPARE(TickFor(0.8), 0.1);

        Folder folder;
        TwoCurves data(folder);
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.ShowCurvesOfLines({0, 1});
        CurveChartView* view = window.Curves();
        QVERIFY(Drawn(view));
        QCOMPARE(view->XAxis()->max(), 2.0);
        QCOMPARE(view->XAxis()->tickInterval(), 0.2);
        view->SetCursorX(1.9);
        QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(*view->CursorX(), 2.0);  // not beyond the axis
        QTest::keyClick(view, Qt::Key_Left, Qt::ShiftModifier);
        QCOMPARE(*view->CursorX(), 1.8);
        // + zooms in on the middle; Backspace goes back, once.
        QTest::keyClick(view, Qt::Key_Plus);
        QCOMPARE(view->XAxis()->min(), 0.5);
        QCOMPARE(view->XAxis()->max(), 1.5);
        QTest::keyClick(view, Qt::Key_Backspace);
        QCOMPARE(view->XAxis()->max(), 2.0);
        QVERIFY(!view->CanUndoZoom());
        // The shorter curve alone, asked for while both were still being
        // read: only the later request is drawn. Its axis ends at its end,
        // the cursor too.
        QSignalSpy drawn(view, &CurveChartView::Drawn);
        window.SetCheckedCurves(
            {QStringLiteral("20261208-141503-DIS.csv"), QStringLiteral("20261209-100000-DIS.csv")});
        window.SetCheckedCurves({QStringLiteral("20261208-141503-DIS.csv")});
        QVERIFY(Drawn(view));
        QTest::qWait(20);
        QCOMPARE(drawn.count(), 1);
        QCOMPARE(view->Series().size(), std::size_t{1});
        QCOMPARE(view->XAxis()->max(), 1.0);
        QCOMPARE(*view->CursorX(), 1.0);
        QTest::keyClick(view, Qt::Key_Escape);
        QVERIFY(!view->CursorX());
        QVERIFY(window.Readout()->text().startsWith(QStringLiteral("Point at the chart")));
        window.SetCheckedCurves({});
        QVERIFY(Drawn(view));
        QVERIFY(window.Readout()->text().startsWith(QStringLiteral("Check curves")));
    }

    void curvesBeyondTheStoresBudgetAreReadOutFromTheirDrawnRows() {
        Folder folder;
        TwoCurves data(folder);
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        CurveChartView* view = window.Curves();
        // 61 and 121 rows: held whole within 182 rows, not within 181.
        for (const std::size_t budget : {181u, 182u}) {
            view->Store()->SetBudgetRows(budget);
            window.SetCheckedCurves({});
            window.ShowCurvesOfLines({0, 1});
            QVERIFY(Drawn(view));
            QCOMPARE(view->Curves().size(), std::size_t{2});
            for (const DrawnCurve& curve : view->Curves()) {
                QCOMPARE(bool(curve.Whole), budget == 182u);
            }
            QVERIFY(view->Store()->HeldRows() <= budget);
        }
    }

    void curvesBeyondTheBudgetAreDrawnFromTheirEnvelopesAndAZoomReadsItsSpan() {
        Folder folder;
        CurvePlan charge;
        charge.Mode = "CHG";
        charge.Amperes = 1.0;
        charge.Seconds = 4 * 3600;  // 14,401 rows: an envelope of 1,801 stretches of 8 s
        charge.VoltsPerSecond = 0.00001;
        folder.Results({testing::RecordLine(folder.Test(charge, 4000.0))});
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.resize(1000, 700);
        window.show();
        CurveChartView* view = window.Curves();
        // Its rows fit in a budget of 14,401 rows, not in one of 14,400.
        for (const std::size_t budget : {14401u, 14400u}) {
            view->Store()->Clear();
            view->Store()->SetBudgetRows(budget);
            const std::size_t read = view->Store()->FilesRead();
            window.SetCheckedCurves({});
            QVERIFY(Drawn(view));
            window.ShowCurvesOfLines({0});
            QVERIFY(Drawn(view));
            const bool whole = budget == 14401u;
            QCOMPARE(view->Store()->FilesRead() - read, std::size_t{whole ? 1u : 0u});
            QCOMPARE(bool(view->Curves()[0].Whole), whole);
            // The same curve either way: its ends, its axis and its range.
            const QList<QPointF> points = view->Series()[0]->points();
            // (Envelopes keep millivolts.)
            QCOMPARE(points.front().x(), 0.0);
            QVERIFY(std::fabs(points.front().y() - 8.4) < 0.0006);
            QCOMPARE(points.back().x(), 4.0);
            QVERIFY(std::fabs(points.back().y() - (8.4 + 0.144)) < 0.0006);
            QCOMPARE(view->XAxis()->max(), 4.0);
            QCOMPARE(view->Curves()[0].Last.Seconds, 4 * 3600);
        }
        // Zoomed into ten minutes: those minutes read from the file, every
        // second of them, and nothing kept whole.
        const std::size_t read = view->Store()->FilesRead();
        view->ZoomTo(2.0, 2.0 + 1.0 / 6.0, 8.0, 9.0);
        QTRY_VERIFY_WITH_TIMEOUT(view->Series()[0]->count() > 600, 5000);
        QVERIFY(Drawn(view));
        QCOMPARE(view->Store()->FilesRead() - read, std::size_t{1});
        QCOMPARE(view->Store()->HeldCurves(), std::size_t{0});
        int inSpan = 0;
        for (const QPointF& point : view->Series()[0]->points()) {
            inSpan += point.x() >= 2.0 && point.x() <= 2.0 + 1.0 / 6.0 ? 1 : 0;
        }
        QCOMPARE(inSpan, 601);
        view->SetCursorX(2.0 + 1.0 / 3600.0);
        QVERIFY2(window.Readout()->text().contains(QStringLiteral("2:00:01, 8.472 V")),
                 qPrintable(window.Readout()->text()));
    }

    void aGlitchRowIsLeftOutOfTheScaleAndTheChartSaysSo() {
        Folder folder;
        std::string text = testing::CurveText(CurvePlan{});
        const std::size_t row = text.find("\n30,8.3700,");
        QVERIFY(row != std::string::npos);
        text.replace(row, 11, "\n30,47.9000,");
        folder.Write(QStringLiteral("curves/20261208-141503-DIS.csv"), Bytes(text));
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.SetCheckedCurves({QStringLiteral("20261208-141503-DIS.csv")});
        CurveChartView* view = window.Curves();
        QVERIFY(Drawn(view));
        QCOMPARE(view->Glitches(), 1);
        QVERIFY(view->YAxis()->max() < 9.0);
        QCOMPARE(view->Note(), QStringLiteral("1 glitch row left out of the voltage scale"));
        // Drawn all the same, and read at the cursor as it is.
        QCOMPARE(view->Series()[0]->at(30).y(), 47.9);
        view->SetCursorX(0.5);
        QVERIFY(window.Readout()->text().contains(QStringLiteral("0:00:30, 47.900 V")));
    }

    void manyCurvesKeepTheirOwnColoursAndEveryOneIsNamed() {
        for (const std::size_t count : {2u, 10u, 11u, 300u}) {
            QSet<QRgb> colours;
            for (std::size_t i = 0; i < count; ++i) {
                colours.insert(CurveColour(i, count).rgb());
            }
            QCOMPARE(std::size_t(colours.size()), count);
        }
        QVERIFY(AgeColour(0.0).blue() > AgeColour(0.0).red());
        QVERIFY(AgeColour(1.0).red() > AgeColour(1.0).blue());

        Folder folder;
        const QStringList names = ShortCurves(folder, 60, 0.0);
        ResultsWindow window;
        window.resize(1000, 700);
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.Tabs()->setCurrentIndex(ResultsWindow::CurvesTab);
        window.SetCheckedCurves(names);
        CurveChartView* view = window.Curves();
        QVERIFY(Drawn(view));
        QCOMPARE(view->Series().size(), std::size_t{60});
        QSet<QRgb> shown;
        for (const QLineSeries* series : view->Series()) {
            shown.insert(series->pen().color().rgb());
        }
        QCOMPARE(shown.size(), 60);
        // The legend holds what fits; the note counts the rest and the
        // readout names them.
        const int entries = view->LegendEntries();
        QVERIFY2(entries > 5 && entries < 60, qPrintable(QString::number(entries)));
        int visible = 0;
        for (const QLegendMarker* marker : view->chart()->legend()->markers()) {
            visible += marker->isVisible() ? 1 : 0;
        }
        QCOMPARE(visible, entries);
        QVERIFY2(view->Note().contains(QStringLiteral("%1 more curves").arg(60 - entries)),
                 qPrintable(view->Note()));
        const QString readout = window.Readout()->text();
        QVERIFY2(readout.contains(QString::asprintf("2026-12-08 10:%02d DIS", entries)),
                 qPrintable(readout.left(400)));
        QVERIFY(readout.contains(QStringLiteral("2026-12-08 10:59 DIS")));
        QVERIFY(!readout.contains(QString::asprintf("2026-12-08 10:%02d DIS", entries - 1)));
        // By age: the oldest blue, the newest red.
        for (QCheckBox* box : window.findChildren<QCheckBox*>()) {
            if (box->text() == QStringLiteral("Colour by &age")) {
                box->setChecked(true);
            }
        }
        QCOMPARE(view->Series().front()->pen().color(), AgeColour(0.0));
        QCOMPARE(view->Series().back()->pen().color(), AgeColour(1.0));
    }

    void hundredsOfCurvesAreDrawnAsOnePicture() {
        Folder folder;
        const QStringList names = ShortCurves(folder, 201, 0.001);
        ResultsWindow window;
        window.resize(1000, 700);
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        window.show();
        window.Tabs()->setCurrentIndex(ResultsWindow::CurvesTab);
        CurveChartView* view = window.Curves();
        // 200 are each a series; 201 one picture, without a legend.
        window.SetCheckedCurves(names.mid(0, 200));
        QVERIFY(Drawn(view));
        QCOMPARE(view->Series().size(), std::size_t{200});
        window.SetCheckedCurves(names);
        QVERIFY(Drawn(view));
        QCOMPARE(view->Series().size(), std::size_t{0});
        QCOMPARE(view->Curves().size(), std::size_t{201});
        QCOMPARE(view->Note(), QStringLiteral("201 curves, named in the list below the chart"));
        // Its boxes set in batches, the list sorts itself again, newest first.
        QTreeWidget* list = window.CurveList();
        QTRY_VERIFY(list->isSortingEnabled());
        for (int i = 1; i < list->topLevelItemCount(); ++i) {
            QVERIFY(list->topLevelItem(i - 1)->text(0) > list->topLevelItem(i)->text(0));
        }
        QVERIFY(!view->chart()->legend()->isVisible());
        // Drawn in its colour: the last curve's is on the chart.
        const QImage image = view->grab().toImage();
        const QRgb last = view->ColourOfCurve(200).rgb();
        bool found = false;
        for (int y = 0; y < image.height() && !found; ++y) {
            for (int x = 0; x < image.width() && !found; ++x) {
                found = image.pixel(x, y) == last;
            }
        }
        QVERIFY(found);
        view->SetCursorX(0.1);
        QVERIFY(window.Readout()->text().contains(
            QString::fromUtf8("2026-12-08 13:20 DIS, NiMH 2000 mAh \xC3\x97 7: 0:00:06, 8.594 V")));
    }

    void theCurveListShowsOnePacksCurvesAndChecksOnlyThose() {
        Folder folder;
        TwoCurves data(folder);
        CurvePlan lipo;
        lipo.Start = "2026-12-12 10:00:00";
        lipo.Type = "LiPo";
        lipo.Rated = 2200;
        lipo.Cells = 3;
        folder.Append(QStringLiteral("Voltrex2.csv"),
                      Bytes(testing::RecordLine(folder.Test(lipo, 25.0)) + "\n"));
        ResultsWindow window;
        window.OpenFolder(folder.dir.path());
        QVERIFY(window.WaitUntilLoaded());
        QTreeWidget* list = window.CurveList();
        QCOMPARE(list->topLevelItemCount(), 4);
        const int lipoPack = window.CurvesPackBox()->findData(QStringLiteral("group:LiPo,2200,3"));
        QVERIFY(lipoPack > 0);
        window.CurvesPackBox()->setCurrentIndex(lipoPack);
        int shown = 0;
        for (int i = 0; i < list->topLevelItemCount(); ++i) {
            shown += list->topLevelItem(i)->isHidden() ? 0 : 1;
        }
        QCOMPARE(shown, 1);
        // Checking by hand, then "Check All Shown": the shown ones join.
        window.SetCheckedCurves({QStringLiteral("20261208-141503-DIS.csv")});
        for (QPushButton* button : window.findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Check &All Shown")) {
                button->click();
            }
        }
        QCOMPARE(window.CheckedCurves(), QStringList({QStringLiteral("20261208-141503-DIS.csv"),
                                                      QStringLiteral("20261212-100000-DIS.csv")}));
        // A check in the list draws the curve at the next turn of the loop.
        QTreeWidgetItem* item =
            list->findItems(QStringLiteral("2026-12-09 10:00:00"), Qt::MatchExactly).value(0);
        QVERIFY(item != nullptr);
        item->setCheckState(0, Qt::Checked);
        QTRY_COMPARE(window.Curves()->Series().size(), std::size_t{3});
    }

    void theExampleFolderIsWhatTheProgramWouldWrite() {
        QTemporaryDir scratch;
        QCOMPARE(testing::WriteExampleFolder(scratch.path().toStdString()), std::string());
        ResultsWindow window;
        window.OpenFolder(scratch.path());
        QVERIFY(window.WaitUntilLoaded());
        const ResultsFile& log = window.Log();
        QCOMPARE(log.UnreadableCount(), 1);
        QCOMPARE(log.RecordCount(), 25);
        QCOMPARE(window.Grouping().Packs.size(), std::size_t{2});
        QCOMPARE(window.CurveFiles().size(), std::size_t{26});  // and a Monitor
        // The program appends each record as its test ends, and the broken
        // line where the crash left it: in the order of time.
        std::int64_t previous = 0;
        for (std::size_t line = 0; line < log.Lines.size(); ++line) {
            if (!log.Lines[line].Readable) {
                QVERIFY(log.Lines[line].Text.rfind("\"2026-06-20 21:14:02\"", 0) == 0);
                QVERIFY(line > 0 && line + 1 < log.Lines.size());
                QVERIFY(log.Lines[line - 1].Record.Time.Month == 6);
                QVERIFY(log.Lines[line + 1].Record.Time.Month == 7);
                continue;
            }
            QVERIFY2(log.Lines[line].Record.Seconds > previous, log.Lines[line].Text.c_str());
            previous = log.Lines[line].Record.Seconds;
            QVERIFY2(window.CurveOfLine()[line].has_value(), log.Lines[line].Text.c_str());
            // The curve's last row counted what the record says.
            const CurveFile& curve = window.CurveFiles()[*window.CurveOfLine()[line]];
            QCOMPARE(QString::asprintf("%.1f", curve.LastRow->MilliampHours),
                     QString::asprintf("%.1f", log.Lines[line].Record.MilliampHours));
        }
        // Every test ended as the procedures end it on such a pack.
        for (const CurveFile& curve : window.CurveFiles()) {
            const char* expected = curve.Mode == "DIS"    ? "end voltage reached"
                                   : curve.Mode == "MON"  ? "stopped by the user"
                                   : curve.Type == "LiPo" ? "rate stepped down to 0"
                                                          : "delta-V";
            QVERIFY2(curve.EndReason.has_value(), curve.Path.c_str());
            QCOMPARE(*curve.EndReason, std::string(expected));
        }
        // The pack wears: its last discharge gives less than its best.
        const std::vector<CapacityPoint>& points = window.Capacity()->Points();
        QVERIFY(points.size() >= 10);
        QVERIFY(points.back().MilliampHours < 0.9 * points[2].MilliampHours);
        // The Auto Cycle formed it: the third cycle gave more than the second.
        QVERIFY(points[2].MilliampHours > points[1].MilliampHours + 20.0);
    }

    void theProgramTakesOneFolder() {
        char name[] = "voltrex2-results";
        char help[] = "--help";
        char missing[] = "/nonexistent/folder";
        char option[] = "--bogus";
        char* helpCall[] = {name, help, nullptr};
        char* missingCall[] = {name, missing, nullptr};
        char* optionCall[] = {name, option, nullptr};
        char* twoCall[] = {name, missing, missing, nullptr};
        // The toolkit's options are no folder: "-style" takes its value along.
        char style[] = "-style";
        char fusion[] = "Fusion";
        char* toolkitCall[] = {name, style, fusion, missing, nullptr};
        QCOMPARE(ResultsMain(2, helpCall), 0);
        QCOMPARE(ResultsMain(2, missingCall), 2);
        QCOMPARE(ResultsMain(2, optionCall), 2);
        QCOMPARE(ResultsMain(3, twoCall), 2);
        QCOMPARE(ResultsMain(4, toolkitCall), 2);  // for the missing folder, not for -style
    }
};

#include "ResultsWindowTest.moc"

// The program runs the report's tests (PackReportTest.cpp) too. Named test
// functions run in the class that has them.
QObject* NewPackReportTest();

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    QTEST_SET_MAIN_SOURCE_PATH
    ResultsWindowTest windowTests;
    const std::unique_ptr<QObject> reportTests(NewPackReportTest());
    const auto has = [&](const QObject& tests) {
        const QMetaObject* meta = tests.metaObject();
        for (int i = 1; i < argc; ++i) {
            const QByteArray name = QByteArray(argv[i]).split(':').front() + "()";
            if (meta->indexOfMethod(name.constData()) >= 0) {
                return true;
            }
        }
        return false;
    };
    const bool named = has(windowTests) || has(*reportTests);
    int failed = 0;
    for (QObject* tests : {static_cast<QObject*>(&windowTests), reportTests.get()}) {
        if (!named || has(*tests)) {
            failed += QTest::qExec(tests, argc, argv);
        }
    }
    return failed;
}
