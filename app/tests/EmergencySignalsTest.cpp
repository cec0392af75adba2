// The emergency switch-off on the ways out of the process: the instrument is
// switched off, current first, then the signal (or abort) ends the process as
// it would have without the handlers.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <limits>

#include "app/EmergencySignals.h"
#include "instrument/EmergencySwitch.h"

using namespace voltrex;

namespace {

// Where the child's port writes go: a port entry point has no context, so
// the pipe is reached through this test-only variable.
int portPipe = -1;

void RecordOut(unsigned short port, unsigned char value) {
    const unsigned char bytes[3] = {static_cast<unsigned char>(port & 0xFF),
                                    static_cast<unsigned char>(port >> 8), value};
    (void)!::write(portPipe, bytes, sizeof bytes);
}

struct ChildResult {
    int Status = 0;
    QByteArray Written;
};

// What the switch-off writes for a charge at rate 5 on port 0x378: the
// current off, then the relays.
const QByteArray ChargeSwitchedOff("\x78\x03\x30\x78\x03\x00", 6);

// The child's instrument, as far as the switch-off sees it.
PortRecord record;

// Runs body in a child process.
ChildResult RunChild(void (*body)()) {
    int fds[2];
    if (::pipe(fds) != 0) {
        qFatal("pipe");
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        portPipe = fds[1];
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        body();
        ::_exit(7);
    }
    ::close(fds[1]);
    ChildResult result;
    char buffer[64];
    ssize_t got = 0;
    while ((got = ::read(fds[0], buffer, sizeof buffer)) > 0) {
        result.Written.append(buffer, static_cast<int>(got));
    }
    ::close(fds[0]);
    ::waitpid(child, &result.Status, 0);
    return result;
}

#if defined(__SANITIZE_ADDRESS__)
// The leak checker asks this hook at exit; only a child that ends by exit()
// turns it off, so the variable the hook reads has to be process-wide.
bool leakCheckOff = false;
#endif

void DisableLeakCheck() {
#if defined(__SANITIZE_ADDRESS__)
    leakCheckOff = true;
#endif
}

// The handlers installed and the switch armed with a charge running.
void InstallAndArm() {
    InstallEmergencySwitchOff();
    record.PortOut.store(&RecordOut);
    record.PortAddress.store(0x378);
    record.ControlLatch.store(0x35);
    ArmEmergencySwitch(record);
}

void ArmAndRaise(int signalNumber) {
    InstallAndArm();
    std::raise(signalNumber);
}

// Runs out of stack; the array keeps the frames from being folded away, and
// the limit (never reached) keeps the compiler from calling it endless.
int Recurse(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (depth == std::numeric_limits<int>::max()) {
        return frame[0];
    }
    return Recurse(depth + 1) + frame[0];
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __lsan_is_turned_off() {
    return leakCheckOff ? 1 : 0;
}
#endif

class EmergencySignalsTest : public QObject {
    Q_OBJECT

  private slots:
    void aFatalSignalSwitchesOffAndEndsTheProcess_data() {
        QTest::addColumn<int>("signalNumber");
        const std::pair<const char*, int> table[] = {
            {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT},       {"SIGHUP", SIGHUP},
            {"SIGQUIT", SIGQUIT}, {"SIGSEGV", SIGSEGV},     {"SIGBUS", SIGBUS},
            {"SIGFPE", SIGFPE},   {"SIGILL", SIGILL},       {"SIGABRT", SIGABRT},
            {"SIGXCPU", SIGXCPU}, {"SIGXFSZ", SIGXFSZ},     {"SIGSYS", SIGSYS},
            {"SIGTRAP", SIGTRAP}, {"SIGUSR1", SIGUSR1},     {"SIGUSR2", SIGUSR2},
            {"SIGALRM", SIGALRM}, {"SIGVTALRM", SIGVTALRM}, {"SIGPROF", SIGPROF},
            {"SIGPWR", SIGPWR},   {"SIGSTKFLT", SIGSTKFLT}};
        for (const auto& [name, number] : table) {
            QTest::newRow(name) << number;
        }
        QTest::newRow("SIGRTMIN") << int(SIGRTMIN);
        QTest::newRow("SIGRTMAX") << int(SIGRTMAX);
    }

    void aFatalSignalSwitchesOffAndEndsTheProcess() {
        QFETCH(int, signalNumber);
        static int raised;
        raised = signalNumber;
        const ChildResult result = RunChild([] { ArmAndRaise(raised); });
        QVERIFY(WIFSIGNALED(result.Status));
        QCOMPARE(WTERMSIG(result.Status), signalNumber);
        QCOMPARE(result.Written, ChargeSwitchedOff);
    }

    void abortSwitchesOffToo() {
        const ChildResult result = RunChild([] {
            InstallAndArm();
            std::abort();
        });
        QVERIFY(WIFSIGNALED(result.Status));
        QCOMPARE(WTERMSIG(result.Status), int(SIGABRT));
        QCOMPARE(result.Written, ChargeSwitchedOff);
    }

    void aStackOverflowStillSwitchesOff() {
        const ChildResult result = RunChild([] {
            InstallAndArm();
            Recurse(0);
        });
        QVERIFY(WIFSIGNALED(result.Status));
        QCOMPARE(WTERMSIG(result.Status), int(SIGSEGV));
        QCOMPARE(result.Written, ChargeSwitchedOff);
    }

    void terminateSwitchesOffOnceThenAborts() {
        const ChildResult result = RunChild([] {
            InstallAndArm();
            std::terminate();
        });
        QVERIFY(WIFSIGNALED(result.Status));
        QCOMPARE(WTERMSIG(result.Status), int(SIGABRT));
        QCOMPARE(result.Written, ChargeSwitchedOff);
    }

    void exitSwitchesOffBeforeTheExitListRunsOn() {
        const ChildResult result = RunChild([] {
            InstallAndArm();
            // The forked copy of the test's objects is never destroyed: no
            // leak for the address sanitizer to report at this exit.
            DisableLeakCheck();
            std::exit(3);
        });
        QVERIFY(WIFEXITED(result.Status));
        QCOMPARE(WEXITSTATUS(result.Status), 3);
        QCOMPARE(result.Written, ChargeSwitchedOff);
    }

    void aBrokenPipeAndCtrlZDoNotStopTheProgram() {
        const ChildResult result = RunChild([] {
            InstallAndArm();
            std::raise(SIGPIPE);
            std::raise(SIGTSTP);
            ::_exit(7);
        });
        QVERIFY(WIFEXITED(result.Status));
        QCOMPARE(WEXITSTATUS(result.Status), 7);
        QVERIFY(result.Written.isEmpty());
    }

    void aSignalIgnoredAtStartStaysIgnored() {
        const ChildResult result = RunChild([] {
            std::signal(SIGHUP, SIG_IGN);
            ArmAndRaise(SIGHUP);
            ::_exit(7);
        });
        QVERIFY(WIFEXITED(result.Status));
        QCOMPARE(WEXITSTATUS(result.Status), 7);
        QVERIFY(result.Written.isEmpty());
    }

    void nothingIsWrittenWhileNoPortIsSet() {
        const ChildResult result = RunChild([] {
            InstallAndArm();
            record.PortAddress.store(0);
            std::raise(SIGTERM);
        });
        QVERIFY(WIFSIGNALED(result.Status));
        QVERIFY(result.Written.isEmpty());
    }
};

int RunEmergencySignalsTests(int argc, char** argv) {
    EmergencySignalsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "EmergencySignalsTest.moc"
