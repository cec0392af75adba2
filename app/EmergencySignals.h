#pragma once

namespace voltrex {

// The signals that end the program: a pack left charging on a dead program
// would go on charging, since the port keeps its data pins. Each handler
// writes the all-off byte through the emergency switch and then lets the
// signal take its default action (end, or end with a core dump). A signal
// that was ignored when the program started (nohup) stays ignored.
void InstallEmergencySignalHandlers();

}  // namespace voltrex
