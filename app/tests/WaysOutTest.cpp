// However the real program ends in the middle of a charge, the instrument is
// left all off, current first: the simulated port library's write log ends
// with the rate-off byte and then 0x00 on the configured port, and nothing
// after them. Each way out is taken by the program run by voltrex2_waysout
// (WaysOutDriver.cpp) in a folder of its own.

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "AppTestSupport.h"

using namespace voltrex::testing;

extern char** environ;

namespace {

// A one-cell LiPo pack that takes hours to fill, on a board as fast as it
// goes (a low voltage is a short ramp, and every write of it is logged).
constexpr const char* SimulatedPack =
    "Chemistry = LiPo\nCells = 1\nCapacity = 5000\nStateOfCharge = 30\n"
    "AccessMicroseconds = 0\nWriteLog = writes.log\n";
constexpr std::uint16_t Port = 0x378;

struct Write {
    unsigned Port;
    unsigned Value;
};

// One run of the program, from its start to its end.
class ProgramRun {
  public:
    ProgramRun(const char* way, const QByteArray& display = {}) {
        WriteFile(folder_.filePath(QStringLiteral("Voltrex2.ini")),
                  ReadFile(QStringLiteral(VOLTREX_SAMPLE_INI)));
        WriteFile(folder_.filePath(QStringLiteral("Voltrex2Sim.ini")), SimulatedPack);
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string text = *entry;
            if (text.rfind("QT_QPA_PLATFORM=", 0) != 0 && text.rfind("DISPLAY=", 0) != 0 &&
                text.rfind("ASAN_OPTIONS=", 0) != 0 && text.rfind("XDG_RUNTIME_DIR=", 0) != 0) {
                environment.push_back(text);
            }
        }
        // exit() from a handler leaves main's objects undestroyed by design;
        // under the address sanitizer that is no leak to report.
        environment.emplace_back("ASAN_OPTIONS=detect_leaks=0");
        // The live state goes to a runtime folder of the run's own.
        QDir(folder_.path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(folder_.filePath(QStringLiteral("run")), QFileDevice::ReadOwner |
                                                                           QFileDevice::WriteOwner |
                                                                           QFileDevice::ExeOwner);
        environment.push_back("XDG_RUNTIME_DIR=" +
                              folder_.filePath(QStringLiteral("run")).toStdString());
        if (display.isEmpty()) {
            environment.emplace_back("QT_QPA_PLATFORM=offscreen");
        } else {
            environment.emplace_back("QT_QPA_PLATFORM=xcb");
            environment.push_back("DISPLAY=" + display.toStdString());
        }
        std::vector<char*> envp;
        for (std::string& text : environment) {
            envp.push_back(text.data());
        }
        envp.push_back(nullptr);
        const QByteArray where = QFile::encodeName(folder_.path());
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
            qFatal("pipe");
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            if (::chdir(where.constData()) != 0) {
                ::_exit(126);
            }
            char* argv[] = {const_cast<char*>(VOLTREX_WAYSOUT), const_cast<char*>(way), nullptr};
            ::execve(VOLTREX_WAYSOUT, argv, envp.data());
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        out_ = pipeFds[0];
    }

    ~ProgramRun() {
        if (pid_ > 0 && !finished_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status_, 0);
        }
        ::close(out_);
    }

    // True once the program says the charge current flows.
    bool WaitForCharging(int timeoutMs = 60000) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            pollfd entry{out_, POLLIN, 0};
            if (::poll(&entry, 1, 50) > 0) {
                char buffer[256];
                const ssize_t got = ::read(out_, buffer, sizeof buffer);
                if (got <= 0) {
                    return false;
                }
                said_.append(buffer, static_cast<int>(got));
                if (said_.contains("charging\n")) {
                    return true;
                }
            }
        }
        return false;
    }

    // Reads what the program said so far without waiting; true once it
    // said it charges.
    bool SaidCharging() {
        while (!said_.contains("charging\n")) {
            pollfd entry{out_, POLLIN, 0};
            if (::poll(&entry, 1, 0) <= 0) {
                return false;
            }
            char buffer[256];
            const ssize_t got = ::read(out_, buffer, sizeof buffer);
            if (got <= 0) {
                return false;
            }
            said_.append(buffer, static_cast<int>(got));
        }
        return true;
    }

    // True once the program has ended (and its status is known).
    bool Ended() {
        if (!finished_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) {
            finished_ = true;
        }
        return finished_;
    }

    void Signal(int signalNumber) { ::kill(pid_, signalNumber); }

    // Waits for the end; false when the program is still running.
    bool WaitForEnd(int timeoutMs = 30000) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < timeoutMs) {
            if (Ended()) {
                return true;
            }
            ::usleep(2000);
        }
        return false;
    }

    bool Running() { return !Ended(); }
    int Status() const { return status_; }

    qint64 LogSize() const {
        return QFileInfo(folder_.filePath(QStringLiteral("writes.log"))).size();
    }

    // The last writes of the log (a charging program logs megabytes a
    // second, and only its end matters).
    // The program's published live state, while it lives.
    QString LiveFolder() const { return folder_.filePath(QStringLiteral("run/voltrex2")); }

    std::vector<Write> LogEnd() const {
        constexpr qint64 TailBytes = 64 * 1024;
        std::vector<Write> writes;
        QFile file(folder_.filePath(QStringLiteral("writes.log")));
        if (!file.open(QIODevice::ReadOnly)) {
            return writes;
        }
        if (file.size() > TailBytes) {
            file.seek(file.size() - TailBytes);
            file.readLine();  // the rest of a line cut in two
        }
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().simplified().split(' ');
            if (fields.size() >= 2) {
                bool portOk = false;
                bool valueOk = false;
                const unsigned port = fields[fields.size() - 2].toUInt(&portOk, 0);
                const unsigned value = fields.last().toUInt(&valueOk, 0);
                if (portOk && valueOk) {
                    writes.push_back(Write{port, value});
                }
            }
        }
        return writes;
    }

  private:
    QTemporaryDir folder_;
    pid_t pid_ = -1;
    int out_ = -1;
    int status_ = 0;
    bool finished_ = false;
    QByteArray said_;
};

QString Describe(int status) {
    if (WIFSIGNALED(status)) {
        return QStringLiteral("killed by signal %1").arg(WTERMSIG(status));
    }
    if (WIFEXITED(status)) {
        return QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
    }
    return QStringLiteral("status 0x%1").arg(status, 0, 16);
}

// Empty when the log's end is as it must be: a charge ran, then the current went
// off (0x30: relays still closed, rate 0), then everything (0x00), both on
// the configured port, with nothing after them.
QString CheckSwitchedOff(const std::vector<Write>& log) {
    if (log.size() < 3) {
        return QStringLiteral("only %1 writes logged").arg(log.size());
    }
    bool charged = false;
    for (const Write& write : log) {
        charged = charged || ((write.Value & 0x3F) > 0x30 && (write.Value & 0xC0) == 0);
    }
    const Write& rateOff = log[log.size() - 2];
    const Write& allOff = log.back();
    if (!charged || rateOff.Port != Port || rateOff.Value != 0x30 || allOff.Port != Port ||
        allOff.Value != 0x00) {
        return QStringLiteral("the log ends %1 %2, %3 %4%5")
            .arg(rateOff.Port, 0, 16)
            .arg(rateOff.Value, 0, 16)
            .arg(allOff.Port, 0, 16)
            .arg(allOff.Value, 0, 16)
            .arg(charged ? QString() : QStringLiteral(" and no charge ran"));
    }
    return {};
}

struct Way {
    const char* Name;
    const char* Argument;  // of the driver
    int Signal;            // sent once it charges; 0 = none
    bool Signalled;        // expected end: by this signal, or by exit status
    int Expected;          // the signal or the exit status
};

}  // namespace

class WaysOutTest : public QObject {
    Q_OBJECT

  private slots:
    void everyWayOutLeavesTheInstrumentAllOff() {
        std::vector<Way> ways = {
            {"exit() from a handler", "exit", 0, false, 4},
            {"an exception escaping a handler", "throw", 0, false, 1},
            {"std::terminate", "terminate", 0, true, SIGABRT},
            {"a stack overflow", "overflow", 0, true, SIGSEGV},
        };
        const std::pair<const char*, int> signalled[] = {
            {"SIGTERM", SIGTERM}, {"SIGINT", SIGINT},       {"SIGHUP", SIGHUP},
            {"SIGQUIT", SIGQUIT}, {"SIGSEGV", SIGSEGV},     {"SIGBUS", SIGBUS},
            {"SIGFPE", SIGFPE},   {"SIGILL", SIGILL},       {"SIGABRT", SIGABRT},
            {"SIGXCPU", SIGXCPU}, {"SIGXFSZ", SIGXFSZ},     {"SIGSYS", SIGSYS},
            {"SIGTRAP", SIGTRAP}, {"SIGUSR1", SIGUSR1},     {"SIGUSR2", SIGUSR2},
            {"SIGALRM", SIGALRM}, {"SIGVTALRM", SIGVTALRM}, {"SIGPROF", SIGPROF},
            {"SIGPWR", SIGPWR},   {"SIGSTKFLT", SIGSTKFLT}};
        for (const auto& [name, number] : signalled) {
            ways.push_back(Way{name, "wait", number, true, number});
        }
        ways.push_back(Way{"SIGRTMIN", "wait", SIGRTMIN, true, SIGRTMIN});
        ways.push_back(Way{"SIGRTMAX", "wait", SIGRTMAX, true, SIGRTMAX});

        // All at once, each taken out the moment it charges: a charging
        // program measures flat out, and every write of it is logged.
        constexpr std::size_t AtOnce = 32;
        QStringList failures;
        for (std::size_t first = 0; first < ways.size(); first += AtOnce) {
            const std::size_t end = std::min(ways.size(), first + AtOnce);
            std::vector<std::unique_ptr<ProgramRun>> runs;
            std::vector<bool> charging(end - first, false);
            for (std::size_t i = first; i < end; ++i) {
                runs.push_back(std::make_unique<ProgramRun>(ways[i].Argument));
            }
            QElapsedTimer timer;
            timer.start();
            bool allEnded = false;
            while (!allEnded && timer.elapsed() < 60000) {
                allEnded = true;
                for (std::size_t i = first; i < end; ++i) {
                    ProgramRun& run = *runs[i - first];
                    if (!charging[i - first] && run.SaidCharging()) {
                        charging[i - first] = true;
                        if (ways[i].Signal != 0) {
                            run.Signal(ways[i].Signal);
                        }
                    }
                    allEnded = run.Ended() && allEnded;
                }
                ::usleep(2000);
            }
            for (std::size_t i = first; i < end; ++i) {
                ProgramRun& run = *runs[i - first];
                const Way& way = ways[i];
                const QString name = QString::fromLatin1(way.Name);
                if (!charging[i - first]) {
                    failures << name + QStringLiteral(": the charge never started");
                    continue;
                }
                if (!run.Ended()) {
                    failures << name + QStringLiteral(": the program did not end");
                    continue;
                }
                const bool endedRight =
                    way.Signalled
                        ? WIFSIGNALED(run.Status()) && WTERMSIG(run.Status()) == way.Expected
                        : WIFEXITED(run.Status()) && WEXITSTATUS(run.Status()) == way.Expected;
                if (!endedRight) {
                    failures << name + QStringLiteral(": ") + Describe(run.Status());
                }
                if (QFileInfo::exists(run.LiveFolder())) {
                    failures << name + QStringLiteral(": the live state outlived the program");
                }
                const QString log = CheckSwitchedOff(run.LogEnd());
                if (!log.isEmpty()) {
                    failures << name + QStringLiteral(": ") + log;
                }
            }
        }
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QStringLiteral("\n"))));
    }

    void aBrokenPipeDoesNotEndTheCharge() {
        ProgramRun run("wait");
        QVERIFY(run.WaitForCharging());
        run.Signal(SIGPIPE);
        const qint64 before = run.LogSize();
        QTest::qWait(300);
        QVERIFY(run.Running());
        QVERIFY(run.LogSize() > before);
        QTRY_VERIFY(QFileInfo::exists(run.LiveFolder() + QStringLiteral("/state.json")));
        QVERIFY(QFileInfo::exists(run.LiveFolder() + QStringLiteral("/graph.bmp")));
        run.Signal(SIGTERM);
        QVERIFY(run.WaitForEnd());
        QVERIFY(WIFSIGNALED(run.Status()));
        QCOMPARE(WTERMSIG(run.Status()), SIGTERM);
        QCOMPARE(CheckSwitchedOff(run.LogEnd()), QString());
        QVERIFY(!QFileInfo::exists(run.LiveFolder()));
    }

    // The toolkit calls exit(1) when the connection to the X server breaks:
    // the program on a private X server of its own, which is then killed.
    void aBrokenDisplayConnectionSwitchesOff() {
        const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (server.isEmpty()) {
            QSKIP("Xvfb is not installed (Debian package xvfb)");
        }
        int displayPipe[2];
        QVERIFY(::pipe2(displayPipe, O_CLOEXEC) == 0);
        const pid_t xvfb = ::fork();
        if (xvfb == 0) {
            ::dup2(displayPipe[1], 3);
            const QByteArray path = QFile::encodeName(server);
            ::execl(path.constData(), path.constData(), "-displayfd", "3", "-nolisten", "tcp",
                    "-screen", "0", "1024x768x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(displayPipe[1]);
        QByteArray number;
        char c = 0;
        while (::read(displayPipe[0], &c, 1) == 1 && c != '\n') {
            number.append(c);
        }
        ::close(displayPipe[0]);
        if (number.isEmpty()) {
            ::kill(xvfb, SIGKILL);
            ::waitpid(xvfb, nullptr, 0);
            QFAIL("Xvfb did not start");
        }

        ProgramRun run("wait", ":" + number);
        const bool charging = run.WaitForCharging();
        ::kill(xvfb, SIGKILL);
        ::waitpid(xvfb, nullptr, 0);
        QVERIFY(charging);
        QVERIFY(run.WaitForEnd());
        QVERIFY2(WIFEXITED(run.Status()) && WEXITSTATUS(run.Status()) == 1,
                 qPrintable(Describe(run.Status())));
        QCOMPARE(CheckSwitchedOff(run.LogEnd()), QString());
    }
};

QTEST_GUILESS_MAIN(WaysOutTest)
#include "WaysOutTest.moc"
