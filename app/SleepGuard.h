#pragma once

#include <string>

namespace voltrex {

// Keeps the PC awake while a test runs. A suspended PC leaves the port's data
// pins as they were: the relays stay closed and the current flows with no
// program left to end the charge, and a discharge timed across a sleep is
// wrong. The program holds one guard; the main window acquires it when a
// test starts and releases it when the test ends, however it ends.
class SleepGuard {
  public:
    virtual ~SleepGuard() = default;
    SleepGuard(const SleepGuard&) = delete;
    SleepGuard& operator=(const SleepGuard&) = delete;

    // Asks the system not to suspend or idle-sleep until Release. why tells
    // the user what holds the PC awake ("systemd-inhibit --list" shows it).
    // While the guard is held it does nothing (the first reason stays). It
    // never fails a test: where the system cannot be asked, the test runs
    // without the request.
    virtual void Acquire(const std::string& why) = 0;
    // Gives the request back; does nothing when none is held.
    virtual void Release() noexcept = 0;

    // The guard held for one test: acquired at construction, released at
    // destruction, whether the test returns or throws. The guard does not
    // count: the end of a scope releases it even when an outer scope still
    // runs, so a test takes one scope.
    class Scope {
      public:
        Scope(SleepGuard& guard, const std::string& why) : guard_(guard) { guard_.Acquire(why); }
        ~Scope() { guard_.Release(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        SleepGuard& guard_;
    };

  protected:
    SleepGuard() = default;
};

}  // namespace voltrex
