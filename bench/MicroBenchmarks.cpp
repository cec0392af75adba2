// Google Benchmark micro benchmarks of the program's hot paths: the
// conversion ramp on a port that costs nothing, and the graph operations a
// test's loop makes at every pass. Built by default, never run by the tests;
// bench/run runs them with the others and writes the summary.

#include <benchmark/benchmark.h>

#include <filesystem>

#include "bench/BenchPort.h"
#include "bench/GraphScenes.h"
#include "config/Configuration.h"
#include "instrument/Instrument.h"
#include "records/CurveRecorder.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::bench {
namespace {

// One conversion; the comparators flip at counts 300 and 900 (about 3000
// port accesses, the 3 ms of a 7-cell nickel pack at 1 us per access). A
// weight of 0 in the lowest bit makes every odd count pass unsampled, the
// table's path.
void Conversion(benchmark::State& state) {
    testing::VirtualClock clock;
    CalibrationBlock calibration;
    for (int i = 0; i < 12; ++i) {
        calibration.BitWeights[static_cast<std::size_t>(i)] = 0.005 * (1 << i);
    }
    if (state.range(0) != 0) {
        calibration.BitWeights[0] = 0.0;
    }
    FreePort port(300, 900);
    Instrument instrument(clock, calibration);
    instrument.BindPort(port);
    instrument.SetPortAddress(0x378);
    const auto before = FreePort::Accesses();
    for (auto _ : state) {
        benchmark::DoNotOptimize(instrument.MeasureVoltage(calibration));
    }
    const auto accesses = static_cast<double>(FreePort::Accesses() - before);
    state.counters["accesses"] =
        benchmark::Counter(accesses / static_cast<double>(state.iterations()));
    state.counters["ns_per_access"] =
        benchmark::Counter(accesses, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(Conversion)->Arg(0)->Arg(1)->ArgName("zero_weight");

void AddPointSteadyState(benchmark::State& state) {
    GraphScene scene;
    const int last = scene.Plot->ColumnCount - 1;
    AddPoint(*scene.Plot, last, 8.3);
    for (auto _ : state) {
        AddPoint(*scene.Plot, last, 8.3);
    }
    state.counters["repaints"] = benchmark::Counter(static_cast<double>(scene.Repaints));
}
BENCHMARK(AddPointSteadyState);

void StatusLineUnchanged(benchmark::State& state) {
    GraphScene scene;
    for (auto _ : state) {
        SetStatusLine(*scene.Plot, scene.Status);
    }
}
BENCHMARK(StatusLineUnchanged);

void StatusLineChanged(benchmark::State& state) {
    GraphScene scene;
    bool next = false;
    for (auto _ : state) {
        SetStatusLine(*scene.Plot, next ? scene.NextStatus : scene.Status);
        next = !next;
    }
}
BENCHMARK(StatusLineChanged);

void FullRedraw(benchmark::State& state) {
    GraphScene scene;
    for (auto _ : state) {
        scene.Plot->RedrawPending = true;
        RedrawGraph(*scene.Plot, 0);
    }
}
BENCHMARK(FullRedraw);

void Compression(benchmark::State& state) {
    GraphScene scene;
    for (auto _ : state) {
        CompressTimeAxis(*scene.Plot);
    }
}
BENCHMARK(Compression);

// What a test's pass adds for its curve file: a reading into the second's
// mean, and once the second is over one row written. Each of the benchmark's
// passes is a thousandth of a second, several times more than a real pass
// at its fastest, so the rows' share is overstated.
void CurvePass(benchmark::State& state) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / "voltrex-bench-curve";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    {
        CurveRecorder curve;
        curve.Start((folder / "curves").string(), LocalTime{2026, 12, 8, 14, 15, 3},
                    TestMode::Monitor, "Mode: MON");
        std::int64_t pass = 0;
        for (auto _ : state) {
            curve.Add(pass / 1000, 7.0 + 0.001 * static_cast<double>(pass % 7), 0.0, 0, 0.0, 0.0);
            ++pass;
        }
        curve.Finish(TestEnd::StoppedByUser);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(CurvePass);

}  // namespace
}  // namespace voltrex::bench

BENCHMARK_MAIN();
