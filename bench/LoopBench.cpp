// The test loops in the real main window on the simulated port library,
// against conversions alone in the same process: how many passes a second
// the Monitor, Discharge or Charge loop makes, and how many conversions a
// second the instrument makes with nothing else to do, in alternating runs so
// that the machine's load falls on both alike. The working directory holds
// Voltrex2.ini and Voltrex2Sim.ini (bench/run writes them); the pack's
// settings there and on the command line must agree.
//
//   voltrex_bench_loops <monitor|discharge|charge> <cell type> <cells> <capacity>
//                       <seconds per run> <runs>
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fputs(
            "usage: voltrex_bench_loops <monitor|discharge|charge> <cell type> <cells> "
            "<capacity> <seconds per run> <runs>\n",
            stderr);
        return 2;
    }
    const std::string mode = argv[1];
    const int runMs = static_cast<int>(std::atof(argv[5]) * 1000.0);
    const int runs = std::atoi(argv[6]);
    QApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ConfigureAppearance();

    SystemClock clock;
    PortLibrary library;
    NoSleepGuard awake;
    Program program(clock, LibraryBinder(library), {}, &awake);
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

    Rate window;
    Rate alone;
    for (int run = 0; run < runs; ++run) {
        // The window's loop: a moment after its first pass, note the samples
        // and the time, and again when the run is over, then click Stop.
        double samples0 = 0.0;
        double time0 = 0.0;
        QTimer::singleShot(0, &form, [&] {
            samples0 = Samples(graph);
            time0 = clock.Monotonic();
            QTimer::singleShot(runMs, &form, [&] {
                window.Count += Samples(graph) - samples0;
                window.Seconds += clock.Monotonic() - time0;
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
    std::printf("%s %s %s: %.1f passes/s in the window, %.1f conversions/s alone, %.1f %%\n",
                mode.c_str(), argv[2], argv[3], windowRate, aloneRate,
                100.0 * windowRate / aloneRate);
    form.close();
    return 0;
}
