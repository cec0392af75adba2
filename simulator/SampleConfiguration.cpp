#include "simulator/SampleConfiguration.h"

namespace voltrex::simulator {

Configuration SampleConfiguration(const BoardCalibration& board, std::uint16_t portAddress) {
    Configuration config;
    config.PortAddress = portAddress;
    ApplyBoardCalibration(board, config);
    config.ChargeRateCount = 16;
    // Nickel: end the charge when the voltage has stayed 0.5 % (NiCd) or 0.3 %
    // (NiMH) below its peak for 30 s; 1.0 V per cell is empty.
    config.NiCdDeltaV = 0.005;
    config.NiCdVmin = 1.0;
    config.NiMHDeltaV = 0.003;
    config.NiMHVmin = 1.0;
    config.DeltaVDuration = 30;
    // Auto cycle: stop once a cycle gains less than 0.1 %; rest a minute
    // between the phases.
    config.CycleTerminationRatio = 1.001;
    config.CycleRestTime = 60;
    config.LiPoVmax = 4.20;
    config.LiPoVmin = 3.00;
    config.LiNPVmax = 3.60;
    config.LiNPVmin = 2.50;
    config.PbAcidVmax = 2.40;
    config.PbAcidVmin = 1.80;
    return config;
}

}  // namespace voltrex::simulator
