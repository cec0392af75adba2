// The window-free parts of the program's start: the configuration file's
// atomic save and the fatal-signal switch-off.

#include <QCoreApplication>

int RunConfigurationFileTests(int argc, char** argv);
int RunEmergencySignalsTests(int argc, char** argv);

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    int failures = 0;
    failures += RunConfigurationFileTests(argc, argv);
    failures += RunEmergencySignalsTests(argc, argv);
    return failures;
}
