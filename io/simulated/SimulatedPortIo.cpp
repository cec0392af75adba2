// The port library with a simulated charger board and battery pack behind it:
// the program runs, measures, charges and discharges as on the real instrument,
// in real time, with no hardware. The board answers at its data address
// (0x378 unless "Voltrex2Sim.ini" in the working directory says otherwise);
// see simulator/SimulatorSettings.h for that file's keys.
//
// A C library has no handle to hand around, so the board is one object for
// the process, built on the first call from any entry point and kept until
// the library is unloaded.
//
// With WriteLog set in Voltrex2Sim.ini, every byte written to any port, by any
// entry point, is recorded (io/simulated/WriteLog.h): the word and bit entry
// points write through ByteOut, the one place that records.

#include <cstdio>
#include <map>
#include <string>

#include "io/PortBackend.h"
#include "io/PortIo.h"
#include "io/simulated/WriteLog.h"
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
          accessSeconds_(settings_.AccessMicroseconds * 1e-6) {
        board_.SetPowered(settings_.Powered);
        board_.SetPackConnected(settings_.PackConnected);
        if (!settings_.WriteLog.empty()) {
            const std::string problem = log_.Open(settings_.WriteLog);
            if (!problem.empty()) {
                Report(
                    Format("%s: the write log \"%s\" cannot be opened (%s); the board runs "
                           "without it.",
                           simulator::SimulatorSettingsFileName, settings_.WriteLog.c_str(),
                           problem.c_str()));
            }
        }
    }

    // Runs in the program's signal and exit handlers too (its emergency
    // switch-off): nothing here allocates, locks or opens a file once the
    // instrument is built.
    void Out(unsigned short port, unsigned char value) {
        const double start = Start();
        board_.Out(port, value);
        if (log_.IsOpen()) {
            log_.Record(port, value);
        }
        Finish(start);
    }

    unsigned char In(unsigned short port) {
        const double start = Start();
        const unsigned char value = board_.In(port);
        Finish(start);
        return value;
    }

    // The board answers only at its own data address; any other is a
    // configuration that does not match it. Each port's text is kept, so a
    // text handed out stays valid while the library is loaded.
    const char* AccessProblem(unsigned short port) {
        const unsigned short board = board_.DataAddress();
        if (port == board) {
            return nullptr;
        }
        auto [entry, isNew] = problems_.try_emplace(port);
        if (isNew) {
            // DataAddress cannot name every port (not 0, nor the last two, as
            // the board's status and control registers follow it).
            const bool settable = port >= 1 && port <= 0xFFFD;
            std::string text = Format(
                "the simulated charger answers at 0x%X, not at 0x%X: put %X on the first line of "
                "Voltrex2.ini",
                board, port, board);
            if (settable) {
                text += Format(", or DataAddress = %X in %s", port,
                               simulator::SimulatorSettingsFileName);
            }
            entry->second = text + ".";
        }
        return entry->second.c_str();
    }

  private:
    static void Report(const std::string& message) {
        std::fputs(Format("libio (simulated): %s\n", message.c_str()).c_str(), stderr);
    }

    static SimulatorSettings LoadSettings() {
        SimulatorSettings settings;
        for (const std::string& message :
             simulator::ReadSimulatorSettings(simulator::SimulatorSettingsFileName, settings)) {
            Report(message);
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
    WriteLog log_;
    std::map<unsigned short, std::string> problems_;
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

extern "C" {

const char* PortAccessProblem(unsigned short port) {
    return voltrex::io::TheInstrument().AccessProblem(port);
}

const char* SimulatedBoardName(void) {
    return "simulated charger";
}

}  // extern "C"
