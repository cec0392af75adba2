#pragma once

#include <string>
#include <vector>

#include "app/SleepGuard.h"

namespace voltrex::testing {

// A sleep guard that only keeps count, with the real guard's rules: an
// Acquire while held takes nothing, a Release while free gives nothing back.
// Window tests see through it when the program keeps the PC awake.
class CountingSleepGuard final : public SleepGuard {
  public:
    void Acquire(const std::string& why) override {
        if (!held_) {
            held_ = true;
            ++Acquired;
            Reasons.push_back(why);
        }
    }
    void Release() noexcept override {
        if (held_) {
            held_ = false;
            ++Released;
        }
    }
    bool Held() const { return held_; }

    // Locks taken and given back, and the reason given for each one taken.
    int Acquired = 0;
    int Released = 0;
    std::vector<std::string> Reasons;

  private:
    bool held_ = false;
};

}  // namespace voltrex::testing
