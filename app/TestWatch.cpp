#include "app/TestWatch.h"

#include <QApplication>
#include <QWidget>

namespace voltrex {

TestWatch::TestWatch(QWidget& window, DesktopNotifier& notifier, LiveState* liveState)
    : window_(window), notifier_(notifier), liveState_(liveState) {}

void TestWatch::Passed(const TestPass& pass) {
    if (liveState_ != nullptr) {
        liveState_->Passed(pass);
    }
}

void TestWatch::Ended(const TestEnding& ending) {
    if (liveState_ != nullptr) {
        liveState_->Ended(ending);
    }
    if (ending.How == Ending::StoppedByUser) {
        return;
    }
    notifier_.Notify(ending);
    // 0: until the window is activated.
    QApplication::alert(&window_, 0);
}

}  // namespace voltrex
