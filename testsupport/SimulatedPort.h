#pragma once

#include <cstdint>

#include "instrument/Port.h"
#include "platform/Clock.h"
#include "simulator/SimulatedBoard.h"
#include "simulator/SimulatedMeter.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {

// The simulated charger board with its pack, in the test's own process, as the
// instrument's port:
//
//   VirtualClock clock;
//   SimulatedPort port(clock, {simulator::Chemistry::NiMH, 7, 2000.0, 0.5});
//   Instrument instrument(clock, config.Calibration);
//   instrument.BindPort(port);
//
// The pack runs on the clock handed in. Hours of charging run in virtual time
// when the test advances its VirtualClock between conversions (or lets every
// port access take a set time, see SetAccessTime).
class SimulatedPort : public Port {
  public:
    explicit SimulatedPort(
        Clock& clock, const simulator::BatteryPack::Settings& pack = {},
        std::uint16_t dataAddress = 0x378,
        const simulator::BoardCalibration& calibration = simulator::DefaultBoardCalibration(),
        std::uint32_t seed = simulator::SimulatedBoard::DefaultSeed);
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    void Out(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t In(std::uint16_t port) override;

    // Lets every port access advance the virtual clock by the given time, as
    // a real port access takes about 1 us: a conversion then takes its real
    // 12 ms or so of virtual time. Null or 0 turns it off.
    void SetAccessTime(VirtualClock* clock, double seconds);

    simulator::SimulatedBoard& Board() { return board_; }
    // The pack brought up to the clock's present time.
    simulator::BatteryPack& Pack();

    simulator::Chemistry Chemistry() { return Pack().Type(); }
    int Cells() { return Pack().Cells(); }
    double CapacityMah() { return Pack().CapacityMah(); }
    double StateOfCharge() { return Pack().StateOfCharge(); }
    double ResistancePerCell() { return Pack().ResistancePerCell(); }
    double TerminalVoltage() { return Pack().TerminalVoltage(); }
    // Current now flowing, amperes: positive discharges, negative charges.
    double Current() { return Pack().Current(); }
    // Charge that actually flowed through the pack's terminals, mAh: out of
    // it while discharging, into it while charging.
    double DeliveredMah() { return Pack().ChargeDelivered() / 3.6; }
    double ReceivedMah() { return Pack().ChargeReceived() / 3.6; }

    // The simulated meter on the board, as the simulated port library has it.
    bool ReadSimulatedMeter(int probe, double& value) override;
    simulator::SimulatedMeter& Meter() { return meter_; }

    std::int64_t Writes() const { return writes_; }
    std::int64_t Reads() const { return reads_; }

  private:
    simulator::SimulatedBoard board_;
    simulator::SimulatedMeter meter_{board_};
    VirtualClock* accessClock_ = nullptr;
    double accessTime_ = 0.0;
    std::int64_t writes_ = 0;
    std::int64_t reads_ = 0;
};

}  // namespace voltrex::testing
