#pragma once

#include "instrument/Port.h"
#include "instrument/PortEntryPoints.h"

namespace voltrex {

// The loaded port library as the program's port. Out and In are its PortOut
// and PortIn, which it also hands out as its Procs, so the conversion ramp
// calls them directly and the emergency switch-off is armed with the
// library's own PortOut. The start-up's questions go to IsDriverInstalled and
// the optional entry points; a library that lacks one answers as the library
// of a real, usable port does.
class LibraryPort final : public Port {
  public:
    LibraryPort() = default;
    // entries holds at least PortOut and PortIn.
    explicit LibraryPort(const PortEntryPoints& entries) : entries_(entries) {}

    void Out(std::uint16_t port, std::uint8_t value) override { entries_.PortOut(port, value); }
    std::uint8_t In(std::uint16_t port) override { return entries_.PortIn(port); }
    PortProcs Procs() const noexcept override { return {entries_.PortOut, entries_.PortIn}; }

    bool DriverInstalled() override;
    const char* AccessProblem(std::uint16_t port) override;
    const char* SimulatedBoardName() override;
    bool ReadSimulatedMeter(int probe, double& value) override;

  private:
    PortEntryPoints entries_;
};

}  // namespace voltrex
