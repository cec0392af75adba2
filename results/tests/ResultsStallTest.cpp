// No action of the results window holds its thread: on a generated folder of
// two years of tests (six packs, 288 records, short curves, made in a second
// in memory), opening, "Check All Shown" (drawn from the summaries' envelopes),
// a zoom and back, "Uncheck All", 50 curves against
// charge, a reload with every record selected and Find each leave the
// window's event loop without a beat for at most 100 ms.
//
// On demand, the full two-year folder (curves of 2 to 10 hours, 240 MB;
// about 20 s to make): VOLTREX_STALL_PRESET=two-years, or any folder made
// by voltrex2-makefolder: VOLTREX_STALL_FOLDER=/tmp/folders/two-years.

#include <fcntl.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

#include <clocale>
#include <functional>
#include <memory>

#include "makefolder/FolderMaker.h"
#include "results/CurveChartView.h"
#include "results/CurveStore.h"
#include "results/ResultsMain.h"
#include "results/ResultsWindow.h"
#include "testsupport/ReadyTime.h"

using voltrex::results::ResultsWindow;

namespace {

// The longest a user action may hold the window's thread.
constexpr qint64 LongestStallMs = 100;

// The beats of a 1 ms timer on the window's thread: they stop while the
// thread is busy, and the longest gap between two is the longest stall.
// Time the thread spent ready but waiting for a core, because other
// programs had both (a build beside the tests), is not the window's doing
// and is taken off each gap; waiting for a lock or the disk still counts.
class Heartbeat {
  public:
    Heartbeat() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { meter_.Beat(); });
        timer_.start(1);
    }
    void Reset() { meter_.Reset(); }
    qint64 LongestMs() const { return meter_.LongestMs(); }
    qint64 LongestWallMs() const { return meter_.LongestWallMs(); }

  private:
    voltrex::testing::StallMeter meter_;
    QTimer timer_;
};

QAbstractButton* Button(QWidget* window, const QString& text) {
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (b->text().remove(QLatin1Char('&')) == text) {
            return b;
        }
    }
    return nullptr;
}

int Checked(const QTreeWidget* list) {
    int checked = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        checked += list->topLevelItem(i)->checkState(0) == Qt::Checked ? 1 : 0;
    }
    return checked;
}

bool Busy(const QWidget* window) {
    const QList<QProgressBar*> bars = window->findChildren<QProgressBar*>();
    return std::any_of(bars.begin(), bars.end(),
                       [](const QProgressBar* b) { return b->isVisible(); });
}

}  // namespace

class ResultsStallTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        std::setlocale(LC_NUMERIC, "C");
        voltrex::results::ConfigureResultsAppearance();
        folder_ = qEnvironmentVariable("VOLTREX_STALL_FOLDER");
        if (!folder_.isEmpty()) {
            return;
        }
        // In memory where the system lets us: the files are written with a
        // flush to the disk each, as the charger writes them. /dev/shm can
        // exist yet refuse us (a chroot's bare /dev): then the usual place.
        dir_ = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/voltrex-stall-XXXXXX"));
        if (!dir_->isValid()) {
            dir_ = std::make_unique<QTemporaryDir>();
        }
        QVERIFY(dir_->isValid());
        voltrex::makefolder::FolderOptions options;
        const QString preset = qEnvironmentVariable("VOLTREX_STALL_PRESET");
        if (!preset.isEmpty()) {
            options = voltrex::makefolder::Preset(preset.toStdString()).value();
        } else {
            options = *voltrex::makefolder::Preset("two-years");
            options.MinHours = 0.03;  // curves of two to six minutes
            options.MaxHours = 0.1;
        }
        folder_ = dir_->path() + QStringLiteral("/folder");
        const auto report = voltrex::makefolder::MakeFolder(folder_.toStdString(), options);
        QCOMPARE(QString::fromStdString(report.Error), QString());
        QCOMPARE(report.Records, 288);
    }

    void noActionHoldsTheWindowsThread() {
        ResultsWindow window;
        window.resize(1280, 800);
        window.show();
        Heartbeat beat;
        QTreeWidget* list = window.CurveList();

        QStringList problems;
        // Open: the records and the whole list of curves (read after the
        // records where the window reads them in the background).
        problems << Act(
            window, beat, "open", [&] { window.OpenFolder(folder_); },
            [&] {
                return window.RecordsTable()->model()->rowCount() >= 288 &&
                       list->topLevelItemCount() >= 292;
            });

        window.Tabs()->setCurrentIndex(ResultsWindow::CurvesTab);
        window.CurvesPackBox()->setCurrentIndex(0);  // all packs
        QAbstractButton* checkAll = Button(&window, QStringLiteral("Check All Shown"));
        QAbstractButton* uncheckAll = Button(&window, QStringLiteral("Uncheck All"));
        QVERIFY(checkAll != nullptr && uncheckAll != nullptr);
        // Beyond the store's budget, as thousands of long curves are: drawn
        // from the cache's envelopes, a zoom read from the files' spans.
        voltrex::results::CurveChartView* chart = window.Curves();
        chart->Store()->SetBudgetRows(1000);
        problems << Act(
            window, beat, "Check All Shown", [&] { checkAll->click(); },
            [&] { return Checked(list) >= 288 && !chart->Drawing(); });
        problems << Act(
            window, beat, "zoom into a tenth",
            [&] {
                const double x = chart->XAxis()->max();
                chart->ZoomTo(0.4 * x, 0.5 * x, chart->YAxis()->min(), chart->YAxis()->max());
            },
            [&] { return !chart->Drawing(); });
        problems << Act(
            window, beat, "back from the zoom", [&] { chart->UndoZoom(); },
            [&] { return !chart->Drawing(); });
        problems << Act(
            window, beat, "Uncheck All", [&] { uncheckAll->click(); },
            [&] { return Checked(list) == 0; });

        QStringList fifty;
        for (int i = 0; i < list->topLevelItemCount() && fifty.size() < 50; ++i) {
            fifty << list->topLevelItem(i)->toolTip(0);  // the curve's file
        }
        problems << Act(
            window, beat, "check 50 curves", [&] { window.SetCheckedCurves(fifty); },
            [&] { return Checked(list) == 50; });
        problems << Act(
            window, beat, "against charge", [&] { window.AgainstCharge()->click(); },
            [&] { return window.AgainstCharge()->isChecked() && !chart->Drawing(); });

        window.Tabs()->setCurrentIndex(ResultsWindow::RecordsTab);
        window.RecordsTable()->selectAll();
        problems << Act(
            window, beat, "reload with every record selected", [&] { window.Reload(); },
            [&] { return window.SelectedLines().size() >= 288; });
        problems << Act(
            window, beat, "Find", [&] { window.FindEdit()->setText(QStringLiteral("Receiver")); },
            [] { return true; });
        problems.removeAll(QString());
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    }

  private:
    // Does the step from the window's event loop and waits (20 s at most)
    // until done holds and nothing shows progress; the thread must have
    // beaten at least every LongestStallMs meanwhile.
    static QString Act(ResultsWindow& window, Heartbeat& beat, const char* name,
                       const std::function<void()>& step, const std::function<bool()>& done) {
        beat.Reset();
        bool stepped = false;
        QTimer::singleShot(0, &window, [&] {
            step();
            stepped = true;
        });
        QElapsedTimer clock;
        clock.start();
        while (!(stepped && done() && !Busy(&window)) && clock.elapsed() < 20000) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        // Whatever the window does next on its own (a late repaint).
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 50) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        if (!stepped || !done()) {
            return QStringLiteral("%1 did not finish in 20 s").arg(QLatin1String(name));
        }
        qInfo("%s: longest stall %lld ms (%lld ms by the clock)", name, beat.LongestMs(),
              beat.LongestWallMs());
        if (beat.LongestMs() > LongestStallMs) {
            return QStringLiteral("%1 held the window's thread %2 ms (%3 ms by the clock)")
                .arg(QLatin1String(name))
                .arg(beat.LongestMs())
                .arg(beat.LongestWallMs());
        }
        return {};
    }

    QString folder_;
    std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_MAIN(ResultsStallTest)
#include "ResultsStallTest.moc"
