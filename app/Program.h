#pragma once

#include <memory>
#include <string>

#include "app/DesktopNotifier.h"
#include "app/LiveState.h"
#include "app/PortBinder.h"
#include "app/SleepGuard.h"
#include "config/Configuration.h"
#include "config/ConfigurationReader.h"
#include "graph/Graph.h"
#include "instrument/Instrument.h"
#include "platform/Clock.h"
#include "procedures/Procedures.h"
#include "procedures/TestObserver.h"

namespace voltrex {

class TMainForm;
class TSetupForm;
class TStartForm;

// Where the program's files are: the configuration file, and the folder of
// the results file and the per-cycle bitmaps ("" = the working directory).
struct ProgramFiles {
    std::string ConfigurationPath = ConfigurationFileName;
    std::string Folder;
    // Where the running test is published for other programs ("" = not at
    // all); the program's start names $XDG_RUNTIME_DIR/voltrex2.
    std::string LiveFolder;
};

// Everything the program keeps for its whole run, made in start-up order: the
// configuration, the instrument and the graph, then the main window, the test
// settings dialog (which owns the TestSettings) and the setup assistant, and
// the procedures that run the tests under the main window. Nothing of it is
// global; whoever needs a part is handed it.
class Program {
  public:
    // sleepGuard keeps the PC awake while a test runs; without one the
    // program asks the system's login manager (tests hand in their own).
    // notifier tells the desktop how tests end; without one the program
    // uses the session bus.
    Program(Clock& clock, PortBinder bindPort, ProgramFiles files = {},
            SleepGuard* sleepGuard = nullptr, DesktopNotifier* notifier = nullptr);
    // Switches the instrument off (a no-op when the window's close already
    // did), then takes the windows down before the records they use.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    TMainForm& MainForm() { return *mainForm_; }
    TStartForm& StartForm() { return *startForm_; }
    TSetupForm& SetupForm() { return *setupForm_; }
    Configuration& ConfigurationRecord() { return configuration_; }
    Instrument& InstrumentDrive() { return instrument_; }
    Graph& GraphArea() { return graph_; }
    Procedures& TestProcedures() { return *procedures_; }
    // What the procedures tell of their passes and endings (the benchmark
    // times it).
    TestObserver& Watch() { return *watch_; }

  private:
    Clock& clock_;
    std::unique_ptr<SleepGuard> ownSleepGuard_;
    Configuration configuration_;
    // What the settings dialog's Start stores and the procedures read.
    TestSettings settings_;
    Instrument instrument_;
    Graph graph_;
    std::unique_ptr<TMainForm> mainForm_;
    // Both dialogs are children of the main window, which deletes them.
    TStartForm* startForm_ = nullptr;
    TSetupForm* setupForm_ = nullptr;
    std::unique_ptr<Procedures> procedures_;
    std::unique_ptr<DesktopNotifier> ownNotifier_;
    std::unique_ptr<LiveState> liveState_;
    std::unique_ptr<TestObserver> watch_;
};

}  // namespace voltrex
