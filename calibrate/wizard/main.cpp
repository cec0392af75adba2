// voltrex2-calibrate: the calibration assistant. Everything runs on this one
// thread.

#include "calibrate/wizard/CalibrateMain.h"

int main(int argc, char* argv[]) {
    return voltrex::CalibrateMain(argc, argv);
}
