// Takes the documentation's screenshots: runs the real program (the port
// library beside it, on the simulated board with a small pack) in a scratch
// folder, works its windows through a discharge and every dialog, and saves
// each window as a PNG file. Run it under a display, for example
//
//   xvfb-run -a -s "-screen 0 1024x768x24"
//       build/default/bin/voltrex2_screenshots config/sample/Voltrex2.ini docs/screenshots
//
// Not a test: it runs in real time (about two minutes).

#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <clocale>
#include <cstdio>

#include "AppTestSupport.h"
#include "app/PictureButton.h"
#include "app/Program.h"
#include "app/TMainForm.h"
#include "app/TSetupForm.h"
#include "app/TStartForm.h"
#include "app/VoltrexApplication.h"
#include "instrument/PortLibrary.h"
#include "platform/SystemClock.h"

using namespace voltrex;
using namespace voltrex::testing;

namespace {

// A 7-cell NiMH pack of AA cells near the end of its charge: a discharge at
// 1 C (rate 11) reaches the knee and ends within about a minute.
constexpr const char* TourPack =
    "Chemistry = NiMH\nCells = 7\nCapacity = 2000\nStateOfCharge = 1\n";

class Tour {
  public:
    Tour(Program& program, QDir output) : program_(program), output_(std::move(output)) {}

    void Run() {
        TMainForm& form = program_.MainForm();
        Save(form, "main-window");

        {
            ModalScript script;
            script.Expect("voltrex::TStartForm", [this](QWidget* window) {
                auto* start = static_cast<TStartForm*>(window);
                start->CapacityEdit->setText(QStringLiteral("2000"));
                start->DischargeRateTrackBar->setValue(11);
                Save(*start, "settings-discharge");
                start->StartButton->click();
            });
            QTimer::singleShot(25000, &form,
                               [this, &form] { Save(form, "main-discharge-running"); });
            form.DischargeButton->click();  // returns when the pack is empty
        }
        Save(form, "main-discharge-finished");

        ShowVariant(form.AutoCycleButton, "settings-auto-cycle");
        ShowVariant(form.ChargeButton, "settings-charge");
        ShowVariant(form.ResistanceButton, "settings-resistance");

        {
            ModalScript script;
            script.Expect("voltrex::TStartForm", [](QWidget* window) {
                auto* start = static_cast<TStartForm*>(window);
                start->NumberOfCellsEdit->setText(QStringLiteral("13"));
                start->StartButton->click();
            });
            script.Expect("QMessageBox", [this](QWidget* window) {
                Save(*window, "message-number-of-cells");
                static_cast<QMessageBox*>(window)->button(QMessageBox::Ok)->click();
            });
            script.Expect("voltrex::TStartForm",
                          [](QWidget* window) { static_cast<QDialog*>(window)->reject(); });
            form.ChargeButton->click();
        }

        {
            ModalScript script;
            script.Expect("voltrex::TSetupForm", [this](QWidget* window) {
                auto* setup = static_cast<TSetupForm*>(window);
                setup->ChargeButton->click();
                setup->RateTrackBar->setValue(10);
                Save(*setup, "setup-assistant");
                setup->CancelButton->click();
            });
            form.SetupButton->click();
        }

        {
            ModalScript script;
            script.Expect("QFileDialog", [this](QWidget* window) {
                auto* dialog = static_cast<QFileDialog*>(window);
                if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
                    name->setText(QStringLiteral("discharge"));
                }
                Save(*dialog, "save-graph");
                dialog->reject();
            });
            form.SaveButton->click();
        }
        form.close();
    }

  private:
    void ShowVariant(PictureButton* button, const char* name) {
        ModalScript script;
        script.Expect("voltrex::TStartForm", [this, name](QWidget* window) {
            Save(*window, name);
            static_cast<QDialog*>(window)->reject();
        });
        button->click();
    }

    void Save(QWidget& window, const char* name) {
        const QString path = output_.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
        if (!window.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        }
    }

    Program& program_;
    QDir output_;
};

}  // namespace

int main(int argc, char* argv[]) {
    VoltrexApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ConfigureAppearance();
    if (argc != 3) {
        std::fprintf(stderr, "usage: voltrex2_screenshots <sample Voltrex2.ini> <output folder>\n");
        return 2;
    }
    const QString sample = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    QDir output(QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath());
    if (!output.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot make %s\n", argv[2]);
        return 2;
    }
    // The program works in its working directory, as it does for a user.
    QTemporaryDir scratch;
    if (!scratch.isValid() ||
        !QFile::copy(sample, scratch.filePath(QStringLiteral("Voltrex2.ini")))) {
        std::fprintf(stderr, "cannot prepare a working folder from %s\n", argv[1]);
        return 2;
    }
    WriteFile(scratch.filePath(QStringLiteral("Voltrex2Sim.ini")), QByteArray(TourPack));
    if (::chdir(QFile::encodeName(scratch.path()).constData()) != 0) {
        return 2;
    }

    SystemClock clock;
    PortLibrary library;
    Program program(clock, LibraryBinder(library));
    Tour tour(program, output);
    program.MainForm().show();
    QTimer::singleShot(500, &program.MainForm(), [&tour] { tour.Run(); });
    return QCoreApplication::exec();
}
