// The fatal-signal handlers: the instrument is switched off, then the signal
// ends the process as it would have without them.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QtTest>
#include <csignal>
#include <cstdlib>

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

// Runs body in a child process that has the handlers installed and the switch
// armed on port 0x378 with a charge running.
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

void ArmAndRaise(int signalNumber) {
    InstallEmergencySignalHandlers();
    ArmEmergencySwitch(&RecordOut, 0x378);
    std::raise(signalNumber);
}

}  // namespace

class EmergencySignalsTest : public QObject {
    Q_OBJECT

  private slots:
    void aFatalSignalSwitchesOffAndEndsTheProcess_data() {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
        QTest::newRow("SIGQUIT") << int(SIGQUIT);
        QTest::newRow("SIGSEGV") << int(SIGSEGV);
        QTest::newRow("SIGBUS") << int(SIGBUS);
        QTest::newRow("SIGFPE") << int(SIGFPE);
        QTest::newRow("SIGILL") << int(SIGILL);
    }

    void aFatalSignalSwitchesOffAndEndsTheProcess() {
        QFETCH(int, signalNumber);
        static int raised;
        raised = signalNumber;
        const ChildResult result = RunChild([] { ArmAndRaise(raised); });
        QVERIFY(WIFSIGNALED(result.Status));
        QCOMPARE(WTERMSIG(result.Status), signalNumber);
        QCOMPARE(result.Written, QByteArray("\x78\x03\x00", 3));
    }

    void abortSwitchesOffToo() {
        const ChildResult result = RunChild([] {
            InstallEmergencySignalHandlers();
            ArmEmergencySwitch(&RecordOut, 0x378);
            std::abort();
        });
        QVERIFY(WIFSIGNALED(result.Status));
        QCOMPARE(WTERMSIG(result.Status), int(SIGABRT));
        QCOMPARE(result.Written, QByteArray("\x78\x03\x00", 3));
    }

    void aSignalIgnoredAtStartStaysIgnored() {
        const ChildResult result = RunChild([] {
            std::signal(SIGHUP, SIG_IGN);
            ArmAndRaise(SIGHUP);
        });
        QVERIFY(WIFEXITED(result.Status));
        QCOMPARE(WEXITSTATUS(result.Status), 7);
        QVERIFY(result.Written.isEmpty());
    }

    void nothingIsWrittenWhileNoPortIsSet() {
        const ChildResult result = RunChild([] {
            InstallEmergencySignalHandlers();
            ArmEmergencySwitch(&RecordOut, 0);
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
