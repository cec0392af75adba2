#pragma once

#include <functional>
#include <optional>
#include <string>

#include "instrument/PortLibrary.h"
#include "io/PortIo.h"

namespace voltrex {

// The two entry points of the port library that the instrument calls, and
// what the start-up asks of the library before the first write; the last
// three may be empty (a library that lacks them).
struct PortBinding {
    PortOutProc PortOut = nullptr;
    PortInProc PortIn = nullptr;
    IsDriverInstalledProc IsDriverInstalled = nullptr;
    PortAccessProblemProc PortAccessProblem = nullptr;
    SimulatedBoardNameProc SimulatedBoardName = nullptr;
};

// How the main window's first show gets at the port library: the entry points,
// or nothing when the library cannot be loaded. The program binds the real
// library by name; tests hand in a recording port instead.
using PortBinder = std::function<std::optional<PortBinding>()>;

// Binds library (owned by the caller for the whole run, so it is unloaded at
// exit) under the given name, as the program does at start-up.
PortBinder LibraryBinder(PortLibrary& library, std::string name = PortLibraryName);

}  // namespace voltrex
