// The main window: start-up chain, run states, Stop and Esc, closing during a
// test, the Resistance and Discharge buttons, and Save Graph.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QtTest>

#include "AppTestSupport.h"
#include "app/GraphView.h"
#include "app/PictureButton.h"
#include "app/TMainForm.h"
#include "app/TSetupForm.h"
#include "app/TStartForm.h"
#include "app/VoltrexApplication.h"

using namespace voltrex;
using namespace voltrex::testing;

namespace {

// Each button as e(nabled), d(isabled) or h(idden), in the column's order.
QString ButtonStates(const TMainForm& form) {
    QString states;
    for (const PictureButton* button :
         {form.DischargeButton, form.ChargeButton, form.AutoCycleButton, form.ResistanceButton,
          form.MonitorButton, form.SetupButton, form.SaveButton, form.ExitButton,
          form.StopButton}) {
        states += button->isHidden()    ? QLatin1Char('h')
                  : button->isEnabled() ? QLatin1Char('e')
                                        : QLatin1Char('d');
    }
    return states;
}

const QString IdleSucceeded = QStringLiteral("eeeeeeeeh");
const QString IdleFailed = QStringLiteral("dddddedeh");
const QString Running = QStringLiteral("hhhhhhhhe");

// The line a failed start-up leaves over the graph, without its lead-in;
// "(not shown)" while it cannot be seen.
QString UnavailableLine(const TMainForm& form) {
    const QLabel* label = form.UnavailableLabel;
    if (!label->isVisible() || !form.GraphPanel->rect().contains(label->geometry())) {
        return QStringLiteral("(not shown)");
    }
    const QString lead = QStringLiteral(
        "The tests are unavailable until the program starts without this error:\n\n");
    return label->text().startsWith(lead) ? label->text().mid(lead.size()) : label->text();
}

// Counts the show events of a widget.
class ShowCounter : public QObject {
  public:
    explicit ShowCounter(QWidget* widget) { widget->installEventFilter(this); }
    int Shows = 0;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            ++Shows;
        }
        return QObject::eventFilter(watched, event);
    }
};

// Clicks Start in the settings dialog after letting set fill it in.
ModalScript::Action StartWith(std::function<void(TStartForm&)> set = {}) {
    return [set](QWidget* window) {
        auto* form = static_cast<TStartForm*>(window);
        if (set) {
            set(*form);
        }
        form->StartButton->click();
    };
}

// Names a file in the save dialog and confirms it.
ModalScript::Action SaveAs(const QString& path) {
    return [path](QWidget* window) {
        auto* dialog = static_cast<QFileDialog*>(window);
        // Typed into the name field, as a user does; the field takes a
        // whole path as well as a bare name.
        if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            name->setText(path);
        }
        // Through the base class: the file dialog's own accept (which checks
        // the name and asks before overwriting) is protected.
        static_cast<QDialog*>(dialog)->accept();
    };
}

}  // namespace

class TMainFormTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { ConfigureAppearance(); }

    void windowHasItsCaptionSizeAndLayout() {
        ProgramHarness harness;
        TMainForm& form = harness.Start().MainForm();
        QCOMPARE(form.windowTitle(),
                 QStringLiteral("Voltrex II - Computer Controlled Battery Manager - Version 1.0"));
        QCOMPARE(form.size(), QSize(750, 499));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(form.DischargeButton->text(), QStringLiteral("&Discharge"));
        QCOMPARE(form.SetupButton->geometry(), QRect(8, 312, 81, 44));
        QCOMPARE(form.ExitButton->geometry(), QRect(8, 448, 81, 44));
        QCOMPARE(form.StopButton->geometry(), QRect(8, 8, 81, 484));
        QCOMPARE(form.GraphPanel->geometry(), QRect(99, 8, 644, 484));
        QCOMPARE(form.GraphImage->geometry(), QRect(2, 2, 640, 480));
        QVERIFY(form.StartupPending());
        QVERIFY(!form.StopRequested());
    }

    void startupWithoutLibraryReportsItAndReadsNoConfiguration() {
        ProgramHarness harness(ProgramHarness::Library::Missing);
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        ModalScript script;
        script.ExpectMessage();
        form.show();
        QVERIFY(script.Done());
        QCOMPARE(script.Messages(), QStringList{QStringLiteral("Error loading I/O DLL.")});
        QCOMPARE(ButtonStates(form), IdleFailed);
        QCOMPARE(UnavailableLine(form), QStringLiteral("Error loading I/O DLL."));
        QVERIFY(!form.StartupPending());
        QCOMPARE(harness.program().ConfigurationRecord().ChargeRateCount, 0);
        QCOMPARE(harness.program().InstrumentDrive().PortAddress(), 0);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void startupWithBadConfigurationShowsTheReadersMessage_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << QByteArray()
                                 << QStringLiteral(
                                        "Error reading initialization file: Could not "
                                        "open Voltrex2.ini for reading.");
        QTest::newRow("malformed") << QByteArray("zz\n")
                                   << QStringLiteral(
                                          "Error reading initialization file: Invalid "
                                          "port address format.");
        QTest::newRow("short") << QByteArray("378\n0.01\n")
                               << QStringLiteral(
                                      "Error reading initialization file: Could not "
                                      "read next bit weight.");
    }

    void startupWithBadConfigurationShowsTheReadersMessage() {
        QFETCH(QByteArray, file);
        QFETCH(QString, message);
        ProgramHarness harness;
        if (!file.isEmpty()) {
            WriteFile(harness.ConfigurationPath(), file);
        }
        TMainForm& form = harness.Start().MainForm();
        ModalScript script;
        script.ExpectMessage();
        form.show();
        QCOMPARE(script.Messages(), QStringList{message});
        QCOMPARE(ButtonStates(form), IdleFailed);
        QCOMPARE(UnavailableLine(form), message);
        QCOMPARE(harness.program().InstrumentDrive().PortAddress(), 0);
        QVERIFY(harness.port.Writes().empty());
        QVERIFY(script.Unexpected().isEmpty());
    }

    void startupSucceedsAndSwitchesTheConfiguredPortOff() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        ModalScript script;
        form.show();
        QCOMPARE(ButtonStates(form), IdleSucceeded);
        QVERIFY(form.UnavailableLabel->isHidden());
        QVERIFY(!form.StartupPending());
        QCOMPARE(harness.program().InstrumentDrive().PortAddress(), 0x378);
        QCOMPARE(harness.port.Writes().size(), std::size_t{1});
        QCOMPARE(harness.port.Writes()[0].Port, 0x378);
        QCOMPARE(harness.port.Writes()[0].Value, 0x00);
        QVERIFY(script.Unexpected().isEmpty());
    }

    // The window is mapped first, with nothing usable, and the chain runs
    // after: while it asks the port and switches it off, every button is
    // disabled and Stop hidden; show returns with the chain complete. The
    // Save Graph dialog is not built until Save is clicked.
    void startupChainRunsOnTheShownWindowWithEveryButtonDisabled() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        QString during;
        bool visible = false;
        harness.port.accessProblem = [&](std::uint16_t) -> const char* {
            during = ButtonStates(form);
            visible = form.isVisible();
            return nullptr;
        };
        ModalScript script;
        form.show();
        QCOMPARE(during, QStringLiteral("dddddddd") + QLatin1Char('h'));
        QVERIFY(visible);
        QCOMPARE(ButtonStates(form), IdleSucceeded);
        QCOMPARE(harness.port.Writes().size(), std::size_t{1});
        QVERIFY(form.GraphSaveDialog == nullptr);
        QVERIFY(form.findChild<QFileDialog*>() == nullptr);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void startupReportsAPortThatCannotBeUsed_data() {
        QTest::addColumn<bool>("driverInstalled");
        QTest::addColumn<bool>("explained");
        QTest::addColumn<QString>("message");
        const QString help = QString::fromLatin1(TMainForm::PortHelp);
        const QString reason =
            QStringLiteral(
                "Error opening the port: /dev/parport0 is in use by lp0, the printer driver.") +
            help;
        QTest::newRow("no access, with the reason") << false << true << reason;
        QTest::newRow("no access, no reason")
            << false << false
            << QStringLiteral(
                   "Error opening the port: the port library has no access to the parallel "
                   "port.") +
                   help;
        QTest::newRow("access, but not to this port") << true << true << reason;
    }

    void startupReportsAPortThatCannotBeUsed() {
        QFETCH(bool, driverInstalled);
        QFETCH(bool, explained);
        QFETCH(QString, message);
        static std::uint16_t askedFor;
        askedFor = 0;
        ProgramHarness harness;
        harness.WriteConfiguration(IniOptions{.PortLine = "3BC"});
        harness.port.driverInstalled = driverInstalled;
        if (explained) {
            harness.port.accessProblem = [](std::uint16_t port) -> const char* {
                askedFor = port;
                return "/dev/parport0 is in use by lp0, the printer driver.";
            };
        }
        TMainForm& form = harness.Start().MainForm();
        ModalScript script;
        script.ExpectMessage();
        form.show();
        QCOMPARE(script.Messages(), QStringList{message});
        QCOMPARE(askedFor, explained ? 0x3BC : 0);
        // As a library that cannot be loaded: no port, nothing written, Setup
        // and Exit usable.
        QCOMPARE(ButtonStates(form), IdleFailed);
        QCOMPARE(UnavailableLine(form), message);
        QCOMPARE(harness.program().InstrumentDrive().PortAddress(), 0);
        QVERIFY(harness.port.Writes().empty());
        QVERIFY(script.Unexpected().isEmpty());
    }

    // The real-port library's code on fake /proc and /dev trees: a port that
    // is not there and one the printer driver holds fail the start-up with
    // the library's reason, at once (the kernel's claim would wait).
    void startupOnTheRealPortLibraryReportsAPortItCannotUse_data() {
        QTest::addColumn<bool>("listed");
        QTest::addColumn<QString>("message");
        QTest::newRow("no such port")
            << false
            << QStringLiteral(
                   "Error opening the port: There is no parallel port at 0x378: %1/sys/dev/"
                   "parport/ lists no parallel port at all. Load the driver (sudo modprobe "
                   "parport_pc); a PCIe card may need its address given, sudo modprobe "
                   "parport_pc io=0x<address>.") +
                   QString::fromLatin1(TMainForm::PortHelp);
        QTest::newRow("held by the printer driver")
            << true
            << QStringLiteral(
                   "Error opening the port: The parallel port at 0x378 (parport0) is held by "
                   "the printer driver lp0: unload it (sudo rmmod lp; blacklist lp in "
                   "/etc/modprobe.d/ to keep it from loading at boot), then start again.") +
                   QString::fromLatin1(TMainForm::PortHelp);
    }

    void startupOnTheRealPortLibraryReportsAPortItCannotUse() {
        QFETCH(bool, listed);
        QFETCH(QString, message);
        ProgramHarness harness(ProgramHarness::Library::File);
        harness.libraryPath = TESTIO_FAKEROOTS;
        const QString proc = harness.Path(QStringLiteral("proc"));
        const QString dev = harness.Path(QStringLiteral("dev"));
        QDir().mkpath(proc + QStringLiteral("/sys/dev/parport"));
        QDir().mkpath(dev);
        if (listed) {
            const QString port = proc + QStringLiteral("/sys/dev/parport/parport0");
            QDir().mkpath(port + QStringLiteral("/devices"));
            WriteFile(port + QStringLiteral("/base-addr"), "888\t1912\n");
            WriteFile(port + QStringLiteral("/devices/active"), "lp0\n");
            WriteFile(dev + QStringLiteral("/parport0"), QByteArray());
        }
        qputenv("VOLTREX_TEST_PROC", QFile::encodeName(proc));
        qputenv("VOLTREX_TEST_DEV", QFile::encodeName(dev));
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        ModalScript script;
        script.ExpectMessage();
        form.show();
        QCOMPARE(script.Messages(),
                 QStringList{message.contains(QStringLiteral("%1")) ? message.arg(proc) : message});
        QCOMPARE(ButtonStates(form), IdleFailed);
        QCOMPARE(harness.program().InstrumentDrive().PortAddress(), 0);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void aSimulatedBoardIsNamedInTheCaptionAndTheMessageBoxes() {
        ProgramHarness harness(ProgramHarness::Library::File);
        harness.libraryPath = TESTIO_OPTIONAL;
        WriteFile(harness.ConfigurationPath(), QByteArray("278\n"));  // a bad file
        TMainForm& form = harness.Start().MainForm();
        QString boxTitle;
        ModalScript script;
        script.Expect("QMessageBox", [&boxTitle](QWidget* window) {
            boxTitle = window->windowTitle();
            static_cast<QMessageBox*>(window)->accept();
        });
        form.show();
        QVERIFY(script.Done());
        const QString mark = QStringLiteral(" (test board)");
        QCOMPARE(form.windowTitle(), QString::fromLatin1(TMainForm::Caption) + mark);
        QCOMPARE(boxTitle, QStringLiteral("Voltrex II") + mark);
    }

    void aBoardThatAnswersOnlyElsewhereFailsTheStartup() {
        ProgramHarness harness(ProgramHarness::Library::File);
        harness.libraryPath = TESTIO_OPTIONAL;
        harness.WriteConfiguration(IniOptions{.PortLine = "278"});
        TMainForm& form = harness.Start().MainForm();
        ModalScript script;
        script.ExpectMessage();
        form.show();
        QCOMPARE(script.Messages(),
                 QStringList{QStringLiteral(
                     "Error opening the port: the test board answers only at 0x378.")});
        QCOMPARE(ButtonStates(form), IdleFailed);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void aLibraryThatDoesNotAnnounceItselfLeavesEveryCaptionAlone() {
        ProgramHarness harness(ProgramHarness::Library::File);
        harness.libraryPath = TESTIO_COMPLETE;
        harness.WriteConfiguration(IniOptions{.PortLine = "278"});
        TMainForm& form = harness.Start().MainForm();
        ModalScript script;
        form.show();
        QCOMPARE(form.windowTitle(), QString::fromLatin1(TMainForm::Caption));
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Voltrex II"));
        QCOMPARE(ButtonStates(form), IdleSucceeded);
        QCOMPARE(harness.program().InstrumentDrive().PortAddress(), 0x278);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void aSecondShowDoesNothing() {
        ProgramHarness harness(ProgramHarness::Library::Missing);
        TMainForm& form = harness.Start().MainForm();
        {
            ModalScript script;
            script.ExpectMessage();
            form.show();
            QVERIFY(script.Done());
        }
        ModalScript script;
        form.hide();
        form.show();
        form.showMinimized();
        form.showNormal();
        QCOMPARE(harness.bindCalls, 1);
        QCOMPARE(ButtonStates(form), IdleFailed);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void buttonsDisabledAtStartupStayDisabledAfterASuccessfulSetupSave() {
        ProgramHarness harness;
        TMainForm& form = harness.Start().MainForm();
        {
            ModalScript script;
            script.ExpectMessage();
            form.show();
            QVERIFY(script.Done());
        }
        QCOMPARE(ButtonStates(form), IdleFailed);
        ModalScript script;
        script.ExpectMessage();  // the assistant finds no file to load
        script.Expect("voltrex::TSetupForm", [](QWidget* window) {
            auto* setup = static_cast<TSetupForm*>(window);
            setup->FileMemo->setPlainText(QString::fromStdString(ConfigurationText()));
            setup->SaveButton->click();
        });
        form.SetupButton->click();
        QVERIFY(script.Done());
        QVERIFY(
            script.Messages().at(0).startsWith(QStringLiteral("Could not read Voltrex2.ini: ")));
        QVERIFY(!harness.program().SetupForm().isVisible());
        QCOMPARE(harness.program().ConfigurationRecord().ChargeRateCount, 16);
        QCOMPARE(harness.program().InstrumentDrive().PortAddress(), 0x378);
        QCOMPARE(ButtonStates(form), IdleFailed);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void aTestShowsOnlyStopAndEscapeStopsIt() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        ModalScript script;
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));

        // Esc while idle: Stop is hidden, so nothing is requested.
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(!form.StopRequested());

        QString whileRunning;
        WhenTrue during([&] { return form.StopButton->isVisible(); },
                        [&] {
                            whileRunning = ButtonStates(form);
                            // Hidden buttons answer no accelerator: no
                            // dialog opens, no second test starts.
                            QTest::keyClick(&form, Qt::Key_D, Qt::AltModifier);
                            QTest::keyClick(&form, Qt::Key_U, Qt::AltModifier);
                            QTest::keyClick(&form, Qt::Key_Escape);
                        });
        QTest::keyClick(&form, Qt::Key_M, Qt::AltModifier);  // Monitor, until Esc
        QVERIFY(during.Fired());
        QCOMPARE(whileRunning, Running);
        QCOMPARE(ButtonStates(form), IdleSucceeded);
        QVERIFY(!form.StopRequested());
        QVERIFY(harness.program().GraphArea().CurrentGraph() != nullptr);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void theMnemonicsAreTheButtonsAccelerators() {
        ProgramHarness harness;
        TMainForm& form = harness.Start().MainForm();
        QCOMPARE(form.DischargeButton->shortcut(), QKeySequence(QStringLiteral("Alt+D")));
        QCOMPARE(form.ChargeButton->shortcut(), QKeySequence(QStringLiteral("Alt+C")));
        QCOMPARE(form.AutoCycleButton->shortcut(), QKeySequence(QStringLiteral("Alt+A")));
        QCOMPARE(form.ResistanceButton->shortcut(), QKeySequence(QStringLiteral("Alt+R")));
        QCOMPARE(form.MonitorButton->shortcut(), QKeySequence(QStringLiteral("Alt+M")));
        QCOMPARE(form.SetupButton->shortcut(), QKeySequence(QStringLiteral("Alt+U")));
        QCOMPARE(form.SaveButton->shortcut(), QKeySequence(QStringLiteral("Alt+S")));
        QCOMPARE(form.ExitButton->shortcut(), QKeySequence(QStringLiteral("Alt+X")));
        QCOMPARE(form.StopButton->shortcut(), QKeySequence(Qt::Key_Escape));
    }

    void stopRequestsAreReportedToOnePoll() {
        ProgramHarness harness;
        TMainForm& form = harness.Start().MainForm();
        form.StopButtonClick();
        form.StopButtonClick();
        QVERIFY(form.PollStop());
        QVERIFY(!form.PollStop());
    }

    void closingDuringMonitorEndsItAndSwitchesOff() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        Instrument& instrument = harness.program().InstrumentDrive();
        bool offAtOnce = false;
        WhenTrue during([&] { return form.StopButton->isVisible(); },
                        [&] {
                            harness.port.ClearLog();
                            form.close();
                            // Off at once, before the monitor has seen the stop.
                            offAtOnce = instrument.PortAddress() == 0;
                        });
        form.MonitorButton->click();
        QVERIFY(during.Fired());
        QVERIFY(offAtOnce);
        QVERIFY(!form.isVisible());
        QCOMPARE(instrument.PortAddress(), 0);
        QCOMPARE(instrument.ControlLatch(), 0);
        // The close's all-off byte is the last thing the port saw.
        QVERIFY(!harness.port.Writes().empty());
        QCOMPARE(harness.port.Writes().back().Value, 0x00);
        QCOMPARE(harness.port.Writes().back().Port, 0x378);
        QVERIFY(form.StopButton->isHidden());
    }

    void closingDuringMonitorEndsTheEventLoopAfterTheTestReturns() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        bool monitorReturned = false;
        QTimer::singleShot(0, &form, [&] {
            form.MonitorButton->click();
            monitorReturned = true;
        });
        WhenTrue during([&] { return form.StopButton->isVisible(); }, [&] { form.close(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(30000);
        const int result = QCoreApplication::exec();
        watchdog.stop();
        QCOMPARE(result, 0);
        QVERIFY(monitorReturned);
        QCOMPARE(harness.program().InstrumentDrive().PortAddress(), 0);
    }

    void exitClosesWithoutTouchingAnUnsetPort() {
        ProgramHarness harness(ProgramHarness::Library::Missing);
        TMainForm& form = harness.Start().MainForm();
        {
            ModalScript script;
            script.ExpectMessage();
            form.show();
        }
        form.ExitButton->click();
        QVERIFY(!form.isVisible());
        QVERIFY(harness.port.Writes().empty());
    }

    void resistanceRunsWithoutTheRunningStateOnATemporaryGraph() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        ShowCounter stopShows(form.StopButton);
        QString caption;
        {
            ModalScript script;
            script.Expect("voltrex::TStartForm", StartWith([&](TStartForm& start) {
                              caption = start.windowTitle();
                              start.ChargeRateTrackBar->setValue(3);
                              start.DischargeRateTrackBar->setValue(2);
                          }));
            form.ResistanceButton->click();
            QVERIFY(script.Done());
            QVERIFY(script.Unexpected().isEmpty());
        }
        QCOMPARE(caption, QStringLiteral("Internal Resistance Test Settings"));
        QCOMPARE(stopShows.Shows, 0);
        QCOMPARE(ButtonStates(form), IdleSucceeded);
        QVERIFY(harness.program().GraphArea().CurrentGraph() == nullptr);
        QCOMPARE(harness.program().StartForm().Settings().ChargeRate, 3);
        QCOMPARE(harness.program().StartForm().Settings().DischargeRate, 2);
        // The test switched the current on (a rate was written) and all off at the end.
        const auto values = harness.port.WrittenValues();
        QVERIFY(std::find(values.begin(), values.end(), 0x22) != values.end());
        QVERIFY(std::find(values.begin(), values.end(), 0x33) != values.end());
        QCOMPARE(harness.program().InstrumentDrive().ControlLatch(), 0);

        // Save after only a Resistance test writes nothing.
        const QString path = harness.Path(QStringLiteral("after-resistance.bmp"));
        ModalScript save;
        save.Expect("QFileDialog", SaveAs(path));
        form.SaveButton->click();
        QVERIFY(save.Done());
        QVERIFY(!QFile::exists(path));
        QVERIFY(save.Unexpected().isEmpty());
    }

    void thePcIsKeptAwakeWhileATestRuns_data() {
        QTest::addColumn<QString>("test");
        QTest::addColumn<QString>("why");
        QTest::newRow("finished discharge")
            << QStringLiteral("discharge") << QStringLiteral("A battery pack is being discharged");
        QTest::newRow("failed discharge") << QStringLiteral("failing discharge")
                                          << QStringLiteral("A battery pack is being discharged");
        QTest::newRow("stopped monitor")
            << QStringLiteral("monitor") << QStringLiteral("A battery pack is being monitored");
        QTest::newRow("resistance")
            << QStringLiteral("resistance")
            << QStringLiteral("A battery pack's resistance is being measured");
    }

    void thePcIsKeptAwakeWhileATestRuns() {
        QFETCH(QString, test);
        QFETCH(QString, why);
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        // Every reading of the test is taken with the guard held; the pack
        // reads 6 V (below a 7-cell discharge's end: one pass), or nothing.
        const bool failing = test == QStringLiteral("failing discharge");
        int readings = 0;
        bool heldAtEveryReading = true;
        harness.port.SetStatusFunction([&](int count) -> std::uint8_t {
            ++readings;
            heldAtEveryReading = heldAtEveryReading && harness.sleepGuard.Held();
            return failing || count < 300 ? 0x08 | (failing ? 0x10 : 0x00) : 0x00;
        });
        WhenTrue stop([&] { return form.StopButton->isVisible(); },
                      [&] { form.StopButton->click(); });
        ModalScript script;
        if (test == QStringLiteral("monitor")) {
            form.MonitorButton->click();
        } else {
            script.Expect("voltrex::TStartForm", StartWith([](TStartForm& start) {
                              start.CapacityEdit->setText(QStringLiteral("1000"));
                          }));
            if (failing) {
                script.ExpectMessage();
            }
            (test == QStringLiteral("resistance") ? form.ResistanceButton : form.DischargeButton)
                ->click();
            QVERIFY(script.Done());
        }
        QVERIFY(readings > 0);
        QVERIFY(heldAtEveryReading);
        QCOMPARE(harness.sleepGuard.Acquired, 1);
        QCOMPARE(harness.sleepGuard.Released, 1);
        QVERIFY(!harness.sleepGuard.Held());
        QCOMPARE(QString::fromStdString(harness.sleepGuard.Reasons.at(0)), why);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void cancelledSettingsStartNothing() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        harness.port.ClearLog();
        ShowCounter stopShows(form.StopButton);
        ModalScript script;
        script.Expect("voltrex::TStartForm", [](QWidget* window) {
            static_cast<TStartForm*>(window)->CancelButton->click();
        });
        form.DischargeButton->click();
        QVERIFY(script.Done());
        QCOMPARE(stopShows.Shows, 0);
        QVERIFY(harness.port.Writes().empty());
        QCOMPARE(harness.program().StartForm().Settings().Capacity, 0);
    }

    void dischargeRunsFromItsDialogToTheResultsFile() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        // Seven NiMH cells end at 7 V; the pack reads 5 V, so the discharge
        // ends at its first pass.
        harness.SetVoltage(6.0);
        TMainForm& form = harness.Start().MainForm();
        form.show();
        ShowCounter stopShows(form.StopButton);
        QString caption;
        ModalScript script;
        script.Expect("voltrex::TStartForm", StartWith([&](TStartForm& start) {
                          caption = start.windowTitle();
                          start.CapacityEdit->setText(QStringLiteral("1000"));
                      }));
        form.DischargeButton->click();
        QVERIFY(script.Done());
        QCOMPARE(caption, QStringLiteral("Discharge Settings"));
        QCOMPARE(stopShows.Shows, 1);
        QCOMPARE(ButtonStates(form), IdleSucceeded);
        const TestSettings& settings = harness.program().StartForm().Settings();
        QCOMPARE(settings.CellType, std::string("NiMH"));
        QCOMPARE(settings.Capacity, 1000);
        QCOMPARE(settings.NumberOfCells, 7);
        QCOMPARE(settings.DischargeRate, 1);
        const QByteArray results = ReadFile(harness.Path(QStringLiteral("Voltrex2.csv")));
        QVERIFY2(results.contains("DIS"), results.constData());
        QVERIFY(harness.program().GraphArea().CurrentGraph() != nullptr);
        QCOMPARE(harness.program().InstrumentDrive().ControlLatch(), 0);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void autoCycleReportsABitmapThatCannotBeWrittenAndLeavesTheRunningState() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        // One LiPo cell that rests at 3.5 V, reads 2.5 V while discharging
        // (below its 3.0 V end) and 4.4 V while charging (above its 4.2 V
        // ceiling, below the 4.45 V cut-off): each phase ends at its first
        // pass.
        Instrument* instrument = nullptr;
        harness.port.SetStatusFunction([&instrument](int count) -> std::uint8_t {
            const std::uint8_t relays =
                instrument != nullptr ? instrument->ControlLatch() & 0x30 : 0x00;
            const double volts = relays == 0x30 ? 4.4 : (relays == 0x20 ? 2.5 : 3.5);
            const int flip = static_cast<int>(volts / VoltsPerCount);
            return count < flip ? 0x08 : 0x00;
        });
        ProgramFiles files;
        files.Folder = harness.Path(QStringLiteral("no-such-folder")).toStdString();
        TMainForm& form = harness.Start(files).MainForm();
        instrument = &harness.program().InstrumentDrive();
        form.show();
        // The rests count whole seconds of the clock: let every pass of the
        // event loop take one.
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&harness] { harness.clock.Advance(1.0); });
        ticker.start(0);
        ShowCounter stopShows(form.StopButton);
        ModalScript script;
        script.Expect("voltrex::TStartForm", StartWith([](TStartForm& start) {
                          start.CellTypeComboBox->setCurrentIndex(2);
                          start.CapacityEdit->setText(QStringLiteral("100"));
                          start.NumberOfCellsEdit->setText(QStringLiteral("1"));
                          start.MaximumCyclesEdit->setText(QStringLiteral("3"));
                          start.SaveGraphCheckBox->setChecked(true);
                      }));
        script.ExpectMessage();
        form.AutoCycleButton->click();
        ticker.stop();
        QVERIFY(script.Done());
        QVERIFY2(script.Unexpected().isEmpty(),
                 qPrintable(script.Unexpected().join(QLatin1Char('|'))));
        const QString prefix = QStringLiteral("Cannot create file ") +
                               QString::fromStdString(files.Folder) + QLatin1Char('/');
        QCOMPARE(script.Messages().size(), 1);
        QVERIFY2(script.Messages()[0].startsWith(prefix) &&
                     script.Messages()[0].endsWith(QStringLiteral(".bmp")),
                 qPrintable(script.Messages()[0]));
        QCOMPARE(stopShows.Shows, 1);
        QCOMPARE(ButtonStates(form), IdleSucceeded);
        QCOMPARE(harness.program().InstrumentDrive().ControlLatch(), 0);
    }

    void saveGraphWritesNothingBeforeAnyTest() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        const QString path = harness.Path(QStringLiteral("empty.bmp"));
        QString title;
        QStringList filters;
        QString suffix;
        bool saving = false;
        bool ownDialog = false;
        bool confirmsOverwrite = false;
        ModalScript script;
        script.Expect("QFileDialog", [&](QWidget* window) {
            auto* dialog = static_cast<QFileDialog*>(window);
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            suffix = dialog->defaultSuffix();
            saving = dialog->acceptMode() == QFileDialog::AcceptSave;
            ownDialog = dialog->testOption(QFileDialog::DontUseNativeDialog);
            confirmsOverwrite = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            SaveAs(path)(window);
        });
        form.SaveButton->click();
        QVERIFY(script.Done());
        QVERIFY(!QFile::exists(path));
        QCOMPARE(title, QStringLiteral("Save Graph"));
        QCOMPARE(filters, QStringList{QStringLiteral("Windows Bitmap (*.bmp)")});
        QCOMPARE(suffix, QStringLiteral("bmp"));
        QVERIFY(saving);
        QVERIFY(ownDialog);
        QVERIFY(confirmsOverwrite);
        QVERIFY2(script.Unexpected().isEmpty(),
                 qPrintable(script.Unexpected().join(QLatin1Char('|'))));
    }

    void saveGraphAfterATestWritesTheBitmapAndKeepsTheWorkingDirectory() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        WhenTrue during([&] { return form.StopButton->isVisible(); },
                        [&] { form.StopButton->click(); });
        form.MonitorButton->click();
        QVERIFY(during.Fired());

        const QString workingDirectory = QDir::currentPath();
        ModalScript script;
        // A name typed without an extension gets ".bmp".
        script.Expect("QFileDialog", SaveAs(harness.Path(QStringLiteral("monitor"))));
        form.SaveButton->click();
        QVERIFY(script.Done());
        const QFileInfo saved(harness.Path(QStringLiteral("monitor.bmp")));
        QVERIFY(saved.exists());
        QCOMPARE(saved.size(), qint64{308278});
        QCOMPARE(QDir::currentPath(), workingDirectory);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void saveGraphReportsAFileThatCannotBeCreated() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        WhenTrue during([&] { return form.StopButton->isVisible(); },
                        [&] { form.StopButton->click(); });
        form.MonitorButton->click();

        // The dialog takes the name (its folder exists, and no file is there
        // yet), but the link leads into a folder that does not.
        const QString path = harness.Path(QStringLiteral("graph.bmp"));
        QVERIFY(QFile::link(harness.Path(QStringLiteral("no-such-folder/graph.bmp")), path));
        ModalScript script;
        script.Expect("QFileDialog", SaveAs(path));
        script.ExpectMessage();
        form.SaveButton->click();
        QVERIFY(script.Done());
        QCOMPARE(script.Messages(), QStringList{QStringLiteral("Cannot create file ") + path});
        QCOMPARE(ButtonStates(form), IdleSucceeded);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void saveGraphRefusesAMissingFolderAndAReadOnlyFileWhileTheDialogIsOpen() {
        ProgramHarness harness;
        harness.WriteConfiguration();
        TMainForm& form = harness.Start().MainForm();
        form.show();
        WhenTrue during([&] { return form.StopButton->isVisible(); },
                        [&] { form.StopButton->click(); });
        form.MonitorButton->click();

        const QString readOnly = harness.Path(QStringLiteral("kept.bmp"));
        WriteFile(readOnly, QByteArray("old"));
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ReadGroup));
        const QString missing = harness.Path(QStringLiteral("no-such-folder"));
        bool stayedOpen = true;
        bool activeAgain = false;
        ModalScript script;
        script.Expect("QFileDialog", [&](QWidget* window) {
            SaveAs(missing + QStringLiteral("/graph.bmp"))(window);
            // Without the extension: the default one makes it the read-only
            // file, which is refused before the question whether to replace it.
            stayedOpen = stayedOpen && window->isVisible();
            SaveAs(harness.Path(QStringLiteral("kept")))(window);
            stayedOpen = stayedOpen && window->isVisible();
            // Typed, as the user does, into the name field, which has the
            // focus again: the refused file no longer counts as chosen.
            window->activateWindow();
            activeAgain = QTest::qWaitForWindowActive(window);
            window->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setFocus();
            SaveAs(harness.Path(QStringLiteral("new.bmp")))(window);
        });
        script.ExpectMessage();
        script.ExpectMessage();
        form.SaveButton->click();
        QVERIFY(script.Done());
        QVERIFY(stayedOpen);
        QVERIFY(activeAgain);
        QCOMPARE(script.Messages(),
                 (QStringList{
                     QStringLiteral("The folder ") + missing + QStringLiteral(" does not exist."),
                     QStringLiteral("The file ") + readOnly + QStringLiteral(" is read-only.")}));
        QCOMPARE(ReadFile(readOnly), QByteArray("old"));
        QVERIFY(!QFileInfo::exists(missing));
        QCOMPARE(QFileInfo(harness.Path(QStringLiteral("new.bmp"))).size(), qint64{308278});
        QVERIFY(script.Unexpected().isEmpty());
    }
};

QTEST_MAIN(TMainFormTest)
#include "TMainFormTest.moc"
