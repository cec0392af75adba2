#include "app/ProgramMain.h"

#include <QCoreApplication>
#include <QTimer>
#include <clocale>
#include <exception>

#include "app/EmergencySignals.h"
#include "app/LiveState.h"
#include "app/MessageBoxes.h"
#include "app/PortBinder.h"
#include "app/Program.h"
#include "app/TMainForm.h"
#include "app/VoltrexApplication.h"
#include "instrument/EmergencySwitch.h"
#include "instrument/PortLibrary.h"
#include "platform/SystemClock.h"

namespace voltrex {

int ProgramMain(int argc, char** argv, const std::function<void(Program&)>& started) {
    InstallEmergencySwitchOff();
    VoltrexApplication application(argc, argv);
    // The application object has switched the C library to the user's
    // locale; numbers in files and texts keep the decimal point.
    std::setlocale(LC_NUMERIC, "C");
    ConfigureAppearance();

    SystemClock clock;
    // Declared before the program, so it is unloaded after the windows and
    // the instrument are gone: the last switch-off still has its PortOut.
    PortLibrary library;
    int result = 1;
    try {
        ProgramFiles files;
        files.LiveFolder = LiveState::DefaultFolder();
        Program program(clock, LibraryBinder(library), files);
        application.SetFailureHandler([&program](const std::string& text) {
            program.InstrumentDrive().ClearPortAddress();
            ShowErrorBox(nullptr, QString::fromStdString(text));
            program.MainForm().close();
            QCoreApplication::exit(1);
        });
        program.MainForm().show();
        if (started) {
            QTimer::singleShot(0, &program.MainForm(), [&program, &started] { started(program); });
        }
        if (!application.Failed()) {
            result = QCoreApplication::exec();
        }
        application.SetFailureHandler(nullptr);
    } catch (const std::exception& error) {
        // The program's destructor has switched the instrument off already.
        EmergencySwitchOff();
        ShowErrorBox(nullptr, QString::fromUtf8(error.what()));
        return 1;
    }
    return application.Failed() ? 1 : result;
}

}  // namespace voltrex
