// The setup assistant: what the rate, relay and count controls write, Save
// (good, bad and unwritable files), Cancel and the close box, and reopening.

#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QtTest>

#include "AppTestSupport.h"
#include "app/PictureButton.h"
#include "app/TSetupForm.h"
#include "app/VoltrexApplication.h"

using namespace voltrex;
using namespace voltrex::testing;

namespace {

// The assistant over a recording port on 0x378, with the configuration file
// in a temporary folder and read into the program's record.
struct Assistant {
    Assistant() {
        WriteFile(Path(), QByteArray::fromStdString(ConfigurationText()));
        config = ConfigurationOf();
        instrument.BindPort(port);
        instrument.SetPortAddress(config.PortAddress);
        port.ClearLog();
    }
    ~Assistant() { form.hide(); }

    QString Path() const { return folder.filePath(QStringLiteral("Voltrex2.ini")); }
    // The writes since the last ClearLog, as values.
    std::vector<std::uint8_t> Values() const { return port.WrittenValues(); }
    // Virtual milliseconds between write i and write i + 1.
    double GapMs(std::size_t i) const {
        return (port.Writes().at(i + 1).Time - port.Writes().at(i).Time) * 1000.0;
    }

    // The step that works the opened dialog: act, and then, when the dialog
    // is still open, close it without its handlers with the result -1.
    ModalScript::Action Acting(std::function<void()> act) {
        return [this, act = std::move(act)](QWidget*) {
            act();
            if (form.isVisible()) {
                stillOpen = true;
                form.done(-1);
            }
        };
    }

    QTemporaryDir folder;
    VirtualClock clock;
    RecordingPort port{clock};
    Configuration config;
    Instrument instrument{clock, config.Calibration};
    TSetupForm form{config, instrument, Path().toStdString(), nullptr};
    bool stillOpen = false;
};

using Bytes = std::vector<std::uint8_t>;

}  // namespace

class TSetupFormTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { ConfigureAppearance(); }

    void showingLoadsTheFileAndResetsTheControls() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Voltrex II Setup Assistant"));
        QCOMPARE(form.size(), QSize(572, 335));
        form.RateTrackBar->setValue(7);
        form.ChargeButton->setChecked(true);
        form.ConnectButton->setChecked(true);
        form.CountComboBox->setEditText(QStringLiteral("99"));
        assistant.port.ClearLog();
        form.show();
        QCOMPARE(form.FileMemo->toPlainText() + QLatin1Char('\n'),
                 QString::fromStdString(ConfigurationText()));
        QCOMPARE(form.RateTrackBar->value(), 0);
        QCOMPARE(form.RateIndicatorLabel->text(), QStringLiteral("Hex 00"));
        QVERIFY(form.DischargeButton->isChecked());
        QVERIFY(form.DisconnectButton->isChecked());
        QCOMPARE(form.CountComboBox->currentText(), QStringLiteral("0"));
        QVERIFY(!form.Modified());
        // Each reset ran its handler: the instrument follows the controls.
        QCOMPARE(assistant.instrument.ControlLatch(), 0x00);
        QVERIFY(!assistant.port.Writes().empty());
        QCOMPARE(assistant.port.Writes().back().Value, 0x00);
    }

    void showingRunsOnlyTheHandlersOfControlsThatChange() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        // The first showing: every control already shows its reset value.
        QVERIFY(form.DischargeButton->isChecked());
        QVERIFY(form.DisconnectButton->isChecked());
        form.show();
        QCOMPARE(assistant.Values(), Bytes{});
        form.hide();
        // Only the mode pair changes: its handler runs once, from the latch
        // 0x10 the click left (relays off, 100 ms, then rate 0).
        form.ChargeButton->click();
        assistant.port.ClearLog();
        form.show();
        QCOMPARE(assistant.Values(), (Bytes{0x10, 0x00, 0x00}));
        QCOMPARE(assistant.GapMs(1), 100.0);
    }

    void theSliderWritesRateAndRelaysTogether() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        form.show();
        form.ChargeButton->click();
        form.ConnectButton->click();
        QCOMPARE(assistant.instrument.ControlLatch(), 0x30);
        // From a latch of 0x00: the relays, 100 ms, then the rate.
        assistant.instrument.AllOff();
        assistant.port.ClearLog();
        form.RateTrackBar->setValue(10);
        QCOMPARE(assistant.Values(), (Bytes{0x30, 0x3A}));
        QCOMPARE(assistant.GapMs(0), 100.0);
        QCOMPARE(form.RateIndicatorLabel->text(), QStringLiteral("Hex 0A"));

        // From a latch with rate bits set: current off first, 1 ms.
        assistant.port.ClearLog();
        form.RateTrackBar->setValue(15);
        QCOMPARE(assistant.Values(), (Bytes{0x30, 0x30, 0x3F}));
        QCOMPARE(assistant.GapMs(0), 1.0);
        QCOMPARE(assistant.GapMs(1), 100.0);
        QCOMPARE(form.RateIndicatorLabel->text(), QStringLiteral("Hex 0F"));

        // A relay button rewrites all three with the slider's rate.
        assistant.port.ClearLog();
        form.DischargeButton->click();
        QCOMPARE(assistant.Values(), (Bytes{0x30, 0x20, 0x2F}));
    }

    void setClocksTheCounterToTheChosenCount() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        form.show();
        form.CountComboBox->setCurrentIndex(form.CountComboBox->findText(QStringLiteral("4095")));
        assistant.port.ClearLog();
        form.SetButton->click();
        QCOMPARE(assistant.port.ResetPulses(), 1);
        QCOMPARE(assistant.port.ClockPulses(), 4095);
        QCOMPARE(assistant.port.Counter(), 4095);

        form.CountComboBox->setEditText(QStringLiteral("12"));
        assistant.port.ClearLog();
        form.SetButton->click();
        QCOMPARE(assistant.port.ClockPulses(), 12);
    }

    void setRefusesCountsOutsideTheCounter_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("4096") << QStringLiteral("4096");
        QTest::newRow("-1") << QStringLiteral("-1");
        QTest::newRow("abc") << QStringLiteral("abc");
        QTest::newRow("empty") << QString();
    }

    void setRefusesCountsOutsideTheCounter() {
        QFETCH(QString, text);
        Assistant assistant;
        TSetupForm& form = assistant.form;
        form.show();
        form.CountComboBox->setEditText(text);
        assistant.port.ClearLog();
        ModalScript script;
        script.ExpectMessage();
        form.SetButton->click();
        QCOMPARE(script.Messages(),
                 QStringList{
                     QStringLiteral("Please enter a count from 0 to 4095 in the Count To field.")});
        QVERIFY(assistant.port.Writes().empty());
    }

    void saveWritesTheTextWithCrLfAndRereadsTheConfiguration() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        IniOptions changed;
        changed.PortLine = "278";
        changed.ChargeRateCount = 9;
        ModalScript script;
        script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
            // As the editor shows a file: no line break after the last line.
            form.FileMemo->setPlainText(
                QString::fromStdString(ConfigurationText(changed)).chopped(1));
            assistant.port.ClearLog();
            form.SaveButton->click();
        }));
        const int result = form.exec();
        QCOMPARE(result, int(QDialog::Accepted));
        QVERIFY(script.Unexpected().isEmpty());
        QByteArray expected = QByteArray::fromStdString(ConfigurationText(changed));
        expected.replace("\n", "\r\n");
        QCOMPARE(ReadFile(assistant.Path()), expected);
        // Refilled in place: the record the program holds has the new values.
        QCOMPARE(assistant.config.ChargeRateCount, 9);
        QCOMPARE(assistant.config.PortAddress, 0x278);
        // All off on the old port, then all off on the new one, which is used.
        QCOMPARE(assistant.instrument.PortAddress(), 0x278);
        QVERIFY(!assistant.port.Writes().empty());
        QCOMPARE(assistant.port.Writes().front().Port, 0x378);
        QCOMPARE(assistant.port.Writes().back().Port, 0x278);
        QCOMPARE(assistant.port.Writes().back().Value, 0x00);
        // No temporary file is left beside it.
        QCOMPARE(QDir(assistant.folder.path()).entryList(QDir::Files),
                 QStringList{QStringLiteral("Voltrex2.ini")});
    }

    void saveKeepsEveryLineOfTheEditorAnEmptyLastOneToo() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        QByteArray file = QByteArray::fromStdString(ConfigurationText() + "\n");
        file.replace("\n", "\r\n");
        WriteFile(assistant.Path(), file);
        const auto save = [&](std::function<void()> edit) {
            ModalScript script;
            script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
                edit();
                form.SaveButton->click();
            }));
            QCOMPARE(form.exec(), int(QDialog::Accepted));
            QVERIFY(script.Unexpected().isEmpty());
        };
        // Saved as loaded, again and again.
        save([] {});
        QCOMPARE(ReadFile(assistant.Path()), file);
        save([] {});
        QCOMPARE(ReadFile(assistant.Path()), file);
        // A line break typed after the last line makes one more empty line.
        save([&] {
            form.FileMemo->moveCursor(QTextCursor::End);
            QTest::keyClick(form.FileMemo, Qt::Key_Return);
        });
        QCOMPARE(ReadFile(assistant.Path()), file + "\r\n");
        // An editor without any text has no lines at all.
        Configuration before = assistant.config;
        ModalScript script;
        script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
            form.FileMemo->clear();
            form.SaveButton->click();
        }));
        script.ExpectMessage();
        QCOMPARE(form.exec(), -1);
        QCOMPARE(ReadFile(assistant.Path()), QByteArray());
        QCOMPARE(script.Messages(),
                 QStringList{QStringLiteral(
                     "Error re-reading initialization file: Could not read port address.")});
        QCOMPARE(assistant.config.PortAddress, before.PortAddress);
    }

    void saveOfAFileThatDoesNotParseKeepsTheDialogOpen() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        ModalScript script;
        script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
            form.FileMemo->setPlainText(QStringLiteral("378\n0.02\nnot a weight"));
            form.SaveButton->click();
        }));
        script.ExpectMessage();
        const int result = form.exec();
        QVERIFY(assistant.stillOpen);
        QCOMPARE(result, -1);
        QCOMPARE(script.Messages(),
                 QStringList{QStringLiteral(
                     "Error re-reading initialization file: Invalid bit weight format.")});
        QCOMPARE(ReadFile(assistant.Path()), QByteArray("378\r\n0.02\r\nnot a weight\r\n"));
        // The port is not left released.
        QCOMPARE(assistant.instrument.PortAddress(), 0x378);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void saveThatCannotWriteTheFileSaysSoAndRestoresThePort() {
        Assistant assistant;
        const QString unwritable = assistant.folder.filePath(QStringLiteral("gone/Voltrex2.ini"));
        TSetupForm form(assistant.config, assistant.instrument, unwritable.toStdString(), nullptr);
        QString text;
        {
            ModalScript script;
            script.ExpectMessage();  // nothing to load
            form.show();
            QVERIFY(script.Done());
        }
        ModalScript script;
        script.ExpectMessage();
        form.FileMemo->setPlainText(QStringLiteral("378"));
        form.SaveButton->click();
        QCOMPARE(
            script.Messages(),
            QStringList{QStringLiteral("Could not write Voltrex2.ini: No such file or directory")});
        QVERIFY(form.isVisible());
        QCOMPARE(assistant.instrument.PortAddress(), 0x378);
        QCOMPARE(assistant.config.ChargeRateCount, 16);
        form.hide();
    }

    void openingWithoutAFileSaysSoAndShowsAnEmptyEditor() {
        Assistant assistant;
        QFile::remove(assistant.Path());
        ModalScript script;
        script.ExpectMessage();
        assistant.form.show();
        QCOMPARE(
            script.Messages(),
            QStringList{QStringLiteral("Could not read Voltrex2.ini: No such file or directory")});
        QVERIFY(assistant.form.FileMemo->toPlainText().isEmpty());
        QVERIFY(!assistant.form.Modified());
    }

    void cancelWithoutEditsClosesWithoutAsking() {
        Assistant assistant;
        ModalScript script;
        script.Expect("voltrex::TSetupForm",
                      assistant.Acting([&] { assistant.form.CancelButton->click(); }));
        const int result = assistant.form.exec();
        QCOMPARE(result, int(QDialog::Rejected));
        QVERIFY(script.Unexpected().isEmpty());
        QCOMPARE(assistant.instrument.PortAddress(), 0x378);
        QCOMPARE(assistant.instrument.ControlLatch(), 0x00);
    }

    void cancelAfterAnEditAsksAndNoKeepsTheText() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        ModalScript script;
        script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
            form.FileMemo->appendPlainText(QStringLiteral("; edited"));
            form.CancelButton->click();
        }));
        script.ExpectMessage(QMessageBox::No);
        const int result = form.exec();
        QCOMPARE(result, -1);
        QCOMPARE(script.Messages(),
                 QStringList{QStringLiteral("Are you sure you want to discard your changes?")});
        QVERIFY(form.FileMemo->toPlainText().endsWith(QStringLiteral("; edited")));
        QVERIFY(form.Modified());
        QCOMPARE(assistant.instrument.PortAddress(), 0x378);
        QVERIFY(script.Unexpected().isEmpty());
    }

    void escapeAndTheCloseBoxActAsCancel() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        const QByteArray before = ReadFile(assistant.Path());
        {
            ModalScript script;
            script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
                form.FileMemo->appendPlainText(QStringLiteral("; dropped"));
                QTest::keyClick(&form, Qt::Key_Escape);
            }));
            script.ExpectMessage(QMessageBox::Yes);
            const int result = form.exec();
            QCOMPARE(result, int(QDialog::Rejected));
            QCOMPARE(script.Messages().size(), 1);
        }
        {
            ModalScript script;
            script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
                form.FileMemo->appendPlainText(QStringLiteral("; kept"));
                form.close();
            }));
            script.ExpectMessage(QMessageBox::No);
            const int result = form.exec();
            QCOMPARE(result, -1);
            QCOMPARE(script.Messages().size(), 1);
        }
        QCOMPARE(ReadFile(assistant.Path()), before);
        QCOMPARE(assistant.instrument.PortAddress(), 0x378);
    }

    void enterSavesUnlessAnotherButtonHasTheFocus() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        {
            ModalScript script;
            script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
                form.CancelButton->setFocus();
                QTest::keyClick(form.CancelButton, Qt::Key_Return);
            }));
            QCOMPARE(form.exec(), int(QDialog::Rejected));
        }
        {
            ModalScript script;
            script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
                form.RateTrackBar->setFocus();
                QTest::keyClick(form.RateTrackBar, Qt::Key_Return);
            }));
            QCOMPARE(form.exec(), int(QDialog::Accepted));
        }
    }

    void reopeningShowsTheFileAsSavedAndTheControlsReset() {
        Assistant assistant;
        TSetupForm& form = assistant.form;
        {
            ModalScript script;
            script.Expect("voltrex::TSetupForm", assistant.Acting([&] {
                form.RateTrackBar->setValue(5);
                form.ChargeButton->click();
                form.CountComboBox->setEditText(QStringLiteral("77"));
                form.FileMemo->setPlainText(form.FileMemo->toPlainText() +
                                            QStringLiteral("\n; after the 40 values"));
                form.SaveButton->click();
            }));
            QCOMPARE(form.exec(), int(QDialog::Accepted));
        }
        form.show();
        QVERIFY(form.FileMemo->toPlainText().endsWith(QStringLiteral("; after the 40 values")));
        QCOMPARE(form.RateTrackBar->value(), 0);
        QVERIFY(form.DischargeButton->isChecked());
        QVERIFY(form.DisconnectButton->isChecked());
        QCOMPARE(form.CountComboBox->currentText(), QStringLiteral("0"));
        QVERIFY(!form.Modified());
    }

    void aFileThatIsNotUtf8IsWrittenBackByteForByte() {
        Assistant assistant;
        QByteArray latin1 = QByteArray::fromStdString(ConfigurationText());
        latin1.replace("; Voltrex II test configuration",
                       "; Kalibrierung 20\xB0"
                       "C, M\xFCller");
        WriteFile(assistant.Path(), latin1);
        ModalScript script;
        script.Expect("voltrex::TSetupForm",
                      assistant.Acting([&] { assistant.form.SaveButton->click(); }));
        QCOMPARE(assistant.form.exec(), int(QDialog::Accepted));
        QVERIFY(script.Unexpected().isEmpty());
        latin1.replace("\n", "\r\n");
        QCOMPARE(ReadFile(assistant.Path()), latin1);
    }
};

QTEST_MAIN(TSetupFormTest)
#include "TSetupFormTest.moc"
