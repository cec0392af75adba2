// The results window on a working folder, offscreen, one action per run:
//
//   voltrex_bench_results FOLDER ACTION [--timeout SECONDS] [--cold]
//
// Opens the folder in the real window, then drives the action and prints one
// line: the action, its wall time (until the window shows its outcome), the
// longest stall of the window's thread (the longest gap between the beats of
// a 5 ms timer on that thread, which stop whenever the thread is busy, less
// the time it waited for a core while other programs had both; by the clock
// as well) and
// the process's resident memory (VmRSS before and after, VmHWM peak).
// Actions:
//   open            open the folder (--cold: its files out of the page cache first)
//   check-all       "Check All Shown" on the curves tab, all packs shown
//   uncheck-all     the same, then "Uncheck All" (measured)
//   against-charge  50 curves checked, then "against charge" (measured)
//   reload          every record selected, then a reload (measured)
//   find            Find with a text that no record holds (measured)
//   churn           check and uncheck 150 curves one at a time (memory)
//   zoom            all checked, then a zoom into the middle tenth of the time
//                   axis, read again at full resolution (measured)
// A chart action is measured until the chart has drawn every curve asked
// for (its worker included). VOLTREX_BENCH_SHOT=file.png saves the window as
// the action left it.
// An action that has not finished after the timeout (default 300 s) is
// reported as such and the process ends: a window thread that is stuck
// cannot be asked to stop. bench/results-run runs them all.
#include <fcntl.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/CFormat.h"
#include "platform/SystemClock.h"
#include "results/CurveChartView.h"
#include "results/ResultsWindow.h"
#include "testsupport/ReadyTime.h"

namespace {

using voltrex::results::ResultsWindow;

// kB of a line of /proc/self/status ("VmRSS:", "VmHWM:").
long StatusKilobytes(const char* key) {
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) {
        return -1;
    }
    char line[256];
    long value = -1;
    const std::size_t length = std::strlen(key);
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, key, length) == 0) {
            value = std::strtol(line + length, nullptr, 10);
        }
    }
    std::fclose(status);
    return value;
}

// Drops the folder's files from the page cache, as after a restart.
void Evict(const QString& folder) {
    QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QByteArray path = QFile::encodeName(files.next());
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

// The longest gap between beats of a timer on the window's thread, less the
// time the thread waited for a core (other programs' load); by the clock too.
class Heartbeat : public QObject {
  public:
    Heartbeat() {
        clock_.start();
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] { Beat(); });
        timer_.start(5);
    }
    void Reset() {
        meter_.Reset();
        lastStallEnd_ = 0;
        from_ = clock_.elapsed();
    }
    void Beat() {
        if (meter_.Beat() > 50 * 1000000LL) {
            lastStallEnd_ = clock_.elapsed() - from_;  // the thread was at work until now
        }
    }
    qint64 LongestMs() const { return meter_.LongestMs(); }
    qint64 LongestWallMs() const { return meter_.LongestWallMs(); }
    // When the last stall over 50 ms ended, from the reset.
    qint64 LastStallEndMs() const { return lastStallEnd_; }

  private:
    voltrex::testing::StallMeter meter_;
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 from_ = 0;
    qint64 lastStallEnd_ = 0;
};

QAbstractButton* Button(QWidget* window, const QString& text) {
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (b->text().remove(QLatin1Char('&')) == text) {
            return b;
        }
    }
    return nullptr;
}

int CheckedCurves(const ResultsWindow& w) {
    int checked = 0;
    QTreeWidget* list = w.CurveList();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = list->topLevelItem(i);
        checked += item->checkState(0) == Qt::Checked ? 1 : 0;
        for (int j = 0; j < item->childCount(); ++j) {
            checked += item->child(j)->checkState(0) == Qt::Checked ? 1 : 0;
        }
    }
    return checked;
}

// The chart shows every curve checked (none left to read or to add).
bool Drawn(const ResultsWindow& w) {
    return !w.Curves()->Drawing();
}

bool Busy(QWidget* window) {
    for (const QProgressBar* bar : window->findChildren<QProgressBar*>()) {
        if (bar->isVisible()) {
            return true;
        }
    }
    return false;
}

// What the window shows, to tell when an action's outcome has settled.
QString Signature(const ResultsWindow& w) {
    const int series =
        w.Curves()->chart() != nullptr ? static_cast<int>(w.Curves()->chart()->series().size()) : 0;
    return QStringLiteral("%1/%2/%3/%4/%5/%6/%7")
        .arg(w.RecordsTable()->model()->rowCount())
        .arg(w.Curves()->Curves().size())
        .arg(w.Curves()->Drawing() ? 1 : 0)
        .arg(w.CurveList()->topLevelItemCount())
        .arg(CheckedCurves(w))
        .arg(series)
        .arg(w.StatusText()->text());
}

class Run {
  public:
    static constexpr qint64 PollMs = 20;

    Run(ResultsWindow& window, Heartbeat& beat, int timeout)
        : w_(window), beat_(beat), timeout_(timeout) {}

    // Runs the step on the window's thread from its event loop and waits
    // until done() holds, nothing shows progress and the window has not
    // changed for 300 ms; the time is taken to the last change.
    void Measure(const char* name, const std::function<void()>& step,
                 const std::function<bool()>& done) {
        const long rssBefore = StatusKilobytes("VmRSS:");
        Watchdog(name);
        QElapsedTimer clock;
        beat_.Reset();
        clock.start();
        QTimer::singleShot(0, &w_, step);
        qint64 changed = 0;
        QString last;
        qint64 settledSince = -1;
        qint64 looked = -PollMs;
        // When the records table first showed rows in this action (opening).
        qint64 recordsShown = -1;
        const bool hadRecords = w_.RecordsTable()->model()->rowCount() > 0;
        while (true) {
            // Sleeps until an event (the heartbeat's at the latest), and
            // looks at the window at most every PollMs: looking walks
            // thousands of list items, and a benchmark that looked after
            // every event would take the window's thread from the window.
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
            if (clock.elapsed() - looked < PollMs) {
                continue;
            }
            looked = clock.elapsed();
            const QString now = Signature(w_);
            const qint64 t = clock.elapsed();
            if (!hadRecords && recordsShown < 0 && w_.RecordsTable()->model()->rowCount() > 0) {
                recordsShown = t;
            }
            if (now != last) {
                last = now;
                changed = t;
                settledSince = -1;
            }
            if (t > 0 && done() && !Busy(&w_)) {
                if (settledSince < 0) {
                    settledSince = t;
                }
                if (t - settledSince >= 300 && t - changed >= 300) {
                    break;
                }
            } else {
                settledSince = -1;
            }
        }
        beat_.Beat();
        const qint64 wall = std::max({changed, settledSince, beat_.LastStallEndMs()});
        ++generation_;  // this action's watch retires
        std::printf(
            "%-15s wall %8.3f s  longest stall %8.3f s (%.3f s by the clock)  VmRSS %6ld -> %6ld "
            "MB  VmHWM %6ld MB%s\n",
            name, static_cast<double>(std::min(wall, clock.elapsed())) / 1000.0,
            static_cast<double>(beat_.LongestMs()) / 1000.0,
            static_cast<double>(beat_.LongestWallMs()) / 1000.0, rssBefore / 1024,
            StatusKilobytes("VmRSS:") / 1024, StatusKilobytes("VmHWM:") / 1024,
            recordsShown < 0 ? ""
                             : voltrex::Format("  records shown after %.3f s",
                                               static_cast<double>(recordsShown) / 1000.0)
                                   .c_str());
        std::fflush(stdout);
    }

  private:
    // A thread that ends the process when the action overruns its time; a
    // later action's watch (or the end of this one) retires it.
    void Watchdog(const char* name) {
        const int mine = ++generation_;
        std::thread([this, name, mine, timeout = timeout_] {
            voltrex::SystemClock clock;
            const double until = clock.Monotonic() + timeout;
            while (generation_ == mine && clock.Monotonic() < until) {
                clock.SleepMs(100);
            }
            if (generation_ == mine) {
                std::printf(
                    "%-15s timeout after %d s (not finished)  VmRSS %6ld MB  VmHWM %6ld MB\n", name,
                    timeout, StatusKilobytes("VmRSS:") / 1024, StatusKilobytes("VmHWM:") / 1024);
                std::fflush(stdout);
                ::_exit(3);
            }
        }).detach();
    }

    ResultsWindow& w_;
    Heartbeat& beat_;
    int timeout_;
    std::atomic<int> generation_{0};
};

void ShowAllPacks(ResultsWindow& w) {
    QComboBox* packs = w.CurvesPackBox();
    if (packs->count() > 0) {
        packs->setCurrentIndex(0);  // "All packs"
    }
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: voltrex_bench_results FOLDER ACTION [--timeout S] [--cold]\n");
        return 2;
    }
    const QString folder = QDir(args[1]).absolutePath();
    const QString action = args[2];
    int timeout = 300;
    if (const auto at = args.indexOf(QStringLiteral("--timeout")); at > 0 && at + 1 < args.size()) {
        timeout = args[at + 1].toInt();
    }
    const bool cold = args.contains(QStringLiteral("--cold"));

    Heartbeat beat;
    ResultsWindow window;
    window.resize(1280, 800);
    window.show();
    Run run(window, beat, timeout);
    if (cold) {
        Evict(folder);
    }
    // Opened: the records shown and every curve file listed (a window that
    // reads them in the background lists them after the records).
    const int curveFiles = static_cast<int>(QDir(folder + QStringLiteral("/curves"))
                                                .entryList({QStringLiteral("*.csv")}, QDir::Files)
                                                .size());
    auto opened = [&] {
        return (window.RecordsTable()->model()->rowCount() > 0 || !window.Log().Exists) &&
               window.CurveList()->topLevelItemCount() >= curveFiles;
    };
    run.Measure(
        action == QLatin1String("open") ? (cold ? "open cold" : "open warm") : "(open)",
        [&] { window.OpenFolder(folder); }, opened);
    if (action == QLatin1String("open")) {
        std::fflush(stdout);
        ::_exit(0);
    }
    QTreeWidget* list = window.CurveList();
    const int curves = list->topLevelItemCount();
    if (action == QLatin1String("check-all") || action == QLatin1String("uncheck-all")) {
        window.Tabs()->setCurrentIndex(ResultsWindow::CurvesTab);
        ShowAllPacks(window);
        QAbstractButton* check = Button(&window, QStringLiteral("Check All Shown"));
        run.Measure(
            "check-all", [&] { check->click(); },
            [&] { return CheckedCurves(window) >= std::min(curves, 1) && Drawn(window); });
        if (action == QLatin1String("uncheck-all")) {
            QAbstractButton* uncheck = Button(&window, QStringLiteral("Uncheck All"));
            run.Measure(
                "uncheck-all", [&] { uncheck->click(); },
                [&] { return CheckedCurves(window) == 0; });
        }
    } else if (action == QLatin1String("against-charge")) {
        window.Tabs()->setCurrentIndex(ResultsWindow::CurvesTab);
        ShowAllPacks(window);
        QStringList names;
        for (int i = 0; i < list->topLevelItemCount() && names.size() < 50; ++i) {
            // A curve's item names its file in its tooltip.
            const QTreeWidgetItem* item = list->topLevelItem(i);
            if ((item->flags() & Qt::ItemIsUserCheckable) != 0) {
                names << item->toolTip(0);
            }
        }
        window.AgainstTime()->setChecked(true);
        run.Measure(
            "(check 50)", [&] { window.SetCheckedCurves(names); },
            [&] { return CheckedCurves(window) >= std::min<int>(names.size(), 1); });
        run.Measure(
            "against-charge", [&] { window.AgainstCharge()->click(); },
            [&] { return window.AgainstCharge()->isChecked() && Drawn(window); });
    } else if (action == QLatin1String("zoom")) {
        window.Tabs()->setCurrentIndex(ResultsWindow::CurvesTab);
        ShowAllPacks(window);
        QAbstractButton* check = Button(&window, QStringLiteral("Check All Shown"));
        run.Measure(
            "(check-all)", [&] { check->click(); },
            [&] { return CheckedCurves(window) >= std::min(curves, 1) && Drawn(window); });
        voltrex::results::CurveChartView* chart = window.Curves();
        const double from = chart->XAxis()->min();
        const double span = chart->XAxis()->max() - from;
        run.Measure(
            "zoom",
            [&] {
                chart->ZoomTo(from + 0.45 * span, from + 0.55 * span, chart->YAxis()->min(),
                              chart->YAxis()->max());
            },
            [&] { return Drawn(window); });
    } else if (action == QLatin1String("reload")) {
        window.Tabs()->setCurrentIndex(ResultsWindow::RecordsTab);
        window.RecordsTable()->selectAll();
        const auto reload = [&] { window.Reload(); };
        run.Measure("reload", reload, opened);
    } else if (action == QLatin1String("find")) {
        window.Tabs()->setCurrentIndex(ResultsWindow::RecordsTab);
        run.Measure(
            "find", [&] { window.FindEdit()->setText(QStringLiteral("no such pack")); },
            [] { return true; });
    } else if (action == QLatin1String("churn")) {
        window.Tabs()->setCurrentIndex(ResultsWindow::CurvesTab);
        ShowAllPacks(window);
        const int count = std::min(150, list->topLevelItemCount());
        run.Measure(
            "churn-150",
            [&] {
                for (int i = 0; i < count; ++i) {
                    list->topLevelItem(i)->setCheckState(0, Qt::Checked);
                    QApplication::processEvents();
                    list->topLevelItem(i)->setCheckState(0, Qt::Unchecked);
                    QApplication::processEvents();
                }
            },
            [&] { return CheckedCurves(window) == 0; });
    } else {
        std::fprintf(stderr, "unknown action %s\n", qPrintable(action));
        return 2;
    }
    if (const QString shot = qEnvironmentVariable("VOLTREX_BENCH_SHOT"); !shot.isEmpty()) {
        window.grab().save(shot);
    }
    // Without tearing the window down: after thousands of curves that takes
    // minutes of its own, which no user waits for and no figure here counts.
    std::fflush(stdout);
    ::_exit(0);
}
