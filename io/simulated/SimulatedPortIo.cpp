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

#include "io/PortByteOps.h"
#include "io/PortIo.h"
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

void ByteOut(unsigned short port, unsigned char value) {
    TheInstrument().Out(port, value);
}

unsigned char ByteIn(unsigned short port) {
    return TheInstrument().In(port);
}

using Ops = PortByteOps<ByteOut, ByteIn>;

}  // namespace

}  // namespace voltrex::io

using voltrex::io::Ops;

extern "C" {

void PortOut(unsigned short port, unsigned char value) {
    voltrex::io::ByteOut(port, value);
}
void PortWordOut(unsigned short port, unsigned short value) {
    Ops::WordOut(port, value);
}
void PortDWordOut(unsigned short port, unsigned int value) {
    Ops::DWordOut(port, value);
}
unsigned char PortIn(unsigned short port) {
    return voltrex::io::ByteIn(port);
}
unsigned short PortWordIn(unsigned short port) {
    return Ops::WordIn(port);
}
unsigned int PortDWordIn(unsigned short port) {
    return Ops::DWordIn(port);
}
void SetPortBit(unsigned short port, unsigned char bit) {
    Ops::SetBit(port, bit);
}
void ClrPortBit(unsigned short port, unsigned char bit) {
    Ops::ClrBit(port, bit);
}
void NotPortBit(unsigned short port, unsigned char bit) {
    Ops::NotBit(port, bit);
}
int GetPortBit(unsigned short port, unsigned char bit) {
    return Ops::GetBit(port, bit);
}
int RightPortShift(unsigned short port, int value) {
    return Ops::RightShift(port, value);
}
int LeftPortShift(unsigned short port, int value) {
    return Ops::LeftShift(port, value);
}
int IsDriverInstalled(void) {
    return 1;
}

}  // extern "C"
