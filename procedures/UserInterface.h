#pragma once

#include <string>

namespace voltrex {

// What the procedures need of the window they run under. The whole program
// runs on one thread: a long test yields to let the window handle its pending
// events (so that Stop can be clicked), then polls the stop flag.
class UserInterface {
  public:
    virtual ~UserInterface() = default;
    // Handles every pending window event once, then returns.
    virtual void Yield() = 0;
    // True when a stop was requested since the last poll; clears the request.
    virtual bool PollStop() = 0;
    // A modal error message box with a single OK button.
    virtual void ShowError(const std::string& message) = 0;
};

}  // namespace voltrex
