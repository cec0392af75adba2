#pragma once

#include <cstdint>

#include "platform/Clock.h"

namespace voltrex::testing {

// A clock that moves only when a test advances it or when somebody sleeps on
// it, so that hours of charging run in milliseconds and no test sleeps.
// The wall clock is the start second plus the elapsed virtual time; local time
// is taken as UTC, so texts built from it do not depend on the machine's zone.
class VirtualClock final : public Clock {
  public:
    // 2026-03-14 09:26:53 UTC by default.
    explicit VirtualClock(std::int64_t startSecond = 1773480413) : start_(startSecond) {}

    std::int64_t Now() override;
    LocalTime ToLocalTime(std::int64_t seconds) override;
    double Monotonic() override { return elapsed_; }
    void SleepMs(int milliseconds) override;

    void Advance(double seconds) { elapsed_ += seconds; }
    double Elapsed() const { return elapsed_; }
    // Total of all sleeps, in milliseconds.
    std::int64_t SleptMs() const { return slept_; }

  private:
    std::int64_t start_;
    double elapsed_ = 0.0;
    std::int64_t slept_ = 0;
};

}  // namespace voltrex::testing
