#pragma once

namespace voltrex {

// A pack left charging on a dead program would go on charging, since the
// parallel port keeps its data pins. This installs the emergency switch-off
// (instrument/EmergencySwitch.h) on every way out of the process that the
// program can see:
//
// - every signal whose default action ends the process (the requests to end,
//   SIGINT, SIGTERM, SIGHUP, SIGQUIT, and SIGXCPU, SIGXFSZ, SIGSYS, SIGTRAP,
//   SIGUSR1/2, SIGALRM, SIGVTALRM, SIGPROF, SIGPWR, SIGSTKFLT and the
//   real-time signals): the handler switches off and then lets the signal
//   take its default action, so the process ends as it would have, with the
//   same status. A request to end that was ignored when the program started
//   (nohup) stays ignored.
// - the faults SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT, on an alternate
//   signal stack so that a stack overflow still runs the handler; the default
//   action then writes the core dump.
// - std::terminate (an exception nobody caught): switch off, then abort.
// - SIGPIPE is ignored: standard error into a pipe whose reader has gone
//   must not end a charge. SIGTSTP (Ctrl+Z in a terminal) is ignored too: a
//   stopped program would leave the current flowing with no one to end it.
//
// exit() from anywhere (the display connection breaking makes the toolkit
// call it) is covered by the exit-list entry that arming the switch makes.
// Only SIGKILL, SIGSTOP and a power cut of the PC cannot be caught.
void InstallEmergencySwitchOff();

// Files that must not outlive the process however it ends (the published
// live state): after the switch-off, the handlers of the signals above and
// the process-exit list unlink them, then remove folder (when empty). Up to
// four files; the names are copied. ForgetOnEmergency drops them again once
// the program has removed them itself.
void RemoveOnEmergency(const char* folder, const char* const* files, int count);
void ForgetOnEmergency();

}  // namespace voltrex
