// The port library with a simulated charger board and battery pack behind it:
// the program runs, measures, charges and discharges as on the real instrument,
// in real time, with no hardware. The board answers at its data address
// (0x378 unless "Voltrex2Sim.ini" in the working directory says otherwise);
// see simulator/SimulatorSettings.h for that file's keys.
//
// A C library has no handle to hand around, so the board is one object for
// the process, built on the first call from any entry point and kept until
// the library is unloaded.

#include <cstdio>

#include "io/PortBackend.h"
#include "platform/CFormat.h"
#include "platform/SystemClock.h"
#include "simulator/SimulatedBoard.h"
#include "simulator/SimulatorSettings.h"

namespace voltrex::io {

namespace {

using simulator::SimulatorSettings;

class SimulatedInstrument {
  public:
    SimulatedInstrument()
        : settings_(LoadSettings()),
          board_(clock_, settings_.Pack, settings_.DataAddress,
                 simulator::DefaultBoardCalibration(), settings_.NoiseSeed),
          accessSeconds_(settings_.AccessMicroseconds * 1e-6) {}

    void Out(unsigned short port, unsigned char value) {
        const double start = Start();
        board_.Out(port, value);
        Finish(start);
    }

    unsigned char In(unsigned short port) {
        const double start = Start();
        const unsigned char value = board_.In(port);
        Finish(start);
        return value;
    }

  private:
    static SimulatorSettings LoadSettings() {
        SimulatorSettings settings;
        for (const std::string& message :
             simulator::ReadSimulatorSettings(simulator::SimulatorSettingsFileName, settings)) {
            std::fputs(Format("libio (simulated): %s\n", message.c_str()).c_str(), stderr);
        }
        return settings;
    }

    double Start() { return accessSeconds_ > 0.0 ? clock_.Monotonic() : 0.0; }

    // A parallel port access is an ISA bus cycle of about 1 us; waiting that
    // long gives a conversion the duration it has on the real instrument.
    void Finish(double start) {
        if (accessSeconds_ > 0.0) {
            while (clock_.Monotonic() - start < accessSeconds_) {
            }
        }
    }

    SystemClock clock_;
    SimulatorSettings settings_;
    simulator::SimulatedBoard board_;
    double accessSeconds_;
};

SimulatedInstrument& TheInstrument() {
    static SimulatedInstrument instrument;
    return instrument;
}

}  // namespace

void ByteOut(unsigned short port, unsigned char value) {
    TheInstrument().Out(port, value);
}

unsigned char ByteIn(unsigned short port) {
    return TheInstrument().In(port);
}

bool DriverInstalled() {
    return true;
}

}  // namespace voltrex::io
