#pragma once

#include <cstdint>

namespace voltrex {

// The auto cycle's end when a pack has stopped gaining capacity: its
// discharges run at one fixed current, so their durations compare the
// capacities. True when the latest discharge lasted no longer than the
// previous one times the configured ratio (both durations taken as doubles,
// the product not rounded): with 1.001, once a discharge gains 0.1 % or less.
inline bool CapacityStoppedGrowing(std::int32_t previousSeconds, std::int32_t latestSeconds,
                                   double ratio) {
    return static_cast<double>(previousSeconds) * ratio >= static_cast<double>(latestSeconds);
}

}  // namespace voltrex
