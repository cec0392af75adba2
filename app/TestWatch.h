#pragma once

#include "app/DesktopNotifier.h"
#include "app/LiveState.h"
#include "procedures/TestObserver.h"

class QWidget;

namespace voltrex {

// What the program does with the tests' passes and endings besides drawing
// them: an ending reaches the desktop as a notification and makes the
// window ask for attention (its task-bar entry flashes), unless the user
// stopped the test at the window; every pass and ending goes to the live
// state, when one is published.
class TestWatch final : public TestObserver {
  public:
    // liveState may be null: nothing is published then.
    TestWatch(QWidget& window, DesktopNotifier& notifier, LiveState* liveState);

    void Passed(const TestPass& pass) override;
    void Ended(const TestEnding& ending) override;

  private:
    QWidget& window_;
    DesktopNotifier& notifier_;
    LiveState* liveState_;
};

}  // namespace voltrex
