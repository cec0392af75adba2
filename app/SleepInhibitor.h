#pragma once

#include <QDBusConnection>
#include <optional>
#include <string>

#include "app/SleepGuard.h"

namespace voltrex {

// The sleep guard of a systemd desktop: a "block" inhibitor lock on sleep and
// idle from systemd-logind, asked for over the D-Bus system bus. logind hands
// the lock out as a file descriptor and holds it while that stays open; the
// guard keeps its own duplicate and closes it to release. The kernel closes it
// when the process ends however it ends, so a crash never leaves the PC
// unable to sleep.
//
// Where there is no system bus or no logind (containers, build machines,
// other init systems), or logind refuses or does not answer in time, Acquire
// holds nothing and says nothing. It blocks the calling thread for one round
// trip to logind, at most the call timeout; no events are processed meanwhile.
// Use it from one thread.
class SleepInhibitor final : public SleepGuard {
  public:
    static constexpr int DefaultTimeoutMilliseconds = 1000;

    // On the system bus, connected at the first Acquire: making the program's
    // guard costs nothing.
    SleepInhibitor();
    // On the given bus (a test's private one); each call waits at most
    // timeoutMilliseconds for logind's answer.
    explicit SleepInhibitor(const QDBusConnection& bus,
                            int timeoutMilliseconds = DefaultTimeoutMilliseconds);
    // Releases the lock.
    ~SleepInhibitor() override;

    void Acquire(const std::string& why) override;
    void Release() noexcept override;

    // Whether a lock is held now (false after an Acquire that got none).
    bool Held() const { return lock_ >= 0; }

  private:
    std::optional<QDBusConnection> bus_;
    int timeoutMilliseconds_ = DefaultTimeoutMilliseconds;
    // The lock's file descriptor, -1 when none is held.
    int lock_ = -1;
};

}  // namespace voltrex
