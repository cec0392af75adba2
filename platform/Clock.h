#pragma once

#include <cstdint>

namespace voltrex {

// Local calendar time, as the C library's struct tm but with a real year and
// a 1-based month.
struct LocalTime {
    int Year = 0;    // e.g. 2026
    int Month = 0;   // 1..12
    int Day = 0;     // 1..31
    int Hour = 0;    // 0..23
    int Minute = 0;  // 0..59
    int Second = 0;  // 0..60
};

// Everything the program knows about time goes through this interface, so
// that a test can run hours of charging in milliseconds on a virtual clock.
class Clock {
  public:
    virtual ~Clock() = default;

    // Wall-clock calendar time in whole seconds (as time()).
    virtual std::int64_t Now() = 0;

    // Converts a wall-clock second to local calendar time.
    virtual LocalTime ToLocalTime(std::int64_t seconds) = 0;

    // Monotonic time in seconds with sub-second resolution; only differences
    // mean anything. The simulated battery integrates on it.
    virtual double Monotonic() = 0;

    // Blocks for at least the given number of milliseconds.
    virtual void SleepMs(int milliseconds) = 0;
};

}  // namespace voltrex
