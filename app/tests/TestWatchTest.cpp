// How the program tells of its tests outside the window: the desktop
// notifications, sent to a fake notification service on a private message
// bus that the test starts, and the live state published in a temporary
// runtime folder, checked pass by pass against the status line.

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusError>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>
#include <cmath>
#include <mutex>
#include <optional>
#include <vector>

#include "AppTestSupport.h"
#include "PrivateBus.h"
#include "app/DesktopNotifier.h"
#include "app/LiveState.h"
#include "app/PictureButton.h"
#include "app/TMainForm.h"
#include "app/TStartForm.h"
#include "app/VoltrexApplication.h"
#include "platform/CFormat.h"
#include "procedures/ProcedureTexts.h"
#include "procedures/Procedures.h"
#include "testsupport/RecordingPort.h"

using namespace voltrex;
using namespace voltrex::testing;

namespace {

struct NotifyCall {
    QString AppName;
    QString Icon;
    QString Summary;
    QString Body;
    QVariantMap Hints;
    int Timeout = 0;
};

// org.freedesktop.Notifications with Notify only, in a thread of its own.
class FakeNotifications : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

  public:
    // Late: the call is never answered, as a hung service does.
    enum class Answer { Now, Never };

    void Reset(Answer answer) {
        const std::lock_guard lock(mutex_);
        answer_ = answer;
        calls_.clear();
    }
    std::vector<NotifyCall> Calls() const {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

  public slots:
    Q_SCRIPTABLE uint Notify(const QString& appName, uint /*replacesId*/, const QString& icon,
                             const QString& summary, const QString& body,
                             const QStringList& /*actions*/, const QVariantMap& hints,
                             int timeout) {
        const std::lock_guard lock(mutex_);
        calls_.push_back({appName, icon, summary, body, hints, timeout});
        if (answer_ == Answer::Never) {
            setDelayedReply(true);
            return 0;
        }
        return static_cast<uint>(calls_.size());
    }

  private:
    mutable std::mutex mutex_;
    Answer answer_ = Answer::Now;
    std::vector<NotifyCall> calls_;
};

constexpr const char* ServiceConnection = "fake-notifications";
constexpr const char* ProgramConnection = "notifier";

TestEnding EndingOf(TestKind test, Ending how, std::string detail = {}) {
    TestEnding ending;
    ending.Test = test;
    ending.Phase = test;
    ending.How = how;
    ending.Figures = {4321, 6.9, 3600.0 * 1.2, 3600.0 * 8.7, 6};
    ending.Detail = std::move(detail);
    return ending;
}

// The procedures' window, reduced to a yield that moves the virtual clock
// and lets the test look at the published files after each pass.
class PassingWindow final : public UserInterface {
  public:
    explicit PassingWindow(VirtualClock& clock) : clock_(clock) {}
    std::function<void()> OnYield;
    void Yield() override {
        clock_.Advance(0.3);
        if (OnYield) {
            OnYield();
        }
    }
    bool PollStop() override { return false; }
    void ShowError(const std::string& message) override { Errors.push_back(message); }
    bool AskYesNo(const std::string& /*question*/) override { return false; }
    std::vector<std::string> Errors;

  private:
    VirtualClock& clock_;
};

QJsonObject ReadState(const QString& folder) {
    QFile file(folder + QStringLiteral("/state.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QJsonDocument::fromJson(file.readAll()).object();
}

}  // namespace

#define SKIP_WITHOUT_BUS()                     \
    do {                                       \
        if (fake_ == nullptr) {                \
            QSKIP(qPrintable(bus_.Problem())); \
        }                                      \
    } while (false)

class TestWatchTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        ConfigureAppearance();
        if (!bus_.Start()) {
            return;
        }
        QDBusConnection service =
            QDBusConnection::connectToBus(bus_.Address(), QString::fromLatin1(ServiceConnection));
        QVERIFY2(service.isConnected(), qPrintable(service.lastError().message()));
        fake_ = new FakeNotifications;
        fake_->moveToThread(&serviceThread_);
        serviceThread_.start();
        QVERIFY(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), fake_,
                                       QDBusConnection::ExportScriptableSlots));
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY(
            QDBusConnection::connectToBus(bus_.Address(), QString::fromLatin1(ProgramConnection))
                .isConnected());
    }

    void cleanupTestCase() {
        if (fake_ != nullptr) {
            QDBusConnection::disconnectFromBus(QString::fromLatin1(ProgramConnection));
            QDBusConnection::disconnectFromBus(QString::fromLatin1(ServiceConnection));
            serviceThread_.quit();
            serviceThread_.wait();
            delete fake_;
        }
    }

    void init() {
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        if (fake_ != nullptr) {
            fake_->Reset(FakeNotifications::Answer::Now);
        }
    }

    void eachEndingIsOneNotification_data() {
        QTest::addColumn<int>("test");
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("critical");
        const auto row = [](const char* name, TestKind test, Ending how, const char* detail,
                            bool critical) {
            QTest::newRow(name) << static_cast<int>(test) << static_cast<int>(how)
                                << QString::fromLatin1(detail) << critical;
        };
        row("discharge finished", TestKind::Discharge, Ending::EndVoltage, "", false);
        row("charge on delta-V", TestKind::Charge, Ending::DeltaV, "", false);
        row("charge on its time limit", TestKind::Charge, Ending::TimeLimit, "", false);
        row("a cycle done", TestKind::AutoCycle, Ending::CycleDone, "", false);
        row("auto cycle finished", TestKind::AutoCycle, Ending::CycleLimit, "", false);
        row("resistance measured", TestKind::Resistance, Ending::Measured, "Charge: 0.1 Ohms",
            false);
        row("charge failed", TestKind::Charge, Ending::MeasurementFailure,
            texts::MeasurementFailure, true);
        row("charge refused", TestKind::Charge, Ending::Refused, "The charge rate 0 is <not> ok",
            true);
        row("graph not saved", TestKind::AutoCycle, Ending::GraphNotSaved, "Cannot create file",
            true);
    }
    void eachEndingIsOneNotification() {
        SKIP_WITHOUT_BUS();
        QFETCH(int, test);
        QFETCH(int, how);
        QFETCH(QString, detail);
        QFETCH(bool, critical);
        DesktopNotifier notifier(ProgramBus());
        const TestEnding ending =
            EndingOf(static_cast<TestKind>(test), static_cast<Ending>(how), detail.toStdString());
        QVERIFY(notifier.Notify(ending));
        QTRY_COMPARE(fake_->Calls().size(), 1u);
        const NotifyCall call = fake_->Calls().front();
        QCOMPARE(call.AppName, QStringLiteral("Voltrex II"));
        QCOMPARE(call.Icon, QStringLiteral("voltrex2"));
        QCOMPARE(call.Summary, QString::fromStdString(EndingSummary(ending)));
        QCOMPARE(call.Body, QString::fromStdString(EndingBody(ending)).toHtmlEscaped());
        QCOMPARE(call.Hints.value(QStringLiteral("urgency")).toInt(), critical ? 2 : 1);
        QCOMPARE(call.Hints.value(QStringLiteral("sound-name")).toString(),
                 critical ? QStringLiteral("dialog-warning") : QStringLiteral("complete"));
        QCOMPARE(call.Hints.value(QStringLiteral("desktop-entry")).toString(),
                 QStringLiteral("voltrex2"));
        QCOMPARE(call.Timeout, critical ? 0 : -1);
        if (!detail.isEmpty()) {
            QVERIFY(call.Body.endsWith(detail.toHtmlEscaped()));
        }
    }

    void aUserStopSendsNothing() {
        SKIP_WITHOUT_BUS();
        DesktopNotifier notifier(ProgramBus());
        QVERIFY(!notifier.Notify(EndingOf(TestKind::Discharge, Ending::StoppedByUser)));
        // A notification that was sent arrives well within this.
        QVERIFY(notifier.Notify(EndingOf(TestKind::Discharge, Ending::EndVoltage)));
        QTRY_COMPARE(fake_->Calls().size(), 1u);
        QTest::qWait(50);
        QCOMPARE(fake_->Calls().size(), 1u);
        QCOMPARE(fake_->Calls().front().Summary,
                 QStringLiteral("Discharge finished: end voltage reached"));
    }

    // A service that takes the call and never answers, one that is not
    // there, and no bus at all: each notification returns at once, quietly.
    void aServiceThatNeverAnswersOrIsMissingHoldsNothing() {
        SKIP_WITHOUT_BUS();
        fake_->Reset(FakeNotifications::Answer::Never);
        DesktopNotifier hung(ProgramBus());
        QElapsedTimer took;
        took.start();
        for (int i = 0; i < 3; ++i) {
            QVERIFY(hung.Notify(EndingOf(TestKind::Charge, Ending::MeasurementFailure)));
        }
        QVERIFY2(took.elapsed() < 100, qPrintable(QString::number(took.elapsed())));
        QTRY_COMPARE(fake_->Calls().size(), 3u);

        QDBusConnection service = QDBusConnection(QString::fromLatin1(ServiceConnection));
        QVERIFY(service.unregisterService(QStringLiteral("org.freedesktop.Notifications")));
        DesktopNotifier missing(ProgramBus());
        took.restart();
        QVERIFY(missing.Notify(EndingOf(TestKind::Charge, Ending::TimeLimit)));
        const qint64 missingTook = took.elapsed();
        QTest::qWait(50);
        QVERIFY(service.registerService(QStringLiteral("org.freedesktop.Notifications")));
        QVERIFY2(missingTook < 100, qPrintable(QString::number(missingTook)));

        DesktopNotifier nowhere(QDBusConnection::connectToBus(
            "unix:path=" + bus_.Folder().filePath(QStringLiteral("no-bus")),
            QStringLiteral("nowhere")));
        took.restart();
        QVERIFY(!nowhere.Notify(EndingOf(TestKind::Charge, Ending::TimeLimit)));
        QVERIFY(took.elapsed() < 100);
        QDBusConnection::disconnectFromBus(QStringLiteral("nowhere"));
        QCOMPARE(fake_->Calls().size(), 3u);
    }

    // The whole program: a discharge started from its dialog ends at its
    // first pass, and its end reaches the service.
    void aDischargeFromTheWindowReachesTheDesktop() {
        SKIP_WITHOUT_BUS();
        ProgramHarness harness;
        harness.WriteConfiguration();
        // Seven NiMH cells at 6.0 V: at rest, yet below their 7 V end.
        harness.SetVoltage(6.0);
        DesktopNotifier notifier(ProgramBus());
        harness.notifier = &notifier;
        TMainForm& form = harness.Start().MainForm();
        form.show();
        ModalScript script;
        script.Expect("voltrex::TStartForm", [](QWidget* window) {
            auto* start = static_cast<TStartForm*>(window);
            start->CapacityEdit->setText(QStringLiteral("1000"));
            start->StartButton->click();
        });
        form.DischargeButton->click();
        QVERIFY(script.Done());
        QTRY_COMPARE(fake_->Calls().size(), 1u);
        QVERIFY(script.Unexpected().isEmpty());
        const NotifyCall call = fake_->Calls().front();
        QCOMPARE(call.Summary, QStringLiteral("Discharge finished: end voltage reached"));
        QVERIFY2(call.Body.contains(QStringLiteral(" V per cell")), qPrintable(call.Body));
    }

    // A discharge on the virtual clock, falling 50 mV a second: at each pass
    // the published state is that of the pass that began its second, and its
    // figures are those of that pass's status line.
    void theLiveStateFollowsTheStatusLineEverySecond() {
        QTemporaryDir runtime;
        const QString folder = runtime.filePath(QStringLiteral("voltrex2"));
        VirtualClock clock;
        RecordingPort port(clock);
        Configuration config = ConfigurationOf();
        TestSettings settings;
        settings.CellType = "NiMH";
        settings.NumberOfCells = 6;
        settings.Capacity = 2000;
        settings.DischargeRate = 5;
        settings.ChargeRate = 5;
        Instrument instrument(clock, config.Calibration);
        instrument.BindPort(port);
        instrument.SetPortAddress(config.PortAddress);
        Graph graph;
        PassingWindow window(clock);
        Procedures procedures(config, settings, instrument, graph, clock, window,
                              runtime.path().toStdString());
        std::optional<LiveState> live(std::in_place, folder.toStdString(), graph, settings);

        struct Seen : TestObserver {
            LiveState* State = nullptr;
            std::string Status;
            std::int64_t Second = -1;
            void Passed(const TestPass& pass) override {
                if (pass.Now != Second) {
                    Second = pass.Now;
                    Status = pass.Status;
                }
                State->Passed(pass);
            }
            void Ended(const TestEnding& ending) override { State->Ended(ending); }
        } seen;
        // Before any test: the program runs, and that is all there is to say.
        live->PublishIdle(clock.Now());
        const QJsonObject idle = ReadState(folder);
        QCOMPARE(idle.value(QStringLiteral("running")).toBool(true), false);
        QVERIFY(idle.contains(QStringLiteral("pid")));
        QVERIFY(!idle.contains(QStringLiteral("test")));
        seen.State = &*live;
        procedures.SetObserver(&seen);
        const auto volts = [&clock] { return 7.2 - 0.05 * clock.Elapsed(); };
        port.SetStatusFunction([&volts](int count) -> std::uint8_t {
            return count < std::lround(volts() / VoltsPerCount) ? 0x0F : 0x07;
        });
        int checked = 0;
        QStringList wrong;
        window.OnYield = [&] {
            const QJsonObject state = ReadState(folder);
            const QString status = QString::fromStdString(seen.Status);
            if (state.value(QStringLiteral("status")).toString() != status) {
                wrong << QStringLiteral("state %1, status %2")
                             .arg(state.value(QStringLiteral("status")).toString(), status);
                return;
            }
            // The figures as the status line writes them.
            const QString figures = QString::fromStdString(
                Format("Time: %s  Voltage: %1.2fV  Discharge: %1.0fmAh (%1.0fmWh)",
                       state.value(QStringLiteral("elapsedText")).toString().toUtf8().constData(),
                       state.value(QStringLiteral("volts")).toDouble(),
                       state.value(QStringLiteral("mAh")).toDouble(),
                       state.value(QStringLiteral("mWh")).toDouble()));
            if (figures != status) {
                wrong << figures + QStringLiteral(" against ") + status;
            }
            const double perCell = state.value(QStringLiteral("voltsPerCell")).toDouble();
            if (std::abs(perCell * 6 - state.value(QStringLiteral("volts")).toDouble()) > 1e-3) {
                wrong << QStringLiteral("per cell %1").arg(perCell);
            }
            ++checked;
        };
        procedures.RunDischarge(0);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
        QVERIFY2(checked > 60, qPrintable(QString::number(checked)));
        const QJsonObject last = ReadState(folder);
        QCOMPARE(last.value(QStringLiteral("running")).toBool(), false);
        QCOMPARE(last.value(QStringLiteral("test")).toString(), QStringLiteral("Discharge"));
        QCOMPARE(last.value(QStringLiteral("settings")).toObject().value("cells").toInt(), 6);
        QCOMPARE(last.value(QStringLiteral("lastEnding")).toObject().value("summary").toString(),
                 QStringLiteral("Discharge finished: end voltage reached"));
        // The bitmap is the graph, pixel for pixel, as the ending left it.
        const RasterImage& image = graph.Image();
        const QImage shown(reinterpret_cast<const uchar*>(image.Bits()), image.Width(),
                           image.Height(), image.BytesPerLine(), QImage::Format_RGB32);
        QCOMPARE(
            QImage(folder + QStringLiteral("/graph.bmp")).convertToFormat(QImage::Format_RGB32),
            shown);

        live.reset();
        QVERIFY(!QFile::exists(folder));
    }

  private:
    static QDBusConnection ProgramBus() {
        return QDBusConnection(QString::fromLatin1(ProgramConnection));
    }

    PrivateBus bus_;
    QThread serviceThread_;
    FakeNotifications* fake_ = nullptr;
};

QTEST_MAIN(TestWatchTest)

#include "TestWatchTest.moc"
