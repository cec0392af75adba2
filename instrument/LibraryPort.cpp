#include "instrument/LibraryPort.h"

#include <cmath>

namespace voltrex {

bool LibraryPort::DriverInstalled() {
    return entries_.IsDriverInstalled == nullptr || entries_.IsDriverInstalled() != 0;
}

const char* LibraryPort::AccessProblem(std::uint16_t port) {
    return entries_.PortAccessProblem != nullptr ? entries_.PortAccessProblem(port) : nullptr;
}

const char* LibraryPort::SimulatedBoardName() {
    return entries_.SimulatedBoardName != nullptr ? entries_.SimulatedBoardName() : nullptr;
}

bool LibraryPort::ReadSimulatedMeter(int probe, double& value) {
    if (entries_.SimulatedMeterReading == nullptr) {
        return false;
    }
    const double reading = entries_.SimulatedMeterReading(probe);
    if (std::isnan(reading)) {
        return false;
    }
    value = reading;
    return true;
}

}  // namespace voltrex
