// Draws what the program shows during an auto cycle of a 7-cell NiMH pack: a
// one-hour discharge at 1 C down to the end voltage, then the charge that
// continues on the same graph until the negative delta-V, with the title and
// status lines the tests write. The pack is the simulated charger's battery
// model (simulator/BatteryPack.h); the converter's noise comes from a
// fixed-seed generator, so every run draws the same picture.
//
//   graph_example [file.bmp]      (default graph-example.bmp)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>

#include "graph/Graph.h"
#include "graph/GraphFileError.h"
#include "platform/CFormat.h"
#include "simulator/BatteryPack.h"

namespace {

using voltrex::Format;

constexpr int Cells = 7;
constexpr double CapacityMah = 2100.0;  // a little more than the 2000 mAh label
constexpr double CurrentA = 2.0;        // 1 C both ways
constexpr double EndVoltage = 6.86;
constexpr int SamplesPerSecond = 4;

// The converter's last bits: a few millivolts of deterministic noise.
class Noise {
  public:
    double Next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return (static_cast<double>(state_ >> 40) / static_cast<double>(1ULL << 24) - 0.5) * 0.006;
    }

  private:
    std::uint64_t state_ = 20240601;
};

std::string Elapsed(int seconds) {
    return Format("%d:%02d:%02d", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string fileName = argc > 1 ? argv[1] : "graph-example.bmp";
    voltrex::Graph graph;
    // Full, with 0.15 ohms as the resistance test would report it.
    voltrex::simulator::BatteryPack pack(
        {voltrex::simulator::Chemistry::NiMH, Cells, CapacityMah, 1.0, 0.15 / Cells});
    const double packResistance = pack.Resistance();
    // One second at the current (positive discharges); the terminal voltage.
    const auto step = [&pack](double current) {
        pack.SetCurrent(current);
        pack.Advance(1.0);
        return pack.TerminalVoltage();
    };
    Noise noise;

    // Discharge: a fresh graph from the end voltage to just above the start.
    graph.CreateGraph(0.0, 0.0);
    const double startVoltage = pack.OpenCircuitVoltage();
    graph.CreateGraph(EndVoltage, startVoltage + 0.05);
    voltrex::GraphPlot* plot = graph.CurrentGraph();
    SetTitleLine(*plot, Format("Discharge  Battery: %d NiMH  Rate: %1.0fmA  VMin: %1.2fV  "
                               "Resistance: %1.4f Ohms",
                               Cells, CurrentA * 1000, EndVoltage, packResistance));
    double charge = 0.0;
    double energy = 0.0;
    int dischargeSeconds = 0;
    for (bool done = false; !done; ++dischargeSeconds) {
        const double voltage = step(CurrentA);
        charge += CurrentA;
        energy += CurrentA * voltage;
        for (int sample = 0; sample < SamplesPerSecond; ++sample) {
            const double reading = voltage + noise.Next();
            done = done || reading < EndVoltage;
            SetStatusLine(*plot, Format("Time: %s  Voltage: %1.2fV  Discharge: %1.0fmAh (%1.0fmWh)",
                                        Elapsed(dischargeSeconds).c_str(), reading, charge / 3.6,
                                        energy / 3.6));
            AddPoint(*plot, dischargeSeconds, reading);
        }
    }

    // Charge, continuing on the discharge's graph as in an auto cycle, until
    // the voltage has stayed 0.3 % below its peak for half a minute.
    SetTitleLine(*plot, Format("Charge  Battery: %d NiMH  Rate: %1.0fmA  Delta: %1.2f%%  "
                               "TLimit: %2d:%02d:%02d  Resistance: %1.4f Ohms",
                               Cells, CurrentA * 1000, 0.30, 1, 30, 0, packResistance));
    charge = 0.0;
    energy = 0.0;
    double peak = 0.0;
    int dropSince = 0;
    const std::string capacity = Format("/%1.0fmAh", dischargeSeconds * CurrentA / 3.6);
    for (int elapsed = 0; elapsed - dropSince <= 30 && elapsed <= 5400; ++elapsed) {
        const double voltage = step(-CurrentA);
        charge += CurrentA;
        energy += CurrentA * voltage;
        double drop = 0.0;
        for (int sample = 0; sample < SamplesPerSecond; ++sample) {
            const double reading = voltage + noise.Next();
            if (elapsed > 60) {
                peak = std::max(peak, reading);
                drop = (peak - reading) / peak;
            }
            if (drop < 0.003) {
                dropSince = elapsed;
            }
            SetStatusLine(*plot,
                          Format("Time: %s  Voltage: %1.2fV  Charge: %1.0fmAh%s "
                                 "(%1.0fmWh)  Delta: %1.2f%% (%ds)",
                                 Elapsed(elapsed).c_str(), reading, charge / 3.6, capacity.c_str(),
                                 energy / 3.6, drop * 100, elapsed - dropSince));
            AddPoint(*plot, dischargeSeconds + elapsed, reading);
        }
    }

    try {
        graph.SaveCurrentGraph(fileName);
    } catch (const voltrex::GraphFileError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    std::printf("%s: discharge %s, charge done; %d s per column\n", fileName.c_str(),
                Elapsed(dischargeSeconds).c_str(), plot->CompressionStep);
    return 0;
}
