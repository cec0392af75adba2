#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "simulator/BatteryPack.h"
#include "simulator/SimulatedBoard.h"

namespace voltrex::simulator {

// The file the simulated port library reads from its working directory, if
// it is there.
inline constexpr const char* SimulatorSettingsFileName = "Voltrex2Sim.ini";

// How the simulated port library builds its board and pack. Without a
// settings file: a board at 0x378 with a 7-cell NiMH pack of AA cells
// (2000 mAh), as a transmitter or receiver pack, found 90 % charged: a charge
// at 1 C (2.004 A) peaks and ends on delta-V within a quarter of an hour, as
// a real pack does, and every rate of the board is a physical C-rate for it
// (0.025 C to 2.5 C); and port accesses that take 1 us each as on a real
// parallel port.
struct SimulatorSettings {
    static constexpr double DefaultCapacityMah = 2000.0;
    static constexpr double DefaultStateOfCharge = 0.90;

    std::uint16_t DataAddress = 0x378;
    BatteryPack::Settings Pack{Chemistry::NiMH,      7,   DefaultCapacityMah,
                               DefaultStateOfCharge, 0.0, 25.0};
    std::uint32_t NoiseSeed = SimulatedBoard::DefaultSeed;
    double AccessMicroseconds = 1.0;
    // The file that records every byte written to a port (io/simulated/WriteLog.h),
    // relative to the working directory; empty: no log.
    std::string WriteLog;
    // A board without its supply: no current flows and no conversion
    // succeeds, as when its plug has come out.
    bool Powered = true;
    // A pack whose leads are off (or whose fuse has blown): the board reads
    // about 0 V and no current flows.
    bool PackConnected = true;
};

// Reads "key = value" lines (keys in any letter case; ';' or '#' starts a
// comment; blank lines are skipped) into settings:
//   DataAddress         hexadecimal, with or without 0x (1 to FFFD)
//   Chemistry           NiCd, NiMH, LiPo, LiNP or PbAcid
//   Cells               1 to 12
//   Capacity            mAh, more than 0 up to 1000000
//   StateOfCharge       percent, 0 to 100
//   Resistance          ohms per cell, 0 (the chemistry's typical value for
//                       the capacity) to 10
//   NoiseSeed           0 to 4294967295
//   AccessMicroseconds  0 (as fast as possible) to 1000
//   WriteLog            a file name (the rest of the line, inner blanks kept);
//                       empty for none
//   Powered             yes or no
//   PackConnected       yes or no
// A line it cannot use (a line holding a NUL byte among them) leaves the value
// as it was and adds a message naming the file, the line and the value kept.
// A missing file is not an error; a name that is not a regular file (a FIFO,
// a folder) is refused at once with a message, never waited on.
std::vector<std::string> ReadSimulatorSettings(const std::string& path,
                                               SimulatorSettings& settings);

// The settings as a file that ReadSimulatorSettings reads back to the same
// values.
std::string FormatSimulatorSettings(const SimulatorSettings& settings);

}  // namespace voltrex::simulator
