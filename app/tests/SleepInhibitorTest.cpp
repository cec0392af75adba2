// The sleep guard on a private message bus that the test starts, with a fake
// systemd-logind of its own: each lock it hands out is the write end of a
// pipe, and it keeps the read end, so a lock's release shows there as end of
// file. The tests never reach the machine's own system bus.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>
#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "CountingSleepGuard.h"
#include "PrivateBus.h"
#include "app/SleepInhibitor.h"

using namespace voltrex;
using voltrex::testing::PrivateBus;

namespace {

struct InhibitCall {
    QString What;
    QString Who;
    QString Why;
    QString Mode;
};

// org.freedesktop.login1.Manager with Inhibit only. It lives in a thread of
// its own: the guard's call blocks the test's thread until the answer.
class FakeLogin : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

  public:
    enum class Answer { Lock, Refuse, Late };

    ~FakeLogin() override {
        for (const int end : ends_) {
            ::close(end);
        }
    }

    void Reset(Answer answer) {
        const std::lock_guard lock(mutex_);
        answer_ = answer;
        calls_.clear();
        for (const int end : ends_) {
            ::close(end);
        }
        ends_.clear();
    }
    std::vector<InhibitCall> Calls() const {
        const std::lock_guard lock(mutex_);
        return calls_;
    }
    // The service's end of the index-th lock handed out, -1 before it is.
    int LockEnd(std::size_t index) const {
        const std::lock_guard lock(mutex_);
        return index < ends_.size() ? ends_[index] : -1;
    }

    // Answers the call that Answer::Late held back. Runs in the object's
    // thread.
    void SendLateAnswer() {
        const std::lock_guard lock(mutex_);
        lateBus_->send(late_.createReply(QVariant::fromValue(HandOut())));
    }

  public slots:
    Q_SCRIPTABLE QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who,
                                                 const QString& why, const QString& mode) {
        const std::lock_guard lock(mutex_);
        calls_.push_back({what, who, why, mode});
        switch (answer_) {
            case Answer::Lock:
                return HandOut();
            case Answer::Refuse:
                // What logind answers when the user may not take the lock.
                sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Permission denied"));
                return {};
            case Answer::Late:
                setDelayedReply(true);
                late_ = message();
                lateBus_ = connection();
                return {};
        }
        return {};
    }

  private:
    // A new lock: the write end goes out (as a duplicate that the reply
    // owns), the read end stays here.
    QDBusUnixFileDescriptor HandOut() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            return {};
        }
        QDBusUnixFileDescriptor writeEnd(ends[1]);
        ::close(ends[1]);
        ends_.push_back(ends[0]);
        return writeEnd;
    }

    mutable std::mutex mutex_;
    Answer answer_ = Answer::Lock;
    std::vector<InhibitCall> calls_;
    std::vector<int> ends_;
    QDBusMessage late_;
    std::optional<QDBusConnection> lateBus_;
};

// Whether every copy of a lock's descriptor outside the service is closed:
// end of file on the service's end, waited for up to waitMilliseconds.
bool LockReleased(int end, int waitMilliseconds) {
    if (end < 0) {
        return false;
    }
    pollfd ready{end, POLLIN, 0};
    if (::poll(&ready, 1, waitMilliseconds) <= 0) {
        return false;
    }
    char byte = 0;
    return ::read(end, &byte, 1) == 0;
}

// Long enough for a release that is already under way to arrive; a lock that
// is held is checked without waiting.
constexpr int ReleaseWait = 2000;

// Everything written to standard error (file descriptor 2) while it lives.
class StandardErrorCapture {
  public:
    StandardErrorCapture() : file_(std::tmpfile()) {
        std::fflush(stderr);
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(::fileno(file_), STDERR_FILENO);
    }
    ~StandardErrorCapture() {
        Restore();
        std::fclose(file_);
    }
    StandardErrorCapture(const StandardErrorCapture&) = delete;
    StandardErrorCapture& operator=(const StandardErrorCapture&) = delete;

    QByteArray Text() {
        Restore();
        QByteArray text;
        std::rewind(file_);
        char buffer[256];
        std::size_t got = 0;
        while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
            text.append(buffer, static_cast<qsizetype>(got));
        }
        return text;
    }

  private:
    void Restore() {
        if (saved_ >= 0) {
            std::fflush(stderr);
            ::dup2(saved_, STDERR_FILENO);
            ::close(saved_);
            saved_ = -1;
        }
    }

    std::FILE* file_;
    int saved_ = -1;
};

constexpr const char* ServiceConnection = "fake-login1";
constexpr const char* GuardConnection = "sleep-guard";

}  // namespace

// Skips the test where no private bus could be had (QSKIP must be in the test
// function itself).
#define SKIP_WITHOUT_BUS()                   \
    do {                                     \
        if (fake_ == nullptr) {              \
            QSKIP(qPrintable(noBusReason_)); \
        }                                    \
    } while (false)

class SleepInhibitorTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        // The guard's default bus is the system bus; here it is a socket that
        // does not exist, never the machine's own.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS",
                ("unix:path=" + folder_.filePath(QStringLiteral("no-system-bus"))).toUtf8());

        if (!bus_.Start()) {
            noBusReason_ = bus_.Problem();
            return;
        }
        address_ = bus_.Address();

        QDBusConnection service =
            QDBusConnection::connectToBus(address_, QString::fromLatin1(ServiceConnection));
        QVERIFY2(service.isConnected(), qPrintable(service.lastError().message()));
        QVERIFY(service.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing);
        fake_ = new FakeLogin;
        fake_->moveToThread(&serviceThread_);
        serviceThread_.start();
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/login1"), fake_,
                                       QDBusConnection::ExportScriptableSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.login1")));

        const QDBusConnection guard =
            QDBusConnection::connectToBus(address_, QString::fromLatin1(GuardConnection));
        QVERIFY2(guard.isConnected(), qPrintable(guard.lastError().message()));
    }

    void cleanupTestCase() {
        if (fake_ != nullptr) {
            QDBusConnection::disconnectFromBus(QString::fromLatin1(GuardConnection));
            QDBusConnection::disconnectFromBus(QString::fromLatin1(ServiceConnection));
            serviceThread_.quit();
            serviceThread_.wait();
            delete fake_;
        }
    }

    void init() {
        // Warnings are complaints too: the guard must not make any.
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        if (fake_ != nullptr) {
            fake_->Reset(FakeLogin::Answer::Lock);
        }
    }

    void acquireTakesOneSleepAndIdleLockUntilRelease() {
        SKIP_WITHOUT_BUS();
        SleepInhibitor inhibitor(GuardBus());
        inhibitor.Acquire("Discharge test running");
        QVERIFY(inhibitor.Held());
        QCOMPARE(fake_->Calls().size(), 1u);
        const InhibitCall call = fake_->Calls().front();
        QCOMPARE(call.What, QStringLiteral("sleep:idle"));
        QCOMPARE(call.Who, QStringLiteral("Voltrex II"));
        QCOMPARE(call.Why, QStringLiteral("Discharge test running"));
        QCOMPARE(call.Mode, QStringLiteral("block"));
        const int first = fake_->LockEnd(0);
        QVERIFY(!LockReleased(first, 0));

        // Held: a second Acquire asks for nothing and keeps the lock.
        inhibitor.Acquire("Charge test running");
        QCOMPARE(fake_->Calls().size(), 1u);
        QVERIFY(!LockReleased(first, 0));

        inhibitor.Release();
        QVERIFY(!inhibitor.Held());
        QVERIFY(LockReleased(first, ReleaseWait));
        inhibitor.Release();

        // The next test asks again.
        inhibitor.Acquire("Monitor running");
        QVERIFY(inhibitor.Held());
        QCOMPARE(fake_->Calls().size(), 2u);
        QCOMPARE(fake_->Calls().back().Why, QStringLiteral("Monitor running"));
        QVERIFY(!LockReleased(fake_->LockEnd(1), 0));
        inhibitor.Release();
        QVERIFY(LockReleased(fake_->LockEnd(1), ReleaseWait));
    }

    void theDestructorReleases() {
        SKIP_WITHOUT_BUS();
        {
            SleepInhibitor inhibitor(GuardBus());
            inhibitor.Acquire("Charge test running");
            QVERIFY(inhibitor.Held());
        }
        QVERIFY(LockReleased(fake_->LockEnd(0), ReleaseWait));
    }

    void theScopeReleasesHoweverTheTestEnds() {
        SKIP_WITHOUT_BUS();
        SleepInhibitor inhibitor(GuardBus());
        bool heldInside = false;
        const auto testThatReturns = [&] {
            const SleepInhibitor::Scope test(inhibitor, "Monitor running");
            heldInside = inhibitor.Held();
        };
        testThatReturns();
        QVERIFY(heldInside);
        QVERIFY(!inhibitor.Held());
        QVERIFY(LockReleased(fake_->LockEnd(0), ReleaseWait));

        heldInside = false;
        try {
            const SleepInhibitor::Scope test(inhibitor, "Charge test running");
            heldInside = inhibitor.Held();
            throw std::runtime_error("the test failed");
        } catch (const std::runtime_error&) {
        }
        QVERIFY(heldInside);
        QVERIFY(!inhibitor.Held());
        QCOMPARE(fake_->Calls().size(), 2u);
        QVERIFY(LockReleased(fake_->LockEnd(1), ReleaseWait));
    }

    void theCountingGuardKeepsTheRulesOfTheRealOne() {
        testing::CountingSleepGuard guard;
        try {
            const SleepGuard::Scope test(guard, "Discharge test running");
            guard.Acquire("Charge test running");
            QVERIFY(guard.Held());
            throw std::runtime_error("the test failed");
        } catch (const std::runtime_error&) {
        }
        guard.Release();
        QVERIFY(!guard.Held());
        QCOMPARE(guard.Acquired, 1);
        QCOMPARE(guard.Released, 1);
        QCOMPARE(guard.Reasons, std::vector<std::string>{"Discharge test running"});
    }

    void aRefusalHoldsNothingAndTheNextTestAsksAgain() {
        SKIP_WITHOUT_BUS();
        fake_->Reset(FakeLogin::Answer::Refuse);
        SleepInhibitor inhibitor(GuardBus());
        StandardErrorCapture errors;
        inhibitor.Acquire("Discharge test running");
        QVERIFY(!inhibitor.Held());
        inhibitor.Release();
        QCOMPARE(errors.Text(), QByteArray());
        QCOMPARE(fake_->Calls().size(), 1u);

        fake_->Reset(FakeLogin::Answer::Lock);
        inhibitor.Acquire("Discharge test running");
        QVERIFY(inhibitor.Held());
    }

    // logind busy or hung: the test starts after the call's timeout, and the
    // lock that comes after all is not kept anywhere in the program.
    void anAnswerTooLateIsNotWaitedForNorKept() {
        SKIP_WITHOUT_BUS();
        fake_->Reset(FakeLogin::Answer::Late);
        constexpr int timeout = 50;
        SleepInhibitor inhibitor(GuardBus(), timeout);
        StandardErrorCapture errors;
        QElapsedTimer took;
        took.start();
        inhibitor.Acquire("Charge test running");
        const qint64 elapsed = took.elapsed();
        QVERIFY(!inhibitor.Held());
        QVERIFY2(elapsed >= timeout / 2 && elapsed < 10 * timeout,
                 qPrintable(QStringLiteral("Acquire took %1 ms").arg(elapsed)));
        QCOMPARE(fake_->Calls().size(), 1u);

        QMetaObject::invokeMethod(
            fake_, [this] { fake_->SendLateAnswer(); }, Qt::BlockingQueuedConnection);
        QTRY_VERIFY_WITH_TIMEOUT(LockReleased(fake_->LockEnd(0), 0), ReleaseWait);
        inhibitor.Release();
        QCOMPARE(errors.Text(), QByteArray());
    }

    // No bus to ask (a container, a build machine): a bus address that leads
    // nowhere, and the default system bus where the machine has none.
    void withoutABusAcquireIsQuickAndQuiet_data() {
        QTest::addColumn<bool>("systemBus");
        QTest::newRow("bus address leads nowhere") << false;
        QTest::newRow("no system bus") << true;
    }
    void withoutABusAcquireIsQuickAndQuiet() {
        QFETCH(bool, systemBus);
        StandardErrorCapture errors;
        std::optional<SleepInhibitor> inhibitor;
        if (systemBus) {
            inhibitor.emplace();
        } else {
            inhibitor.emplace(QDBusConnection::connectToBus(
                "unix:path=" + folder_.filePath(QStringLiteral("no-bus")),
                QStringLiteral("nowhere")));
        }
        QElapsedTimer took;
        took.start();
        inhibitor->Acquire("Discharge test running");
        inhibitor->Acquire("Discharge test running");
        const qint64 elapsed = took.elapsed();
        QVERIFY(!inhibitor->Held());
        inhibitor->Release();
        inhibitor->Release();
        inhibitor.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
        QCOMPARE(errors.Text(), QByteArray());
        QVERIFY2(elapsed < 100, qPrintable(QStringLiteral("Acquire took %1 ms").arg(elapsed)));
    }

    // A bus without logind (another init system): the bus answers at once
    // that there is no such service, well inside the call's timeout.
    void withABusButNoLogindAcquireIsQuickAndQuiet() {
        SKIP_WITHOUT_BUS();
        QDBusConnection service = QDBusConnection(QString::fromLatin1(ServiceConnection));
        QVERIFY(service.unregisterService(QStringLiteral("org.freedesktop.login1")));
        StandardErrorCapture errors;
        SleepInhibitor inhibitor(GuardBus());
        QElapsedTimer took;
        took.start();
        inhibitor.Acquire("Discharge test running");
        const qint64 elapsed = took.elapsed();
        QVERIFY(!inhibitor.Held());
        inhibitor.Release();
        const QByteArray written = errors.Text();
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.login1")));
        QCOMPARE(written, QByteArray());
        QVERIFY(fake_->Calls().empty());
        QVERIFY2(elapsed < SleepInhibitor::DefaultTimeoutMilliseconds / 2,
                 qPrintable(QStringLiteral("Acquire took %1 ms").arg(elapsed)));
    }

  private:
    static QDBusConnection GuardBus() {
        return QDBusConnection(QString::fromLatin1(GuardConnection));
    }

    QTemporaryDir folder_;
    PrivateBus bus_;
    QString address_;
    QString noBusReason_;
    QThread serviceThread_;
    FakeLogin* fake_ = nullptr;
};

QTEST_GUILESS_MAIN(SleepInhibitorTest)

#include "SleepInhibitorTest.moc"
