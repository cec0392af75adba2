// The assistant's window wired to the board: every way out and the time limit
// switch a current off (rate first, then the relays), and the weights step
// runs through on the simulated meter's button.

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <stdexcept>

#include "calibrate/wizard/TCalibrationWizard.h"
#include "simulator/SampleConfiguration.h"
#include "testsupport/RecordingPort.h"
#include "testsupport/SimulatedPort.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {

namespace {

// Closes the next modal box once it is up.
void DismissNextBox() {
    QTimer::singleShot(0, [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
        }
    });
}

// The emergency switch-off writes through a plain C function, which can reach
// the test's port only through a variable of its own: the one the C interface
// forces.
RecordingPort* switchedPort = nullptr;

void SwitchedPortOut(unsigned short port, unsigned char value) {
    switchedPort->Out(port, value);
}

// A simulated board whose meter fails once the assistant is up.
class FailingMeterPort final : public RecordingPort {
  public:
    using RecordingPort::RecordingPort;
    bool ReadSimulatedMeter(int, double& value) override {
        if (asked_++ > 0) {
            throw std::runtime_error("the meter is gone");
        }
        value = 0.0;
        return true;
    }

  private:
    int asked_ = 0;
};

QPushButton* Button(QWidget& page, const QString& text) {
    for (QPushButton* button : page.findChildren<QPushButton*>()) {
        if (button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

}  // namespace

class CalibrationWizardTest : public QObject {
    Q_OBJECT

  private slots:
    void EveryWayOutSwitchesTheCurrentOffFirst_data() {
        QTest::addColumn<int>("way");
        QTest::newRow("Cancel") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("Finish") << 2;
    }

    void EveryWayOutSwitchesTheCurrentOffFirst() {
        QFETCH(int, way);
        VirtualClock clock;
        RecordingPort port(clock);
        Configuration config = simulator::SampleConfiguration();
        Instrument instrument(clock, config.Calibration);
        instrument.BindPort(port);
        instrument.SetPortAddress(0x378);
        TCalibrationWizard wizard(config, instrument, port, clock, "/nonexistent/Voltrex2.ini");
        wizard.show();
        while (wizard.currentId() != TCalibrationWizard::CurrentsPageId) {
            wizard.next();
        }
        wizard.SwitchOnButton->click();
        QCOMPARE(instrument.ControlLatch(), 0x21);  // discharge at rate 1
        port.ClearLog();
        if (way == 0) {
            wizard.reject();
        } else if (way == 1) {
            wizard.close();
        } else {
            wizard.done(QDialog::Accepted);
        }
        QCOMPARE(port.WrittenValues(), (std::vector<std::uint8_t>{0x20, 0x00}));
        QCOMPARE(instrument.ControlLatch(), 0x00);
    }

    void ACurrentLeftWithoutAReadingGoesOff() {
        VirtualClock clock;
        RecordingPort port(clock);
        Configuration config = simulator::SampleConfiguration();
        Instrument instrument(clock, config.Calibration);
        instrument.BindPort(port);
        instrument.SetPortAddress(0x378);
        TCalibrationWizard wizard(config, instrument, port, clock, "/nonexistent/Voltrex2.ini");
        wizard.show();
        while (wizard.currentId() != TCalibrationWizard::CurrentsPageId) {
            wizard.next();
        }
        wizard.SwitchOnButton->click();
        clock.Advance(59.9);
        wizard.CheckTimeLimit();
        QCOMPARE(instrument.ControlLatch(), 0x21);
        clock.Advance(0.1);
        DismissNextBox();
        wizard.CheckTimeLimit();
        QCOMPARE(instrument.ControlLatch(), 0x00);
        // Leaving the page switches off too.
        wizard.SwitchOnButton->click();
        wizard.next();
        QCOMPARE(instrument.ControlLatch(), 0x00);
    }

    void AnExceptionDuringACurrentSwitchesItOffFirst() {
        VirtualClock clock;
        FailingMeterPort port(clock);
        switchedPort = &port;
        port.SetProcs({&SwitchedPortOut, nullptr});
        Configuration config = simulator::SampleConfiguration();
        Instrument instrument(clock, config.Calibration);
        instrument.BindPort(port);
        instrument.SetPortAddress(0x378);
        TCalibrationWizard wizard(config, instrument, port, clock, "/nonexistent/Voltrex2.ini");
        wizard.show();
        while (wizard.currentId() != TCalibrationWizard::CurrentsPageId) {
            wizard.next();
        }
        wizard.SwitchOnButton->click();
        QCOMPARE(instrument.ControlLatch(), 0x21);
        port.ClearLog();
        QTest::ignoreMessage(QtCriticalMsg, "Unexpected failure: the meter is gone");
        Button(*wizard.currentPage(), QStringLiteral("Read the simulated meter"))->click();
        QCOMPARE(port.WrittenValues(), (std::vector<std::uint8_t>{0x20, 0x00}));
        switchedPort = nullptr;
    }

    void TheWeightsComeFromTheSimulatedMeter() {
        VirtualClock clock;
        SimulatedPort port(clock, {simulator::Chemistry::NiMH, 7, 2000.0, 0.6}, 0x378,
                           simulator::SeededBoardCalibration(18));
        Configuration config = simulator::SampleConfiguration();
        Instrument instrument(clock, config.Calibration);
        instrument.BindPort(port);
        instrument.SetPortAddress(0x378);
        TCalibrationWizard wizard(config, instrument, port, clock, "/nonexistent/Voltrex2.ini");
        wizard.show();
        wizard.next();
        QWidget& page = *wizard.currentPage();
        QPushButton* read = Button(page, QStringLiteral("Read the simulated meter"));
        QPushButton* take = Button(page, QStringLiteral("&Take reading"));
        QVERIFY(read != nullptr && take != nullptr);
        for (int i = 0; i < 26; ++i) {
            QCOMPARE(port.Board().Counter(), DesignCounts()[static_cast<std::size_t>(i)]);
            read->click();
            take->click();
        }
        const QString report = page.findChild<QPlainTextEdit*>()->toPlainText();
        QVERIFY2(report.startsWith(QStringLiteral("Fit residual")), qPrintable(report));
        QVERIFY2(!report.contains(QStringLiteral("not taken")), qPrintable(report));
    }
};

}  // namespace voltrex::testing

QTEST_MAIN(voltrex::testing::CalibrationWizardTest)
#include "CalibrationWizardTest.moc"
