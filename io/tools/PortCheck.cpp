// voltrex2-portcheck: checks the port library and the charger board without
// the desktop program. Run it in the folder that holds Voltrex2.ini (it takes
// the port address and the calibration from there; a hexadecimal port address
// as the only argument overrides the file's). It loads libio.so as the
// program does, switches the instrument all off, ramps the D-to-A counter
// once to see both comparators flip, and takes a few voltage readings. It
// never switches a current on.
//
// Exit status: 0 when everything answered as a connected board should, 1 when
// not (the output says what to look at), 2 when it could not start.

#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "config/ConfigurationReader.h"
#include "instrument/Instrument.h"
#include "instrument/PortLibrary.h"
#include "platform/CFormat.h"
#include "platform/SystemClock.h"

namespace voltrex {
namespace {

void Say(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

std::string Bits(unsigned char status) {
    return Format("status 0x%02X: low-side %d, high-side %d", status, (status >> 4) & 1,
                  (status >> 3) & 1);
}

int Check(int argc, char** argv) {
    Configuration config;
    if (const auto message = ReadConfiguration(config)) {
        Say(Format("Voltrex2.ini: %s\nRun this in the folder that holds the configuration.\n",
                   message->c_str()));
        return 2;
    }
    std::uint16_t port = config.PortAddress;
    if (argc > 1 && ScanC(argv[1], "%hx", &port) != 1) {
        Say(Format("\"%s\" is not a hexadecimal port address.\n", argv[1]));
        return 2;
    }

    PortLibrary library;
    if (library.BindPortLibrary() != 0) {
        Say(Format("Error loading I/O library %s: %s\n", PortLibraryName,
                   library.LastError().c_str()));
        return 2;
    }
    const PortEntryPoints& entries = library.EntryPoints();
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(entries.PortOut), &info) != 0 && info.dli_fname != nullptr) {
        Say(Format("Port library: %s\n", info.dli_fname));
    }
    if (entries.IsDriverInstalled != nullptr) {
        Say(Format("Port access available: %s\n", entries.IsDriverInstalled() ? "yes" : "no"));
    }

    SystemClock clock;
    Instrument instrument(clock, config.Calibration);
    instrument.BindPort(entries.PortOut, entries.PortIn);
    Say(Format("Port 0x%X: switching the instrument all off (data register 0x00)\n", port));
    instrument.SetPortAddress(port);
    const auto status = static_cast<std::uint16_t>(port + 1);

    instrument.ClockCounterTo(0);
    const unsigned char atZero = entries.PortIn(status);
    Say(Format("Counter at 0:    %s (a connected board reads 1, 1)\n", Bits(atZero).c_str()));
    instrument.ClockCounterTo(4095);
    const unsigned char atTop = entries.PortIn(status);
    Say(Format("Counter at 4095: %s (a connected board reads 0, 0)\n", Bits(atTop).c_str()));
    instrument.ClockCounterTo(0);

    bool good = (atZero & 0x18) == 0x18 && (atTop & 0x18) == 0;
    if (!good) {
        Say("The comparators did not flip as they should: check that the board is powered and\n"
            "connected to this port, that the port address is right, and that a pack is\n"
            "connected to the sense leads.\n");
    }
    for (int i = 1; i <= 5; ++i) {
        const double v = instrument.MeasureVoltage(config.Calibration);
        Say(Format("Conversion %d: %.3f V\n", i, v));
        good = good && v != -1.0;
    }
    Say(Format("Voltage (mean of 20 conversions): %.3f V\n", instrument.ReadVoltage(true)));
    instrument.ClearPortAddress();
    Say(good ? "The board answers as it should.\n" : "The board does not answer as it should.\n");
    return good ? 0 : 1;
}

}  // namespace
}  // namespace voltrex

int main(int argc, char** argv) {
    return voltrex::Check(argc, argv);
}
