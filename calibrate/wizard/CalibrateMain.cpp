#include "calibrate/wizard/CalibrateMain.h"

#include <clocale>
#include <cstring>

#include "app/EmergencySignals.h"
#include "app/MessageBoxes.h"
#include "app/VoltrexApplication.h"
#include "calibrate/wizard/TCalibrationWizard.h"
#include "config/ConfigurationReader.h"
#include "instrument/PortLibrary.h"
#include "platform/SystemClock.h"

namespace voltrex {

int CalibrateMain(int argc, char** argv) {
    InstallEmergencySwitchOff();
    VoltrexApplication application(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    ConfigureAppearance();

    Configuration config;
    if (auto message = ReadConfiguration(config)) {
        ShowErrorBox(nullptr,
                     QString::fromStdString("Error reading initialization file: " + *message));
        return 2;
    }
    // Declared before the instrument, so it is unloaded after the last
    // switch-off.
    PortLibrary library;
    if (library.BindPortLibrary() != 0) {
        ShowErrorBox(nullptr, QStringLiteral("Error loading I/O DLL."));
        return 2;
    }
    Port& port = library.AsPort();
    const char* problem = port.AccessProblem(config.PortAddress);
    if ((problem == nullptr || *problem == '\0') && !port.DriverInstalled()) {
        problem = "the port library has no access to the parallel port.";
    }
    if (problem != nullptr && *problem != '\0') {
        ShowErrorBox(nullptr,
                     QString::fromStdString(std::string("Error opening the port: ") + problem));
        return 2;
    }
    SystemClock clock;
    Instrument instrument(clock, config.Calibration);
    instrument.BindPort(port);
    instrument.SetPortAddress(config.PortAddress);
    int result = 0;
    {
        TCalibrationWizard wizard(config, instrument, port, clock, ConfigurationFileName);
        application.SetFailureHandler([&wizard](const std::string& text) {
            ShowErrorBox(nullptr, QString::fromStdString(text));
            wizard.reject();
            QCoreApplication::exit(1);
        });
        wizard.show();
        result = QCoreApplication::exec();
        application.SetFailureHandler(nullptr);
    }
    instrument.ClearPortAddress();
    return application.Failed() ? 1 : result;
}

}  // namespace voltrex
