#pragma once

#include <cstdint>

#include "instrument/Port.h"

namespace voltrex::bench {

// A port that costs next to nothing: a 12-bit counter clocked by the data
// byte's bits 6 (reset) and 7 (clock), and two comparators that flip at set
// counts. Its C entry points are what the conversion calls, as it calls the
// port library's, so a profile tells the program's own instructions from the
// port's by function.
class FreePort final : public Port {
  public:
    FreePort(int lowFlip, int highFlip);
    ~FreePort() override;
    FreePort(const FreePort&) = delete;
    FreePort& operator=(const FreePort&) = delete;

    void Out(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t In(std::uint16_t port) override;
    PortProcs Procs() const noexcept override;

    // Accesses since construction.
    static std::int64_t Accesses();
};

}  // namespace voltrex::bench
