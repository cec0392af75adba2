#pragma once

#include <string>

namespace voltrex {

// printf-style formatting with the C conventions for numbers (decimal point,
// no grouping) whatever locale the process has adopted: the desktop toolkit
// switches the C library to the user's locale at start-up, and a German
// desktop would otherwise turn "12.01" into "12,01" in the results file.
// The format is checked by the compiler like printf's.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// sscanf with the C conventions for numbers, whatever the process locale.
// Returns what sscanf returns.
int ScanC(const char* text, const char* format, ...) __attribute__((format(scanf, 2, 3)));

// Makes the calling thread use the "C" locale while it lives, and restores the
// thread's previous locale afterwards. Format and ScanC use it; code that calls
// other locale-dependent C functions can too.
class CLocaleScope {
  public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

  private:
    void* previous_;
};

}  // namespace voltrex
