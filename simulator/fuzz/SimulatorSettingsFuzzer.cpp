// Fuzz target of the simulated port library's settings reader: any bytes as
// Voltrex2Sim.ini.
//
// Besides what the sanitizers catch, it checks what the reader promises:
// whatever the file holds, every setting stays within its documented range,
// the settings written back read again without a message, and a pack built
// from them gives finite voltages under charge and discharge.

#include <cmath>
#include <cstdlib>

#include "platform/fuzz/FuzzInputFile.h"
#include "simulator/BatteryPack.h"
#include "simulator/SimulatorSettings.h"

namespace {

using voltrex::simulator::SimulatorSettings;

bool InRange(const SimulatorSettings& s) {
    return s.DataAddress >= 1 && s.DataAddress <= 0xFFFD && s.Pack.Cells >= 1 &&
           s.Pack.Cells <= 12 && s.Pack.CapacityMah > 0.0 && s.Pack.CapacityMah <= 1e6 &&
           s.Pack.StateOfCharge >= 0.0 && s.Pack.StateOfCharge <= 1.0 &&
           s.Pack.ResistancePerCell >= 0.0 && s.Pack.ResistancePerCell <= 10.0 &&
           s.AccessMicroseconds >= 0.0 && s.AccessMicroseconds <= 1000.0;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SimulatorSettings settings;
    const std::vector<std::string> messages = voltrex::simulator::ReadSimulatorSettings(
        voltrex::fuzzing::FuzzInputFile(data, size), settings);
    Check(InRange(settings));
    for (const std::string& message : messages) {
        Check(!message.empty() && message.back() == '.');
    }

    const std::string written = voltrex::simulator::FormatSimulatorSettings(settings);
    SimulatorSettings again;
    Check(voltrex::simulator::ReadSimulatorSettings(
              voltrex::fuzzing::FuzzInputFile(reinterpret_cast<const std::uint8_t*>(written.data()),
                                              written.size()),
              again)
              .empty());
    Check(again.DataAddress == settings.DataAddress && again.Pack.Type == settings.Pack.Type &&
          again.Pack.Cells == settings.Pack.Cells && again.NoiseSeed == settings.NoiseSeed);

    // A minute at the highest currents of a charger of this kind, each way.
    voltrex::simulator::BatteryPack pack(settings.Pack);
    for (const double amperes : {5.0, -5.0}) {
        pack.SetCurrent(amperes);
        pack.Advance(60.0);
        Check(std::isfinite(pack.TerminalVoltage()) && std::isfinite(pack.StateOfCharge()));
    }
    return 0;
}
