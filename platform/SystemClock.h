#pragma once

#include "platform/Clock.h"

namespace voltrex {

// The real clocks of the machine: time(), localtime_r(), CLOCK_MONOTONIC and
// nanosleep() resumed after signals until the full time has passed.
class SystemClock final : public Clock {
  public:
    std::int64_t Now() override;
    LocalTime ToLocalTime(std::int64_t seconds) override;
    double Monotonic() override;
    void SleepMs(int milliseconds) override;
};

}  // namespace voltrex
