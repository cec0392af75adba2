// voltrex2-portcheck: checks the port library and the charger board without
// the desktop program. Run it in the folder that holds Voltrex2.ini (it takes
// the port address and the calibration from there; a hexadecimal port address
// as the only argument overrides the file's). It loads libio.so as the
// program does, says which board that library drives, asks the library
// whether the port can be used at all, switches the instrument all off, ramps
// the D-to-A counter once to see both comparators flip, and takes a few
// voltage readings. It never switches a current on.
//
// Exit status: 0 when everything answered as a connected board should, 1 when
// not (the output says what to look at), 2 when it could not start.

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/ConfigurationReader.h"
#include "instrument/Instrument.h"
#include "instrument/PortBits.h"
#include "instrument/PortLibrary.h"
#include "platform/CFormat.h"
#include "platform/SystemClock.h"

namespace voltrex {
namespace {

constexpr const char* UsageText =
    "Usage: voltrex2-portcheck [PORT]\n"
    "\n"
    "Checks the port library and the charger board without the desktop program.\n"
    "Run it in the folder that holds Voltrex2.ini: the port address and the\n"
    "calibration come from there. PORT, a hexadecimal address such as 378 or\n"
    "0x378, checks that port instead.\n"
    "\n"
    "It loads the port library libio.so as the program does and says which board\n"
    "that library drives, asks whether the port can be used, switches the\n"
    "instrument all off, ramps the D-to-A counter to see both comparators flip\n"
    "(expect 1 1 at count 0 and 0 0 at count 4095) and takes five conversions and\n"
    "a mean of 20. It never switches a current on.\n"
    "\n"
    "The library is found as the program finds it; to check another one, put its\n"
    "folder first on the library path, e.g. the real parallel port's from the\n"
    "build tree:\n"
    "  LD_LIBRARY_PATH=build/default/lib/parport voltrex2-portcheck\n"
    "\n"
    "Exit status: 0 the board answers as it should; 1 it does not, or the port\n"
    "cannot be used (the output says what to look at); 2 the check could not\n"
    "start (no Voltrex2.ini, no port library, a wrong argument).\n"
    "\n"
    "Options:\n"
    "  -h, --help  print this text and exit\n";

void Say(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

constexpr std::uint8_t Comparators = LowSideComparator | HighSideComparator;

std::string Bits(unsigned char status) {
    return Format("status 0x%02X: low-side %d, high-side %d", status,
                  (status & LowSideComparator) != 0 ? 1 : 0,
                  (status & HighSideComparator) != 0 ? 1 : 0);
}

// A port address as the user types it: 1 to 4 hexadecimal digits, with or
// without 0x, not 0 (which is no port).
bool ParsePort(const char* text, std::uint16_t& port) {
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text += 2;
    }
    const std::size_t digits = std::strlen(text);
    if (digits == 0 || digits > 4) {
        return false;
    }
    unsigned value = 0;
    for (; *text != '\0'; ++text) {
        const char c = *text;
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = value * 16 + digit;
    }
    if (value == 0) {
        return false;
    }
    port = static_cast<std::uint16_t>(value);
    return true;
}

bool Contains(const char* text, const char* part) {
    return std::strstr(text, part) != nullptr;
}

// What to look at when the port itself cannot be reached, fitted to the
// library's reason. None of it is about the board: nothing reached it.
void SayPortAccessHints(const char* problem, bool simulated) {
    Say("What to look at:\n");
    if (simulated) {
        Say("  the first line of Voltrex2.ini  is the port the program and this check use\n"
            "  DataAddress in Voltrex2Sim.ini  is where the simulated charger answers (378)\n");
    } else if (Contains(problem, "no parallel port at")) {
        Say("  cat /proc/sys/dev/parport/parport*/base-addr  lists each port's address in decimal\n"
            "  printf '%x\\n' 888  turns a decimal address into the hexadecimal one (378)\n"
            "  sudo modprobe parport_pc  loads the driver that finds the ports\n");
    } else if (Contains(problem, "is missing")) {
        Say("  sudo modprobe ppdev  loads the driver that makes /dev/parport*\n"
            "  echo ppdev | sudo tee /etc/modules-load.d/ppdev.conf  loads it at every start\n");
    } else if (Contains(problem, "No permission")) {
        Say("  id -nG  must list lp; a group added with usermod counts only after you log out\n"
            "          and in again\n"
            "  ls -l /dev/parport*  shows the group (lp) that may use the port\n");
    } else if (Contains(problem, "held by") || Contains(problem, "in use by")) {
        Say("  cat /proc/sys/dev/parport/parport*/devices/active  names what holds each port\n"
            "  ps -C voltrex2,voltrex2-portcheck  shows copies of the program and of this check\n");
        if (Contains(problem, "printer driver")) {
            Say("  lsmod | grep '^lp '  shows whether the printer driver is loaded\n");
        }
    } else if (Contains(problem, "stopped answering")) {
        Say("  sudo dmesg | tail  may say what became of the port (a USB or PCIe card gone)\n");
    } else {
        Say("  ls -l /dev/parport*  shows the port devices and their group (lp)\n"
            "  cat /proc/sys/dev/parport/parport*/devices/active  names what holds each port\n");
    }
    if (!simulated) {
        Say("Until the port works, the menu entry \"Voltrex II (simulated charger)\" "
            "(voltrex2-launch\n"
            "simulated) runs every test on a simulated charger; man voltrex2 says how to set up\n"
            "the port.\n");
    }
}

int Check(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            Say(UsageText);
            return 0;
        }
    }
    const char* portArgument = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            Say(
                Format("Unknown option \"%s\".\nUsage: voltrex2-portcheck [PORT] (--help says "
                       "more)\n",
                       argv[i]));
            return 2;
        }
        if (portArgument != nullptr) {
            Say("Give one port address at most.\nUsage: voltrex2-portcheck [PORT] (--help says "
                "more)\n");
            return 2;
        }
        portArgument = argv[i];
    }

    Configuration config;
    if (const auto message = ReadConfiguration(config)) {
        Say(Format("Voltrex2.ini: %s\nRun this in the folder that holds the configuration.\n",
                   message->c_str()));
        return 2;
    }
    std::uint16_t port = config.PortAddress;
    if (portArgument != nullptr && !ParsePort(portArgument, port)) {
        Say(
            Format("\"%s\" is not a hexadecimal port address.\nGive it as 378 or 0x378 (--help "
                   "says more).\n",
                   portArgument));
        return 2;
    }

    PortLibrary library;
    if (library.BindPortLibrary() != 0) {
        Say(Format("Error loading I/O library %s: %s\n", PortLibraryName,
                   library.LastError().c_str()));
        return 2;
    }
    const PortEntryPoints& entries = library.EntryPoints();
    LibraryPort& libraryPort = library.AsPort();
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(entries.PortOut), &info) != 0 && info.dli_fname != nullptr) {
        Say(Format("Port library: %s\n", info.dli_fname));
    }
    const char* simulated = libraryPort.SimulatedBoardName();
    if (simulated != nullptr) {
        Say(Format("Board: %s (no hardware is driven)\n", simulated));
    } else {
        Say(Format("Board: the instrument on the parallel port at 0x%X\n", port));
    }
    const bool driverInstalled = libraryPort.DriverInstalled();
    if (entries.IsDriverInstalled != nullptr) {
        Say(Format("Port access available: %s\n", driverInstalled ? "yes" : "no"));
    }

    // Nothing is written before the library has said that the port works.
    const char* problem = libraryPort.AccessProblem(port);
    if (problem != nullptr) {
        Say(Format("Port 0x%X cannot be used: %s\n", port, problem));
        SayPortAccessHints(problem, simulated != nullptr);
        Say("Nothing was written to the port.\n");
        return 1;
    }
    if (!driverInstalled) {
        Say("The port library reaches no parallel port.\n");
        SayPortAccessHints("", simulated != nullptr);
        Say("Nothing was written to the port.\n");
        return 1;
    }

    SystemClock clock;
    Instrument instrument(clock, config.Calibration);
    instrument.BindPort(libraryPort);
    Say(Format("Port 0x%X: switching the instrument all off (data register 0x00)\n", port));
    instrument.SetPortAddress(port);
    const auto status = static_cast<std::uint16_t>(port + 1);

    instrument.ClockCounterTo(0);
    const unsigned char atZero = libraryPort.In(status);
    Say(Format("Counter at 0:    %s (a connected board reads 1, 1)\n", Bits(atZero).c_str()));
    instrument.ClockCounterTo(CounterRange - 1);
    const unsigned char atTop = libraryPort.In(status);
    Say(Format("Counter at 4095: %s (a connected board reads 0, 0)\n", Bits(atTop).c_str()));
    instrument.ClockCounterTo(0);

    // A port that stopped answering on the way reads all ones: that is no
    // fault of the board.
    if (const char* lost = libraryPort.AccessProblem(port)) {
        Say(Format("Port 0x%X stopped working during the check: %s\n", port, lost));
        SayPortAccessHints(lost, simulated != nullptr);
        instrument.ClearPortAddress();
        return 1;
    }

    bool good = (atZero & Comparators) == Comparators && (atTop & Comparators) == 0;
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
