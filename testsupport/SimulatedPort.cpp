#include "testsupport/SimulatedPort.h"

namespace voltrex::testing {

SimulatedPort::SimulatedPort(Clock& clock, const simulator::BatteryPack::Settings& pack,
                             std::uint16_t dataAddress,
                             const simulator::BoardCalibration& calibration, std::uint32_t seed)
    : board_(clock, pack, dataAddress, calibration, seed) {}

bool SimulatedPort::ReadSimulatedMeter(int probe, double& value) {
    // The numbers of the port library's probes (io/PortEntryPointList.h).
    constexpr simulator::MeterProbe probes[] = {
        simulator::MeterProbe::ConverterOutput, simulator::MeterProbe::PackVoltage,
        simulator::MeterProbe::NegativeTerminal, simulator::MeterProbe::SeriesCurrent};
    if (probe < 0 || probe >= 4) {
        return false;
    }
    value = meter_.Read(probes[probe]);
    return true;
}

void SimulatedPort::SetAccessTime(VirtualClock* clock, double seconds) {
    accessClock_ = seconds > 0.0 ? clock : nullptr;
    accessTime_ = seconds;
}

simulator::BatteryPack& SimulatedPort::Pack() {
    board_.Update();
    return board_.Pack();
}

void SimulatedPort::Out(std::uint16_t port, std::uint8_t value) {
    ++writes_;
    if (accessClock_ != nullptr) {
        accessClock_->Advance(accessTime_);
    }
    board_.Out(port, value);
}

std::uint8_t SimulatedPort::In(std::uint16_t port) {
    ++reads_;
    if (accessClock_ != nullptr) {
        accessClock_->Advance(accessTime_);
    }
    return board_.In(port);
}

}  // namespace voltrex::testing
