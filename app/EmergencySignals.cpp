#include "app/EmergencySignals.h"

#include <csignal>

#include "instrument/EmergencySwitch.h"

namespace voltrex {

namespace {

// Requests to end, sent by the user, the session or a parent process.
constexpr int EndRequests[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// Faults of the program itself, and abort().
constexpr int Faults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Async-signal-safe: the switch-off is one port write through lock-free
// atomics, and raise is on the safe list. SA_RESETHAND has restored the
// default action before the handler runs and SA_NODEFER leaves the signal
// unblocked, so raise ends the process here and now, with the exit status
// (and core dump) the signal would have given.
void SwitchOffAndDie(int signalNumber) {
    EmergencySwitchOff();
    std::raise(signalNumber);
}

void Install(int signalNumber) {
    struct sigaction action {};
    action.sa_handler = SwitchOffAndDie;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigaction(signalNumber, &action, nullptr);
}

}  // namespace

void InstallEmergencySignalHandlers() {
    for (const int signalNumber : EndRequests) {
        struct sigaction previous {};
        if (sigaction(signalNumber, nullptr, &previous) == 0 &&
            (previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN) {
            continue;
        }
        Install(signalNumber);
    }
    for (const int signalNumber : Faults) {
        Install(signalNumber);
    }
}

}  // namespace voltrex
