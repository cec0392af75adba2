// Runs one operation many times with callgrind's collection switched on only
// around the loop, so that `valgrind --tool=callgrind --collect-atstart=no`
// counts the instructions of exactly those calls (bench/run divides them).
//
//   voltrex_bench_counts <operation> <times>
//
// Operations: conversion (a 7-cell nickel pack's conversion on a port that
// costs nothing: the comparators flip at counts 300 and 900, about 3000 accesses), addpoint (steady
// state: the same second, the same pixel), status-unchanged, status-changed, full-redraw,
// compression. Prints the port accesses made, for the per-access figure.

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
// Without valgrind's header the program still runs, and counts nothing.
#define CALLGRIND_TOGGLE_COLLECT
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/BenchPort.h"
#include "bench/GraphScenes.h"
#include "config/Configuration.h"
#include "instrument/Instrument.h"
#include "testsupport/VirtualClock.h"

using namespace voltrex;

namespace {

template <typename Operation>
void Collect(int times, Operation operation) {
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < times; ++i) {
        operation(i);
    }
    CALLGRIND_TOGGLE_COLLECT;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: voltrex_bench_counts <operation> <times>\n", stderr);
        return 2;
    }
    const std::string operation = argv[1];
    char* end = nullptr;
    const long parsed = std::strtol(argv[2], &end, 10);
    if (end == argv[2] || *end != '\0' || parsed < 1 || parsed > 1000000000) {
        std::fputs("voltrex_bench_counts: <times> is a whole number from 1 on\n", stderr);
        return 2;
    }
    const int times = static_cast<int>(parsed);
    if (operation == "conversion") {
        testing::VirtualClock clock;
        CalibrationBlock calibration;
        for (int i = 0; i < 12; ++i) {
            calibration.BitWeights[static_cast<std::size_t>(i)] = 0.005 * (1 << i);
        }
        calibration.LowSideMultiplier = 1.0;
        calibration.HighSideMultiplier = 1.0;
        bench::FreePort port(300, 900);
        Instrument instrument(clock, calibration);
        instrument.BindPort(port);
        instrument.SetPortAddress(0x378);
        const auto before = bench::FreePort::Accesses();
        volatile double sink = 0.0;
        Collect(times, [&](int) { sink = instrument.MeasureVoltage(calibration); });
        std::printf("accesses %lld\n",
                    static_cast<long long>(bench::FreePort::Accesses() - before));
        return sink == -1.0 ? 1 : 0;
    }
    bench::GraphScene scene;
    GraphPlot& plot = *scene.Plot;
    const int last = plot.ColumnCount - 1;
    if (operation == "addpoint") {
        AddPoint(plot, last, 8.3);
        Collect(times, [&](int) { AddPoint(plot, last, 8.3); });
    } else if (operation == "status-unchanged") {
        Collect(times, [&](int) { SetStatusLine(plot, scene.Status); });
    } else if (operation == "status-changed") {
        Collect(times,
                [&](int i) { SetStatusLine(plot, i % 2 ? scene.Status : scene.NextStatus); });
    } else if (operation == "full-redraw") {
        Collect(times, [&](int) {
            plot.RedrawPending = true;
            RedrawGraph(plot, 0);
        });
    } else if (operation == "compression") {
        Collect(times, [&](int) { CompressTimeAxis(plot); });
    } else {
        std::fprintf(stderr, "unknown operation %s\n", operation.c_str());
        return 2;
    }
    std::printf("repaints %lld\n", scene.Repaints);
    return 0;
}
