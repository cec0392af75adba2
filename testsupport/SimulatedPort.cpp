#include "testsupport/SimulatedPort.h"

namespace voltrex::testing {

namespace {
SimulatedPort* active = nullptr;
}

SimulatedPort::SimulatedPort(Clock& clock, const simulator::BatteryPack::Settings& pack,
                             std::uint16_t dataAddress,
                             const simulator::BoardCalibration& calibration, std::uint32_t seed)
    : board_(clock, pack, dataAddress, calibration, seed), previous_(active) {
    active = this;
}

SimulatedPort::~SimulatedPort() {
    active = previous_;
}

void SimulatedPort::Out(unsigned short port, unsigned char value) {
    if (active != nullptr) {
        active->DoOut(port, value);
    }
}

unsigned char SimulatedPort::In(unsigned short port) {
    return active != nullptr ? active->DoIn(port) : 0xFF;
}

void SimulatedPort::SetAccessTime(VirtualClock* clock, double seconds) {
    accessClock_ = seconds > 0.0 ? clock : nullptr;
    accessTime_ = seconds;
}

simulator::BatteryPack& SimulatedPort::Pack() {
    board_.Update();
    return board_.Pack();
}

void SimulatedPort::DoOut(unsigned short port, unsigned char value) {
    ++writes_;
    if (accessClock_ != nullptr) {
        accessClock_->Advance(accessTime_);
    }
    board_.Out(port, value);
}

unsigned char SimulatedPort::DoIn(unsigned short port) {
    ++reads_;
    if (accessClock_ != nullptr) {
        accessClock_->Advance(accessTime_);
    }
    return board_.In(port);
}

}  // namespace voltrex::testing
