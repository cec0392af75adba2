#include "app/EmergencySignals.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
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

// The names of the files to remove on the way out. A signal handler can
// reach nothing but namespace-scope storage, so this one record is global;
// Armed is set only once the names are complete and cleared before they
// change, and the handler reads the names only while it is set.
struct EmergencyFiles {
    static constexpr int Most = 4;
    char Names[Most + 1][PATH_MAX]{};  // the files, then the folder
    int Count = 0;
    std::atomic<bool> Armed{false};
};
EmergencyFiles emergencyFiles;  // NOLINT: reached from signal handlers

// unlink and rmdir are async-signal-safe.
void RemoveEmergencyFiles() {
    if (!emergencyFiles.Armed.exchange(false)) {
        return;
    }
    for (int i = 0; i < emergencyFiles.Count; ++i) {
        ::unlink(emergencyFiles.Names[i]);
    }
    ::rmdir(emergencyFiles.Names[EmergencyFiles::Most]);
}

// Async-signal-safe: the switch-off is two port writes and a nanosleep
// through lock-free atomics, and raise is on the safe list. SA_RESETHAND has
// restored the default action before the handler runs and SA_NODEFER leaves
// the signal unblocked, so raise ends the process here and now, with the exit
// status (and core dump) the signal would have given. Every other signal is
// blocked meanwhile, so the switch-off is not interrupted halfway.
void SwitchOffAndDie(int signalNumber) {
    EmergencySwitchOff();
    RemoveEmergencyFiles();
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
    RemoveEmergencyFiles();
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

void RemoveOnEmergency(const char* folder, const char* const* files, int count) {
    emergencyFiles.Armed = false;
    emergencyFiles.Count = 0;
    const auto copy = [](char* to, const char* from) {
        if (std::strlen(from) >= PATH_MAX) {
            return false;
        }
        std::strcpy(to, from);
        return true;
    };
    for (int i = 0; i < count && i < EmergencyFiles::Most; ++i) {
        if (copy(emergencyFiles.Names[emergencyFiles.Count], files[i])) {
            ++emergencyFiles.Count;
        }
    }
    if (!copy(emergencyFiles.Names[EmergencyFiles::Most], folder)) {
        emergencyFiles.Names[EmergencyFiles::Most][0] = '\0';
    }
    static const bool registered = std::atexit(RemoveEmergencyFiles) == 0;
    (void)registered;
    emergencyFiles.Armed = true;
}

void ForgetOnEmergency() {
    emergencyFiles.Armed = false;
}

}  // namespace voltrex
