#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace voltrex::testing {

// A message bus of the test's own: a dbus-daemon that listens in a temporary
// folder, activates nothing, lets anyone send, receive and own anything, and
// ends with the test (even when the test crashes). The tests never reach the
// machine's own buses.
class PrivateBus {
  public:
    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // Starts the daemon; false with Problem() saying why (dbus-daemon is
    // missing: Debian package dbus).
    bool Start();
    const QString& Address() const { return address_; }
    const QString& Problem() const { return problem_; }
    // A folder that lives as long as the bus.
    const QTemporaryDir& Folder() const { return folder_; }

  private:
    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QString problem_;
};

}  // namespace voltrex::testing
