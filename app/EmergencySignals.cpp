#include "app/EmergencySignals.h"

#include <sys/mman.h>

#include <csignal>
#include <cstdlib>
#include <exception>

#include "instrument/EmergencySwitch.h"

namespace voltrex {

namespace {

// Signals whose default action ends the process, each of which would leave
// the instrument as it was. The faults come separately: they are installed
// even when the program was started with them ignored.
constexpr int EndingSignals[] = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGXCPU,
                                 SIGXFSZ, SIGSYS,    SIGTRAP, SIGUSR1, SIGUSR2,
                                 SIGALRM, SIGVTALRM, SIGPROF, SIGPWR,  SIGSTKFLT};
constexpr int Faults[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Room for the handler when the program's own stack is what overflowed.
constexpr std::size_t AlternateStackSize = 64 * 1024;

// Async-signal-safe: the switch-off is two port writes and a nanosleep
// through lock-free atomics, and raise is on the safe list. SA_RESETHAND has
// restored the default action before the handler runs and SA_NODEFER leaves
// the signal unblocked, so raise ends the process here and now, with the exit
// status (and core dump) the signal would have given. Every other signal is
// blocked meanwhile, so the switch-off is not interrupted halfway.
void SwitchOffAndDie(int signalNumber) {
    EmergencySwitchOff();
    std::raise(signalNumber);
}

void Install(int signalNumber) {
    struct sigaction action = {};
    action.sa_handler = SwitchOffAndDie;
    sigfillset(&action.sa_mask);
    sigdelset(&action.sa_mask, signalNumber);
    action.sa_flags = SA_RESETHAND | SA_NODEFER | SA_ONSTACK;
    sigaction(signalNumber, &action, nullptr);
}

bool IgnoredAtStart(int signalNumber) {
    struct sigaction previous = {};
    return sigaction(signalNumber, nullptr, &previous) == 0 &&
           (previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN;
}

void Ignore(int signalNumber) {
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
}

void UseAlternateStack() {
    // Mapped once for the life of the process; never unmapped, since a
    // handler may need it up to the last instruction.
    void* memory = mmap(nullptr, AlternateStackSize, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) {
        return;  // the handlers still run for every fault but a stack overflow
    }
    stack_t stack{};
    stack.ss_sp = memory;
    stack.ss_size = AlternateStackSize;
    sigaltstack(&stack, nullptr);
}

[[noreturn]] void SwitchOffAndAbort() {
    EmergencySwitchOff();
    std::abort();
}

}  // namespace

void InstallEmergencySwitchOff() {
    UseAlternateStack();
    for (const int signalNumber : EndingSignals) {
        if (!IgnoredAtStart(signalNumber)) {
            Install(signalNumber);
        }
    }
    for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) {
        if (!IgnoredAtStart(signalNumber)) {
            Install(signalNumber);
        }
    }
    for (const int signalNumber : Faults) {
        Install(signalNumber);
    }
    Ignore(SIGPIPE);
    Ignore(SIGTSTP);
    std::set_terminate(SwitchOffAndAbort);
}

}  // namespace voltrex
