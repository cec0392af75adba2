#include "app/Program.h"

#include "app/SleepInhibitor.h"
#include "app/TMainForm.h"
#include "app/TSetupForm.h"
#include "app/TStartForm.h"

namespace voltrex {

Program::Program(Clock& clock, PortBinder bindPort, ProgramFiles files, SleepGuard* sleepGuard)
    : clock_(clock), instrument_(clock, configuration_.Calibration) {
    if (sleepGuard == nullptr) {
        ownSleepGuard_ = std::make_unique<SleepInhibitor>();
        sleepGuard = ownSleepGuard_.get();
    }
    mainForm_ = std::make_unique<TMainForm>(configuration_, instrument_, graph_, *sleepGuard,
                                            std::move(bindPort), files.ConfigurationPath);
    startForm_ = new TStartForm(configuration_, settings_, mainForm_.get());
    setupForm_ =
        new TSetupForm(configuration_, instrument_, files.ConfigurationPath, mainForm_.get());
    procedures_ = std::make_unique<Procedures>(configuration_, settings_, instrument_, graph_,
                                               clock_, *mainForm_, files.Folder);
    mainForm_->Attach(*startForm_, *setupForm_, *procedures_);
}

Program::~Program() {
    instrument_.ClearPortAddress();
}

}  // namespace voltrex
