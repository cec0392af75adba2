// Failures that reach the event loop: caught there, the instrument switched
// off, the text handed to the program's failure handler.

#include <fcntl.h>
#include <unistd.h>

#include <QtTest>
#include <stdexcept>

#include "app/VoltrexApplication.h"
#include "instrument/EmergencySwitch.h"

using namespace voltrex;

namespace {

// The port writes of the emergency switch, through a pipe: a port entry point
// has no context, so it is reached through this test-only variable.
int switchPipe = -1;

void RecordOut(unsigned short port, unsigned char value) {
    const unsigned char bytes[3] = {static_cast<unsigned char>(port & 0xFF),
                                    static_cast<unsigned char>(port >> 8), value};
    (void)!::write(switchPipe, bytes, sizeof bytes);
}

// An object whose event handler throws, as a faulty handler would.
class Thrower : public QObject {
  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) {
            throw std::runtime_error("handler failed");
        }
        return QObject::event(event);
    }
};

}  // namespace

class VoltrexApplicationTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        // The reading end does not block: a missing write reads as nothing.
        QVERIFY(::pipe2(fds_, O_NONBLOCK) == 0);
        switchPipe = fds_[1];
        record_.PortOut.store(&RecordOut);
        record_.PortAddress.store(0x378);
        record_.ControlLatch.store(0x35);
        ArmEmergencySwitch(record_);
    }

    void cleanup() {
        DisarmEmergencySwitch(record_);
        ::close(fds_[0]);
        ::close(fds_[1]);
    }

    // The launcher names the simulated entry by the X resource name; any
    // other name, or none, is the hardware entry's.
    void theDesktopEntryFollowsTheLaunchersResourceName() {
        const std::pair<const char*, const char*> cases[] = {
            {nullptr, "voltrex2"},
            {"voltrex2-simulated", "voltrex2-simulated"},
            {"voltrex2", "voltrex2"},
            {"voltrex2-simulated2", "voltrex2"},
        };
        for (const auto& [resourceName, entry] : cases) {
            if (resourceName == nullptr) {
                qunsetenv("RESOURCE_NAME");
            } else {
                qputenv("RESOURCE_NAME", resourceName);
            }
            QCOMPARE(DesktopEntryName(), entry);
        }
        qunsetenv("RESOURCE_NAME");
    }

    // One scenario, since the application object reports only its first
    // failure: the program is ending from then on.
    void failuresAreCaughtSwitchOffAndTheFirstIsReported() {
        auto* application = qobject_cast<VoltrexApplication*>(QCoreApplication::instance());
        QVERIFY(application != nullptr);
        QStringList reported;
        bool switchedOffFirst = false;
        application->SetFailureHandler([&](const std::string& text) {
            switchedOffFirst = Written() == QByteArray("\x78\x03\x30\x78\x03\x00", 6);
            reported << QString::fromStdString(text);
        });

        // An exception out of an event handler is caught by the event loop.
        Thrower thrower;
        QEvent event(QEvent::User);
        QCoreApplication::sendEvent(&thrower, &event);
        QCOMPARE(reported, QStringList{QStringLiteral("handler failed")});
        QVERIFY(switchedOffFirst);
        QVERIFY(application->Failed());

        // A later failure, here out of a guarded button handler, does not
        // escape; the instrument is off already and nothing more is written.
        bool escaped = false;
        try {
            RunGuarded([] { throw std::logic_error("guarded failure"); });
        } catch (...) {
            escaped = true;
        }
        QVERIFY(!escaped);
        QCOMPARE(Written(), QByteArray());
        QCOMPARE(reported.size(), 1);
        application->SetFailureHandler(nullptr);
    }

  private:
    QByteArray Written() {
        QByteArray bytes(64, '\0');
        const ssize_t got = ::read(fds_[0], bytes.data(), bytes.size());
        return got > 0 ? bytes.left(static_cast<int>(got)) : QByteArray();
    }

    int fds_[2] = {-1, -1};
    PortRecord record_;
};

int RunVoltrexApplicationTests(int argc, char** argv) {
    VoltrexApplicationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "VoltrexApplicationTest.moc"
