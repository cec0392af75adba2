#pragma once

#include <cstdint>

#include "platform/Clock.h"
#include "simulator/SimulatedBoard.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {

// The simulated charger board with its pack, in the test's own process, behind
// the same C entry points the port library has. Out and In dispatch to the
// active SimulatedPort (the most recently constructed one still alive), so a
// test binds them as it would bind the library:
//
//   VirtualClock clock;
//   SimulatedPort port(clock, {simulator::Chemistry::NiMH, 7, 2000.0, 0.5});
//   Instrument instrument(clock, config.Calibration);
//   instrument.BindPort(&SimulatedPort::Out, &SimulatedPort::In);
//
// The pack runs on the clock handed in. Hours of charging run in virtual time
// when the test advances its VirtualClock between conversions (or lets every
// port access take a set time, see SetAccessTime).
class SimulatedPort {
  public:
    explicit SimulatedPort(
        Clock& clock, const simulator::BatteryPack::Settings& pack = {},
        std::uint16_t dataAddress = 0x378,
        const simulator::BoardCalibration& calibration = simulator::DefaultBoardCalibration(),
        std::uint32_t seed = simulator::SimulatedBoard::DefaultSeed);
    ~SimulatedPort();
    SimulatedPort(const SimulatedPort&) = delete;
    SimulatedPort& operator=(const SimulatedPort&) = delete;

    static void Out(unsigned short port, unsigned char value);
    static unsigned char In(unsigned short port);

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

    std::int64_t Writes() const { return writes_; }
    std::int64_t Reads() const { return reads_; }

  private:
    void DoOut(unsigned short port, unsigned char value);
    unsigned char DoIn(unsigned short port);

    simulator::SimulatedBoard board_;
    SimulatedPort* previous_;
    VirtualClock* accessClock_ = nullptr;
    double accessTime_ = 0.0;
    std::int64_t writes_ = 0;
    std::int64_t reads_ = 0;
};

}  // namespace voltrex::testing
