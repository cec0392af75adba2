// The test settings dialog: first showing, variants, every check with its
// message, what each variant stores, the charge rate limit and the current
// indicators, the up-down arrows, Enter and Esc.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QtTest>

#include "AppTestSupport.h"
#include "app/PictureButton.h"
#include "app/TStartForm.h"
#include "app/UpDown.h"
#include "app/VoltrexApplication.h"

using namespace voltrex;
using namespace voltrex::testing;

namespace {

// The dialog over a configuration, shown without a modal loop so a test can
// work its controls and call its handlers directly.
struct ShownDialog {
    explicit ShownDialog(const IniOptions& options = {}) : config(ConfigurationOf(options)) {}
    ~ShownDialog() { form.hide(); }

    // Sets the variant's groups as its Show operation does, and shows.
    void Show(bool battery, bool charge, bool discharge, bool autoCycle) {
        form.BatteryGroup->setVisible(battery);
        form.ChargeGroup->setVisible(charge);
        form.DischargeGroup->setVisible(discharge);
        form.AutoCycleGroup->setVisible(autoCycle);
        form.show();
    }
    void ShowAutoCycle() { Show(true, true, true, true); }

    // Presses Start; returns the messages it showed (none when it closed).
    QStringList Start() {
        ModalScript script;
        script.ExpectMessage();
        form.StartButtonClick();
        QStringList messages = script.Messages();
        messages << script.Unexpected();
        return messages;
    }

    Configuration config;
    TestSettings settings;
    TStartForm form{config, settings, nullptr};
};

QString Message(const char* field, int limit) {
    return QStringLiteral("Please enter a value from 1 to %1 for the %2")
        .arg(limit)
        .arg(QLatin1String(field));
}

}  // namespace

class TStartFormTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() { ConfigureAppearance(); }

    void createdEmptyWithItsDesignCaptions() {
        ShownDialog dialog;
        TStartForm& form = dialog.form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Charge/Discharge/Cycle"));
        QCOMPARE(form.size(), QSize(521, 327));
        QCOMPARE(form.CellTypeComboBox->currentIndex(), -1);
        QCOMPARE(form.CellTypeComboBox->count(), 5);
        QCOMPARE(form.CellTypeComboBox->itemText(4), QStringLiteral("PbAcid"));
        QVERIFY(!form.CellTypeComboBox->isEditable());
        QCOMPARE(form.CapacityEdit->maxLength(), 5);
        QCOMPARE(form.NumberOfCellsEdit->maxLength(), 2);
        QCOMPARE(form.MaximumCyclesEdit->maxLength(), 2);
        QCOMPARE(form.NumberOfCellsEdit->text(), QStringLiteral("1"));
        QCOMPARE(form.StopCheckBox->text(),
                 QStringLiteral("Stop &when capacity increases by less than 0.1%"));
        QCOMPARE(form.DischargeRateTrackBar->minimum(), 1);
        QCOMPARE(form.DischargeRateTrackBar->maximum(), 15);
        QCOMPARE(form.DischargeRateTrackBar->tickPosition(), QSlider::TicksBelow);
        QCOMPARE(form.DischargeRateTrackBar->tickInterval(), 1);
        QVERIFY(form.StartButton->isDefault());
        const TestSettings& settings = form.Settings();
        QVERIFY(settings.CellType.empty());
        QCOMPARE(settings.Capacity, 0);
        QCOMPARE(settings.ChargeRate, 0);
        QVERIFY(!settings.StopOnSmallIncrease);
    }

    void firstShowingSelectsNiMHWithSevenCells() {
        IniOptions options;
        options.CycleTerminationRatio = 1.025;
        ShownDialog dialog(options);
        dialog.ShowAutoCycle();
        TStartForm& form = dialog.form;
        QCOMPARE(form.CellTypeComboBox->currentText(), QStringLiteral("NiMH"));
        QCOMPARE(form.NumberOfCellsEdit->text(), QStringLiteral("7"));
        QCOMPARE(form.CapacityEdit->text(), QString());
        QCOMPARE(form.StopCheckBox->text(),
                 QStringLiteral("Stop &when capacity increases by less than 2.5%"));
        QCOMPARE(dialog.Start(), QStringList{Message("Capacity", 99999)});

        // Later showings keep what the user chose.
        form.CellTypeComboBox->setCurrentIndex(2);
        form.NumberOfCellsEdit->setText(QStringLiteral("3"));
        form.hide();
        form.show();
        QCOMPARE(form.CellTypeComboBox->currentText(), QStringLiteral("LiPo"));
        QCOMPARE(form.NumberOfCellsEdit->text(), QStringLiteral("3"));
    }

    void eachVariantHasItsCaptionAndGroups_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("groups");  // Battery, Charge, Discharge, Auto Cycle
        QTest::newRow("charge") << 0 << QStringLiteral("Charge Settings") << QStringLiteral("1100");
        QTest::newRow("discharge")
            << 1 << QStringLiteral("Discharge Settings") << QStringLiteral("1010");
        QTest::newRow("auto cycle")
            << 2 << QStringLiteral("Auto Cycle Settings") << QStringLiteral("1111");
        QTest::newRow("resistance")
            << 3 << QStringLiteral("Internal Resistance Test Settings") << QStringLiteral("0110");
    }

    void eachVariantHasItsCaptionAndGroups() {
        QFETCH(int, variant);
        QFETCH(QString, caption);
        QFETCH(QString, groups);
        ShownDialog dialog;
        TStartForm& form = dialog.form;
        QString seenCaption;
        QString seenGroups;
        ModalScript script;
        script.Expect("voltrex::TStartForm", [&](QWidget*) {
            seenCaption = form.windowTitle();
            for (const QGroupBox* group :
                 {form.BatteryGroup, form.ChargeGroup, form.DischargeGroup, form.AutoCycleGroup}) {
                seenGroups += group->isVisible() ? QLatin1Char('1') : QLatin1Char('0');
            }
            // Esc closes with Cancel.
            QTest::keyClick(&form, Qt::Key_Escape);
        });
        TStartForm::Result result = TStartForm::Result::Start;
        switch (variant) {
            case 0:
                result = form.ShowChargeSettings();
                break;
            case 1:
                result = form.ShowDischargeSettings();
                break;
            case 2:
                result = form.ShowAutoCycleSettings();
                break;
            default:
                result = form.ShowResistanceSettings();
                break;
        }
        QVERIFY(script.Done());
        QVERIFY(result == TStartForm::Result::Cancel);
        QCOMPARE(seenCaption, caption);
        QCOMPARE(seenGroups, groups);
        // Hidden groups leave their place empty; the others do not move.
        QCOMPARE(form.ChargeGroup->geometry(), QRect(266, 80, 247, 89));
        QCOMPARE(form.AutoCycleGroup->geometry(), QRect(8, 176, 505, 91));
        QVERIFY(form.Settings().CellType.empty());
    }

    void enterStartsWithTheValuesShown() {
        ShownDialog dialog;
        TStartForm& form = dialog.form;
        ModalScript script;
        script.Expect("voltrex::TStartForm", [&](QWidget*) {
            form.CapacityEdit->setText(QStringLiteral("2200"));
            QTest::keyClick(form.CapacityEdit, Qt::Key_Return);
        });
        QVERIFY(form.ShowChargeSettings() == TStartForm::Result::Start);
        QVERIFY(script.Unexpected().isEmpty());
        QCOMPARE(form.Settings().CellType, std::string("NiMH"));
        QCOMPARE(form.Settings().Capacity, 2200);
        QCOMPARE(form.Settings().NumberOfCells, 7);
        QCOMPARE(form.Settings().ChargeRate, 1);
        QCOMPARE(form.Settings().DischargeRate, 0);
    }

    void withoutACellTypeStartAsksForOne() {
        ShownDialog dialog;
        // Never shown, so nothing was selected for the user.
        QCOMPARE(dialog.Start(), QStringList{QStringLiteral("Please select a Cell Type")});
        QVERIFY(dialog.form.Settings().CellType.empty());
    }

    void capacityIsChecked_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("zero") << QStringLiteral("0") << false;
        QTest::newRow("letters") << QStringLiteral("abc") << false;
        QTest::newRow("negative") << QStringLiteral("-5") << false;
        QTest::newRow("fraction") << QStringLiteral("1.5") << false;
        QTest::newRow("one") << QStringLiteral("1") << true;
        QTest::newRow("largest") << QStringLiteral("99999") << true;
    }

    void capacityIsChecked() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        ShownDialog dialog;
        dialog.Show(true, false, true, false);
        dialog.form.CapacityEdit->setText(text);
        const QStringList messages = dialog.Start();
        if (valid) {
            QVERIFY(messages.isEmpty());
            QCOMPARE(dialog.form.Settings().Capacity, text.toInt());
            QCOMPARE(dialog.form.result(), int(QDialog::Accepted));
        } else {
            QCOMPARE(messages, QStringList{Message("Capacity", 99999)});
            QCOMPARE(dialog.form.Settings().Capacity, 0);
            QVERIFY(dialog.form.isVisible());
        }
    }

    void numberOfCellsIsChecked_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("thirteen") << QStringLiteral("13") << false;
        QTest::newRow("zero") << QStringLiteral("0") << false;
        QTest::newRow("letters") << QStringLiteral("ab") << false;
        QTest::newRow("twelve") << QStringLiteral("12") << true;
        QTest::newRow("one") << QStringLiteral("1") << true;
    }

    void numberOfCellsIsChecked() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        ShownDialog dialog;
        dialog.Show(true, true, false, false);
        dialog.form.CapacityEdit->setText(QStringLiteral("500"));
        dialog.form.NumberOfCellsEdit->setText(text);
        const QStringList messages = dialog.Start();
        if (valid) {
            QVERIFY(messages.isEmpty());
            QCOMPARE(dialog.form.Settings().NumberOfCells, text.toInt());
        } else {
            QCOMPARE(messages, QStringList{Message("Number of Cells", 12)});
            // Stored before the failing field: cell type and capacity.
            QCOMPARE(dialog.form.Settings().CellType, std::string("NiMH"));
            QCOMPARE(dialog.form.Settings().Capacity, 500);
            QCOMPARE(dialog.form.Settings().NumberOfCells, 0);
        }
    }

    void maximumCyclesIsCheckedAfterTheRatesAreStored() {
        ShownDialog dialog;
        TStartForm& form = dialog.form;
        dialog.ShowAutoCycle();
        form.CapacityEdit->setText(QStringLiteral("1800"));
        form.NumberOfCellsEdit->setText(QStringLiteral("4"));
        form.ChargeRateTrackBar->setValue(5);
        form.DischargeRateTrackBar->setValue(9);
        form.StopCheckBox->setChecked(true);
        form.MaximumCyclesEdit->setText(QStringLiteral("0"));
        QCOMPARE(dialog.Start(), QStringList{Message("Maximum Number of Cycles", 99)});
        QCOMPARE(form.Settings().Capacity, 1800);
        QCOMPARE(form.Settings().NumberOfCells, 4);
        QCOMPARE(form.Settings().ChargeRate, 5);
        QCOMPARE(form.Settings().DischargeRate, 9);
        QCOMPARE(form.Settings().MaximumCycles, 0);
        QVERIFY(!form.Settings().StopOnSmallIncrease);
        QVERIFY(form.isVisible());

        // Cancel after the failed Start keeps what that Start stored.
        form.reject();
        QCOMPARE(form.Settings().ChargeRate, 5);

        form.show();
        form.MaximumCyclesEdit->setText(QStringLiteral("99"));
        form.SaveGraphCheckBox->setChecked(true);
        QVERIFY(dialog.Start().isEmpty());
        QCOMPARE(form.Settings().MaximumCycles, 99);
        QVERIFY(form.Settings().StopOnSmallIncrease);
        QVERIFY(form.Settings().SaveGraphEachCycle);
    }

    void resistanceChecksNothingAndStoresOnlyTheRates() {
        ShownDialog dialog;
        TStartForm& form = dialog.form;
        dialog.Show(false, true, true, false);
        form.CapacityEdit->setText(QStringLiteral("abc"));
        form.MaximumCyclesEdit->setText(QStringLiteral("0"));
        form.ChargeRateTrackBar->setValue(4);
        form.DischargeRateTrackBar->setValue(6);
        QVERIFY(dialog.Start().isEmpty());
        const TestSettings& settings = form.Settings();
        QCOMPARE(settings.ChargeRate, 4);
        QCOMPARE(settings.DischargeRate, 6);
        QVERIFY(settings.CellType.empty());
        QCOMPARE(settings.Capacity, 0);
        QCOMPARE(settings.MaximumCycles, 0);
    }

    void chargeRateMaximumFollowsTheConfiguredCount_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("indicator");
        QTest::newRow("eight rates") << 8 << 7 << QStringLiteral(" 700 mA");
        QTest::newRow("sixteen rates") << 16 << 15 << QStringLiteral("1200 mA");
        QTest::newRow("too many") << 40 << 15 << QStringLiteral("1200 mA");
        QTest::newRow("one rate") << 1 << 1 << QStringLiteral(" 100 mA");
        QTest::newRow("none") << 0 << 1 << QStringLiteral(" 100 mA");
        QTest::newRow("negative") << -3 << 1 << QStringLiteral(" 100 mA");
    }

    void chargeRateMaximumFollowsTheConfiguredCount() {
        QFETCH(int, count);
        QFETCH(int, maximum);
        QFETCH(QString, indicator);
        ShownDialog dialog;
        TStartForm& form = dialog.form;
        form.ChargeRateTrackBar->setValue(12);
        dialog.config.ChargeRateCount = count;
        dialog.ShowAutoCycle();
        QCOMPARE(form.ChargeRateTrackBar->maximum(), maximum);
        QCOMPARE(form.ChargeRateTrackBar->value(), std::min(12, maximum));
        QCOMPARE(form.ChargeRateTrackBar->minimum(), 1);
        // The indicator shows the current of the moved position.
        QCOMPARE(form.ChargeRateIndicatorLabel->text(), indicator);
    }

    void indicatorsShowTheConfiguredCurrents() {
        IniOptions options;
        options.ChargeCurrent1 = 0.05;
        options.DischargeCurrent1 = 0.125;
        ShownDialog dialog(options);
        TStartForm& form = dialog.form;
        dialog.ShowAutoCycle();
        QCOMPARE(form.ChargeRateIndicatorLabel->text(), QStringLiteral("  50 mA"));
        QCOMPARE(form.DischargeRateIndicatorLabel->text(), QStringLiteral(" 125 mA"));
        form.DischargeRateTrackBar->setValue(15);
        QCOMPARE(form.DischargeRateIndicatorLabel->text(), QStringLiteral("3000 mA"));
        form.ChargeRateTrackBar->setValue(10);
        QCOMPARE(form.ChargeRateIndicatorLabel->text(), QStringLiteral("1000 mA"));
        // Centred below the track bar, in a fixed 80 x 13 box that holds the
        // widest text whole.
        for (QLabel* label : {form.ChargeRateIndicatorLabel, form.DischargeRateIndicatorLabel}) {
            QCOMPARE(label->geometry(), QRect(100, 64, 80, 13));
            QCOMPARE(label->alignment(), Qt::AlignHCenter | Qt::AlignTop);
            QVERIFY(label->fontMetrics().boundingRect(label->text()).width() <= 80);
            QVERIFY(label->fontMetrics().height() <= 13);
        }
    }

    void upDownArrowsStepWithinTheirRange() {
        ShownDialog dialog;
        TStartForm& form = dialog.form;
        dialog.ShowAutoCycle();
        QCOMPARE(form.NumberOfCellsUpDown->Max(), 12);
        QCOMPARE(form.MaximumCyclesUpDown->Max(), 99);
        form.NumberOfCellsEdit->setText(QStringLiteral("11"));
        form.NumberOfCellsUpDown->Step(1);
        form.NumberOfCellsUpDown->Step(1);
        QCOMPARE(form.NumberOfCellsEdit->text(), QStringLiteral("12"));
        form.MaximumCyclesEdit->setText(QStringLiteral("2"));
        form.MaximumCyclesUpDown->Step(-1);
        form.MaximumCyclesUpDown->Step(-1);
        QCOMPARE(form.MaximumCyclesEdit->text(), QStringLiteral("1"));
        // Up and Down in the field step too.
        QTest::keyClick(form.MaximumCyclesEdit, Qt::Key_Up);
        QCOMPARE(form.MaximumCyclesEdit->text(), QStringLiteral("2"));
        // Typed text that is no number steps on from the last position.
        form.NumberOfCellsEdit->setText(QStringLiteral("x"));
        QTest::keyClick(form.NumberOfCellsEdit, Qt::Key_Down);
        QCOMPARE(form.NumberOfCellsEdit->text(), QStringLiteral("11"));
        // A typed value beyond the range comes back into it.
        form.NumberOfCellsEdit->setText(QStringLiteral("40"));
        form.NumberOfCellsUpDown->Step(1);
        QCOMPARE(form.NumberOfCellsEdit->text(), QStringLiteral("12"));
    }
};

QTEST_MAIN(TStartFormTest)
#include "TStartFormTest.moc"
