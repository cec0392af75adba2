#pragma once

#include "config/Configuration.h"
#include "instrument/Instrument.h"
#include "simulator/SampleConfiguration.h"
#include "testsupport/SimulatedPort.h"
#include "testsupport/VirtualClock.h"

namespace voltrex::testing {

// The program's instrument on the simulated board, with the sample
// configuration, on a virtual clock.
struct TestRig {
    explicit TestRig(const simulator::BatteryPack::Settings& pack, std::uint16_t address = 0x378)
        : port(clock, pack, address), instrument(clock, config.Calibration) {
        config.PortAddress = address;
        instrument.BindPort(port);
        instrument.SetPortAddress(address);
    }

    // One count of the high side, volts: the resolution of a reading.
    double Count() const {
        return config.Calibration.BitWeights[0] * config.Calibration.HighSideMultiplier;
    }

    VirtualClock clock;
    Configuration config = simulator::SampleConfiguration();
    SimulatedPort port;
    Instrument instrument;
};

}  // namespace voltrex::testing
