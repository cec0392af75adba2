#pragma once

#include <functional>
#include <string>

#include "instrument/Port.h"
#include "instrument/PortLibrary.h"

namespace voltrex {

// How the main window's first show gets at the port: the port, or nullptr
// when the port library cannot be loaded. The program binds the real library
// by name; tests hand in a recording port instead. The port lives as long as
// the program.
using PortBinder = std::function<Port*()>;

// Binds library (owned by the caller for the whole run, so it is unloaded at
// exit) under the given name, as the program does at start-up.
PortBinder LibraryBinder(PortLibrary& library, std::string name = PortLibraryName);

}  // namespace voltrex
