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
    // A modal question with Yes and No, No the default (Enter, Esc and the
    // close box answer it); true only for Yes.
    virtual bool AskYesNo(const std::string& question) = 0;
};

}  // namespace voltrex
