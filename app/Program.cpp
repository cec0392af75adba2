#include "app/Program.h"

#include "app/SleepInhibitor.h"
#include "app/TMainForm.h"
#include "app/TSetupForm.h"
#include "app/TStartForm.h"
#include "app/TestWatch.h"

namespace voltrex {

Program::Program(Clock& clock, PortBinder bindPort, ProgramFiles files, SleepGuard* sleepGuard,
                 DesktopNotifier* notifier)
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
    if (notifier == nullptr) {
        ownNotifier_ = std::make_unique<DesktopNotifier>();
        notifier = ownNotifier_.get();
    }
    if (!files.LiveFolder.empty()) {
        liveState_ = std::make_unique<LiveState>(files.LiveFolder, graph_, startForm_->Settings());
        liveState_->PublishIdle(clock_.Now());
    }
    watch_ = std::make_unique<TestWatch>(*mainForm_, *notifier, liveState_.get());
    procedures_->SetObserver(watch_.get());
}

Program::~Program() {
    instrument_.ClearPortAddress();
    procedures_->SetObserver(nullptr);
}

}  // namespace voltrex
