// A German desktop: the application object adopts the user's locale, which
// makes the C library write and read numbers with a decimal comma. The
// program's numbers must keep the decimal point all the same: in the
// configuration it reads, the dialog's texts and the results file. This test
// does not put LC_NUMERIC back to "C" as the program's start does, so it
// checks that every number goes through the C conventions by construction.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "AppTestSupport.h"
#include "app/PictureButton.h"
#include "app/TMainForm.h"
#include "app/TStartForm.h"

using namespace voltrex;
using namespace voltrex::testing;

class GermanLocaleTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        char comma[8];
        std::snprintf(comma, sizeof comma, "%.1f", 1.5);
        if (QByteArray(comma) != "1,5") {
            QSKIP("the German locale is not installed (locale-gen de_DE.UTF-8)");
        }
    }

    void numbersKeepTheDecimalPoint() {
        ProgramHarness harness;
        IniOptions options;
        options.CycleTerminationRatio = 1.025;
        options.ChargeCurrent1 = 0.125;
        harness.WriteConfiguration(options);
        // Seven NiMH cells end at 7 V; the pack reads 6 V, so the discharge
        // ends at its first pass and writes its results line.
        harness.SetVoltage(6.0);
        TMainForm& form = harness.Start().MainForm();
        {
            ModalScript startUp;
            form.show();
            QVERIFY(startUp.Unexpected().isEmpty());
        }
        QVERIFY(form.DischargeButton->isEnabled());
        QCOMPARE(harness.program().ConfigurationRecord().CycleTerminationRatio, 1.025);
        QCOMPARE(harness.program().ConfigurationRecord().ChargeCurrent[1], 0.125);

        QString stopCaption;
        QString chargeIndicator;
        ModalScript script;
        script.Expect("voltrex::TStartForm", [&](QWidget* window) {
            auto* start = static_cast<TStartForm*>(window);
            stopCaption = start->StopCheckBox->text();
            chargeIndicator = start->ChargeRateIndicatorLabel->text();
            start->CapacityEdit->setText(QStringLiteral("1000"));
            start->StartButton->click();
        });
        form.DischargeButton->click();
        QVERIFY(script.Done());
        QCOMPARE(stopCaption, QStringLiteral("Stop &when capacity increases by less than 2.5%"));
        QCOMPARE(chargeIndicator, QStringLiteral(" 125 mA"));

        const QByteArray results = ReadFile(harness.Path(QStringLiteral("Voltrex2.csv")));
        QVERIFY2(results.contains("\"DIS\",0,0,\"NiMH\",1000,7,200.0,0.0,0.0,"),
                 results.constData());
        QVERIFY(!results.contains("200,0"));
    }
};

int main(int argc, char** argv) {
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    QApplication application(argc, argv);
    GermanLocaleTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "GermanLocaleTest.moc"
