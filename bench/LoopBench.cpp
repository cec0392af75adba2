// The test loops in the real main window on the simulated port library,
// against conversions alone in the same process: how many passes a second
// the Monitor, Discharge or Charge loop makes, and how many conversions a
// second the instrument makes with nothing else to do, in alternating runs so
// that the machine's load falls on both alike. The working directory holds
// Voltrex2.ini and Voltrex2Sim.ini (bench/run writes them); the pack's
// settings there and on the command line must agree.
//
//   voltrex_bench_loops <monitor|discharge|charge> <cell type> <cells> <capacity>
//                       <seconds per run> <runs> [live]
//
// With "live" the running test is also published as the program does it
// ($XDG_RUNTIME_DIR/voltrex2-bench, or a folder in /dev/shm without one), the
// time of every call into it is measured, and window runs without it
// alternate with those with it.
//
// A pass is one sample of the plot: the passes of a run are the samples its
// graph gained between two moments inside the loop, so the preparation (the
// start reading, a discharge's resistance measurement) is not counted.

#include <QApplication>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/LiveState.h"
#include "app/PictureButton.h"
#include "app/PortBinder.h"
#include "app/Program.h"
#include "app/SleepGuard.h"
#include "app/TMainForm.h"
#include "app/TStartForm.h"
#include "app/VoltrexApplication.h"
#include "instrument/PortLibrary.h"
#include "platform/SystemClock.h"

using namespace voltrex;

namespace {

class NoSleepGuard final : public SleepGuard {
  public:
    void Acquire(const std::string&) override {}
    void Release() noexcept override {}
};

double Samples(Graph& graph) {
    double samples = 0.0;
    if (GraphPlot* plot = graph.CurrentGraph()) {
        for (const double weight : plot->ColumnWeight) {
            samples += weight;
        }
    }
    return samples;
}

struct Rate {
    double Count = 0.0;
    double Seconds = 0.0;
};

// The program's own observer, with the time of each call measured.
class TimedObserver final : public TestObserver {
  public:
    TimedObserver(TestObserver& inner, Clock& clock) : inner_(inner), clock_(clock) {}
    void Passed(const TestPass& pass) override {
        const double start = clock_.Monotonic();
        inner_.Passed(pass);
        Count(clock_.Monotonic() - start);
    }
    void Ended(const TestEnding& ending) override { inner_.Ended(ending); }

    double Seconds = 0.0;
    double Worst = 0.0;
    long long Calls = 0;
    long long Over100Microseconds = 0;

  private:
    void Count(double seconds) {
        Seconds += seconds;
        ++Calls;
        Worst = seconds > Worst ? seconds : Worst;
        Over100Microseconds += seconds > 100e-6 ? 1 : 0;
    }
    TestObserver& inner_;
    Clock& clock_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7 && !(argc == 8 && std::string(argv[7]) == "live")) {
        std::fputs(
            "usage: voltrex_bench_loops <monitor|discharge|charge> <cell type> <cells> "
            "<capacity> <seconds per run> <runs> [live]\n",
            stderr);
        return 2;
    }
    const bool live = argc == 8;
    const std::string mode = argv[1];
    const int runMs = static_cast<int>(std::atof(argv[5]) * 1000.0);
    const int runs = std::atoi(argv[6]);
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ConfigureAppearance();

    SystemClock clock;
    PortLibrary library;
    NoSleepGuard awake;
    ProgramFiles files;
    if (live) {
        const std::string runtime = LiveState::DefaultFolder();
        files.LiveFolder = runtime.empty() ? "/dev/shm/voltrex2-bench" : runtime + "-bench";
    }
    Program program(clock, LibraryBinder(library), files, &awake);
    TMainForm& form = program.MainForm();
    form.show();
    if (!form.ChargeButton->isEnabled()) {
        std::fputs("the start-up failed\n", stderr);
        return 1;
    }
    TestSettings& settings = program.StartForm().Settings();
    settings.CellType = argv[2];
    settings.NumberOfCells = std::atoi(argv[3]);
    settings.Capacity = std::atoi(argv[4]);
    settings.ChargeRate = 1;
    settings.DischargeRate = 1;
    settings.MaximumCycles = 1;
    Instrument& instrument = program.InstrumentDrive();
    Procedures& procedures = program.TestProcedures();
    Graph& graph = program.GraphArea();

    TimedObserver timed(program.Watch(), clock);
    if (live) {
        procedures.SetObserver(&timed);
    }
    Rate window;
    Rate withoutLive;
    Rate alone;
    for (int step = 0; step < (live ? 2 * runs : runs); ++step) {
        // With "live", every second window run publishes nothing.
        const bool publishing = live && step % 2 == 0;
        Rate& counted = !live || publishing ? window : withoutLive;
        procedures.SetObserver(publishing ? &timed : nullptr);
        // The window's loop: a moment after its first pass, note the samples
        // and the time, and again when the run is over, then click Stop.
        double samples0 = 0.0;
        double time0 = 0.0;
        QTimer::singleShot(0, &form, [&] {
            samples0 = Samples(graph);
            time0 = clock.Monotonic();
            QTimer::singleShot(runMs, &form, [&] {
                counted.Count += Samples(graph) - samples0;
                counted.Seconds += clock.Monotonic() - time0;
                form.StopButtonClick();
            });
        });
        form.EnterRunMode();
        if (mode == "monitor") {
            procedures.RunMonitor();
        } else if (mode == "discharge") {
            procedures.RunDischarge(0);
        } else {
            procedures.RunCharge(0, 0);
        }
        form.LeaveRunMode();

        // Conversions alone, with the same current flowing.
        if (mode == "discharge") {
            instrument.StartDischarge(1);
        } else if (mode == "charge") {
            instrument.StartCharge(1);
        }
        instrument.ReadVoltage(false);
        const double start = clock.Monotonic();
        long long conversions = 0;
        while (clock.Monotonic() - start < runMs / 1000.0) {
            instrument.ReadVoltage(false);
            ++conversions;
        }
        alone.Seconds += clock.Monotonic() - start;
        alone.Count += static_cast<double>(conversions);
        if (mode != "monitor") {
            instrument.AllOff();
        }
    }
    const double windowRate = window.Count / window.Seconds;
    const double aloneRate = alone.Count / alone.Seconds;
    if (live) {
        const double withoutRate = withoutLive.Count / withoutLive.Seconds;
        std::printf(
            "live state: %lld calls, %.1f us a call on average, worst %.2f ms, %lld over 100 us; "
            "%.4f %% of the window runs' time; %.1f passes/s with it, %.1f without (%.1f %%)\n",
            timed.Calls, 1e6 * timed.Seconds / static_cast<double>(timed.Calls), 1e3 * timed.Worst,
            timed.Over100Microseconds, 100.0 * timed.Seconds / window.Seconds, windowRate,
            withoutRate, 100.0 * windowRate / withoutRate);
    }
    std::printf("%s %s %s: %.1f passes/s in the window, %.1f conversions/s alone, %.1f %%\n",
                mode.c_str(), argv[2], argv[3], windowRate, aloneRate,
                100.0 * windowRate / aloneRate);
    form.close();
    return 0;
}
