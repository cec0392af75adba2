#pragma once

#include <QDBusConnection>
#include <optional>

#include "procedures/TestObserver.h"

namespace voltrex {

// Tells the desktop how a test ended through the freedesktop notification
// service (org.freedesktop.Notifications on the session bus): the summary
// says what ended and how, the body gives the figures the status line
// showed, a failure or a refusal is critical (it stays until dismissed), and
// the sound hint asks for the theme's sound.
//
// A notification is sent and never waited for: a service that is missing,
// busy or hung cannot hold a test, and its answer (the notification's
// number) is of no use here. Where there is no session bus at all, nothing
// is sent and nothing is said. Use it from one thread.
class DesktopNotifier {
  public:
    // On the session bus, connected at the first notification (when a test
    // has ended and everything is off), so that making it costs nothing.
    DesktopNotifier();
    // On the given bus (a test's private one).
    explicit DesktopNotifier(const QDBusConnection& bus);

    // Sends the ending, unless it was the user's own stop: the user is at
    // the window then. True when a notification went out on a bus.
    bool Notify(const TestEnding& ending);

  private:
    std::optional<QDBusConnection> bus_;
};

}  // namespace voltrex
