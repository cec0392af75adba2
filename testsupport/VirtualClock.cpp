#include "testsupport/VirtualClock.h"

#include <cmath>
#include <ctime>

namespace voltrex::testing {

std::int64_t VirtualClock::Now() {
    return start_ + static_cast<std::int64_t>(std::floor(elapsed_ + 1e-9));
}

LocalTime VirtualClock::ToLocalTime(std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                     tm.tm_hour,        tm.tm_min,     tm.tm_sec};
}

void VirtualClock::SleepMs(int milliseconds) {
    if (milliseconds > 0) {
        elapsed_ += milliseconds / 1000.0;
        slept_ += milliseconds;
    }
}

}  // namespace voltrex::testing
