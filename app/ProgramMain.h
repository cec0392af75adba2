#pragma once

#include <functional>

namespace voltrex {

class Program;

// The program's whole run: the emergency switch-off on every way out, the
// application with its look, the program's records and windows, the port
// library bound by name at the main window's first show, and the event loop.
// Returns the exit status. started, when given, runs once the main window
// has been shown and its start-up chain has run (test drivers script the
// real program through it).
int ProgramMain(int argc, char** argv, const std::function<void(Program&)>& started = nullptr);

}  // namespace voltrex
