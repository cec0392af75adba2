// The real program (ProgramMain: the emergency switch-off, the port library
// loaded by name from beside the program, the windows and the event loop) on
// the simulated charger, with a charge started through its windows and then
// ended the way the command line names:
//
//   voltrex2_waysout wait       charge until a signal or the display ends it
//   voltrex2_waysout exit       exit(4) from an event handler
//   voltrex2_waysout throw      an exception escaping an event handler
//   voltrex2_waysout terminate  std::terminate from an event handler
//   voltrex2_waysout overflow   a stack overflow in an event handler
//
// It prints "charging" on standard output once the charge current flows.
// Run it in a folder holding Voltrex2.ini and a Voltrex2Sim.ini that names
// a write log; WaysOutTest.cpp does, and reads the log. Not a test itself.

#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>

#include "AppTestSupport.h"
#include "app/PictureButton.h"
#include "app/Program.h"
#include "app/ProgramMain.h"
#include "app/TMainForm.h"
#include "app/TStartForm.h"

using namespace voltrex;
using namespace voltrex::testing;

namespace {

int Recurse(int depth) {
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (depth == std::numeric_limits<int>::max()) {
        return frame[0];
    }
    return Recurse(depth + 1) + frame[0];
}

void TakeTheWayOut(const std::string& way) {
    if (way == "exit") {
        std::exit(4);
    }
    if (way == "throw") {
        throw std::runtime_error("A planted failure in an event handler.");
    }
    if (way == "terminate") {
        std::terminate();
    }
    if (way == "overflow") {
        Recurse(0);
    }
}

bool Charging(Program& program) {
    const std::uint8_t latch = program.InstrumentDrive().ControlLatch();
    return (latch & 0x30) == 0x30 && (latch & 0x0F) != 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: voltrex2_waysout wait|exit|throw|terminate|overflow\n");
        return 2;
    }
    const std::string way = argv[1];
    int programArgc = 1;
    return ProgramMain(programArgc, argv, [&way](Program& program) {
        // Both live for the whole charge: the script answers the settings
        // dialog and closes the failure's error box, which nobody is there
        // to click.
        ModalScript script;
        script.Expect("voltrex::TStartForm", [](QWidget* window) {
            auto* start = static_cast<TStartForm*>(window);
            start->CellTypeComboBox->setCurrentText(QStringLiteral("LiPo"));
            start->CapacityEdit->setText(QStringLiteral("5000"));
            start->NumberOfCellsEdit->setText(QStringLiteral("1"));
            start->ChargeRateTrackBar->setValue(5);
            start->StartButton->click();
        });
        WhenTrue charging([&program] { return Charging(program); },
                          [&way] {
                              std::puts("charging");
                              std::fflush(stdout);
                              TakeTheWayOut(way);
                          });
        program.MainForm().ChargeButton->click();
    });
}
