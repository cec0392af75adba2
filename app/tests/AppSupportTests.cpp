// The window-free parts of the program: the fatal-signal switch-off and the
// handling of failures that reach the event loop. Runs under the program's own
// application object.

#include "app/VoltrexApplication.h"

int RunEmergencySignalsTests(int argc, char** argv);
int RunVoltrexApplicationTests(int argc, char** argv);

int main(int argc, char** argv) {
    voltrex::VoltrexApplication application(argc, argv);
    int failures = 0;
    failures += RunEmergencySignalsTests(argc, argv);
    failures += RunVoltrexApplicationTests(argc, argv);
    return failures;
}
