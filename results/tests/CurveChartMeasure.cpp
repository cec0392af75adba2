// The curves chart on a large folder, measured as a user would feel it: the
// time from an action to the curves drawn, the longest the window's thread
// was held meanwhile (a timer that should fire every 2 ms), and the memory
// the program holds. On demand, on a folder voltrex2-makefolder wrote:
//
//   QT_QPA_PLATFORM=offscreen voltrex2_results_chartmeasure /tmp/folders/two-years
//   ... FOLDER all      "Check All Shown" alone (the ten-year folder)
//   ... FOLDER charge   50 curves against charge
//   ... FOLDER zoom     every curve, then 1.5 h zoomed at hour 50 (a 100-hour Monitor)

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <cstdio>

#include "results/CurveChartView.h"
#include "results/ResultsMain.h"
#include "results/ResultsWindow.h"

using namespace voltrex::results;

static long Rss() {
    QFile f("/proc/self/status");
    f.open(QIODevice::ReadOnly);
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ')[0].toLong() / 1024;
    }
    return -1;
}

struct Stall {
    QElapsedTimer beat;
    qint64 worst = 0;
    QTimer timer;
    Stall() {
        timer.setInterval(2);
        QObject::connect(&timer, &QTimer::timeout,
                         [this] { worst = std::max(worst, beat.restart()); });
        beat.start();
        timer.start();
    }
    void Reset() {
        worst = 0;
        beat.restart();
    }
};

static void Click(ResultsWindow& w, const char* text) {
    for (QPushButton* b : w.findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8(text))
            b->click();
}

static void Measure(ResultsWindow& w, Stall& stall, const char* what,
                    std::function<void()> action) {
    stall.Reset();
    QElapsedTimer t;
    t.start();
    // The action runs inside the event loop, as a click would.
    QTimer::singleShot(0, action);
    QTest::qWait(20);
    (void)QTest::qWaitFor([&] { return !w.Curves()->Drawing(); }, 120000);
    QTest::qWait(50);
    std::printf("%-40s %6lld ms to drawn, longest stall %4lld ms, rss %ld MB, %zu series\n", what,
                t.elapsed(), stall.worst, Rss(), w.Curves()->Series().size());
    std::fflush(stdout);
}

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ConfigureResultsAppearance();
    const QString folder = QString::fromLocal8Bit(argv[1]);
    ResultsWindow w;
    w.resize(1280, 800);
    w.show();
    (void)QTest::qWaitForWindowExposed(&w);
    w.OpenFolder(folder);
    w.Tabs()->setCurrentIndex(ResultsWindow::CurvesTab);
    QTest::qWait(100);
    Stall stall;
    std::printf("open: rss %ld MB, %zu curves\n", Rss(), w.CurveFiles().size());
    std::fflush(stdout);
    if (argc > 2 && QString(argv[2]) == "zoom") {
        QTreeWidget* list = w.CurveList();
        QStringList names;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            names << list->topLevelItem(i)->data(0, Qt::UserRole + 1).toString();
        Measure(w, stall, "check the Monitor", [&] { w.SetCheckedCurves(names); });
        CurveChartView* v = w.Curves();
        std::printf("axis %g..%g %s, points %lld\n", v->XAxis()->min(), v->XAxis()->max(),
                    qPrintable(v->XAxis()->titleText()), (long long)v->Series()[0]->count());
        Measure(w, stall, "zoom to 1.5 h",
                [&] { v->ZoomTo(50.0, 51.5, v->YAxis()->min(), v->YAxis()->max()); });
        QTest::qWait(300);
        (void)QTest::qWaitFor([&] { return !v->Drawing(); }, 10000);
        int in = 0;
        QLineSeries* mon = nullptr;
        for (QLineSeries* series : v->Series())
            if (series->name().contains("MON"))
                mon = series;
        for (const QPointF& p : mon->points())
            in += p.x() >= 50.0 && p.x() <= 51.5;
        std::printf("points in the 1.5 h span: %d (5401 is every second)\n", in);
        return 0;
    }
    if (argc > 2 && QString(argv[2]) == "all") {
        Measure(w, stall, "Check All Shown", [&] { Click(w, "Check &All Shown"); });
        return 0;
    }
    if (argc > 2 && QString(argv[2]) == "charge") {
        QTreeWidget* list = w.CurveList();
        QStringList names;
        for (int i = 0; i < list->topLevelItemCount(); ++i)
            names << list->topLevelItem(i)->data(0, Qt::UserRole + 1).toString();
        w.AgainstCharge()->setChecked(true);
        Measure(w, stall, "check 50 against charge", [&] { w.SetCheckedCurves(names.mid(0, 50)); });
        return 0;
    }
    Measure(w, stall, "Check All Shown", [&] { Click(w, "Check &All Shown"); });
    Measure(w, stall, "Uncheck All", [&] { Click(w, "U&ncheck All"); });
    Measure(w, stall, "Check All Shown again", [&] { Click(w, "Check &All Shown"); });
    Measure(w, stall, "against charge (all)", [&] { w.AgainstCharge()->setChecked(true); });
    Measure(w, stall, "Uncheck All", [&] { Click(w, "U&ncheck All"); });
    w.AgainstTime()->setChecked(true);
    QTreeWidget* list = w.CurveList();
    QStringList names;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        names << list->topLevelItem(i)->data(0, Qt::UserRole + 1).toString();
    Measure(w, stall, "check 50", [&] { w.SetCheckedCurves(names.mid(0, 50)); });
    Measure(w, stall, "50 against charge", [&] { w.AgainstCharge()->setChecked(true); });
    w.AgainstTime()->setChecked(true);
    (void)QTest::qWaitFor([&] { return !w.Curves()->Drawing(); }, 120000);
    stall.Reset();
    for (int i = 0; i < 150 && i < names.size(); ++i) {
        w.SetCheckedCurves({names[i]});
        (void)QTest::qWaitFor([&] { return !w.Curves()->Drawing(); }, 120000);
    }
    std::printf("150 curves checked one at a time: rss %ld MB, longest stall %lld ms\n", Rss(),
                stall.worst);
    Measure(w, stall, "Uncheck All", [&] { Click(w, "U&ncheck All"); });
    return 0;
}
