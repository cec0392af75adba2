#include "instrument/LibraryPort.h"

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

}  // namespace voltrex
