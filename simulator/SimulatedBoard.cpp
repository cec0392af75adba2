#include "simulator/SimulatedBoard.h"

#include <cmath>

namespace voltrex::simulator {

namespace {
// The rate and the relays: they move the current.
constexpr std::uint8_t DriveBits =
    SimulatedBoard::RateBits | SimulatedBoard::ModeRelay | SimulatedBoard::BatteryRelay;
// The noise is the sum of four uniform numbers, centred and scaled to unit
// variance: bell-shaped, bounded at +-2 sqrt(3), and the same on every
// standard library (std::normal_distribution is not).
const double UnitScale = std::sqrt(3.0);
const double UnitBound = 2.0 * std::sqrt(3.0);
}  // namespace

SimulatedBoard::SimulatedBoard(Clock& clock, const BatteryPack::Settings& pack,
                               std::uint16_t dataAddress, const BoardCalibration& calibration,
                               std::uint32_t seed)
    : clock_(clock),
      calibration_(calibration),
      dataAddress_(dataAddress),
      pack_(pack),
      generator_(seed),
      lastUpdate_(clock.Monotonic()) {
    // The D-to-A output of every count, summed in the order the program's
    // conversion sums its weights.
    for (std::size_t count = 0; count < dac_.size(); ++count) {
        double sum = 0.0;
        for (std::size_t bit = 0; bit < CounterBits; ++bit) {
            if ((count >> bit) & 1U) {
                sum += calibration_.BitWeights[bit];
            }
        }
        dac_[count] = sum;
    }
    noiseBound_ = calibration_.ComparatorNoise * UnitBound;
    UpdateInputs();
}

void SimulatedBoard::Out(std::uint16_t port, std::uint8_t value) {
    if (port != dataAddress_) {
        if (port == dataAddress_ + 2) {
            control_ = value;
        }
        return;
    }
    const auto changed = static_cast<std::uint8_t>(latch_ ^ value);
    if ((changed & DriveBits) != 0) {
        ApplyDrive(value);
    }
    if ((value & CounterReset) != 0) {
        counter_ = 0;
    } else if ((changed & value & CounterClock) != 0) {
        counter_ = (counter_ + 1) % CounterRange;
    }
    latch_ = value;
}

std::uint8_t SimulatedBoard::In(std::uint16_t port) {
    if (port == dataAddress_ + 1) {
        Advance(false);
        if (!powered_) {
            return IdleStatus | LowSideBit | HighSideBit;
        }
        const double dac = dac_[static_cast<std::size_t>(counter_)];
        std::uint8_t status = IdleStatus;
        if (Below(dac, lowInput_)) {
            status |= LowSideBit;
        }
        if (Below(dac, highInput_)) {
            status |= HighSideBit;
        }
        return status;
    }
    if (port == dataAddress_) {
        return latch_;
    }
    if (port == dataAddress_ + 2) {
        return control_;
    }
    return 0xFF;
}

double SimulatedBoard::GroundOffset() const {
    return calibration_.GroundOffset - pack_.Current() * calibration_.ReturnResistance;
}

void SimulatedBoard::SetPowered(bool powered) {
    powered_ = powered;
    ApplyDrive(latch_);
}

void SimulatedBoard::SetPackConnected(bool connected) {
    packConnected_ = connected;
    ApplyDrive(latch_);
}

void SimulatedBoard::Update() {
    Advance(true);
}

void SimulatedBoard::ReplacePack(const BatteryPack::Settings& pack) {
    Advance(true);
    const double current = pack_.Current();
    pack_ = BatteryPack(pack);
    pack_.SetCurrent(current);
    UpdateInputs();
}

void SimulatedBoard::Advance(bool always) {
    const double now = clock_.Monotonic();
    const double elapsed = now - lastUpdate_;
    if (!always && elapsed < UpdateInterval) {
        return;
    }
    if (elapsed > 0.0) {
        pack_.Advance(elapsed);
    }
    lastUpdate_ = now;
    UpdateInputs();
}

void SimulatedBoard::ApplyDrive(std::uint8_t value) {
    // The old current has flowed until now; the new one starts from here.
    Advance(true);
    const int rate = value & RateBits;
    double current = 0.0;
    if (powered_ && packConnected_ && (value & BatteryRelay) != 0 && rate != 0) {
        const auto row = static_cast<std::size_t>(rate);
        current = (value & ModeRelay) != 0 ? -calibration_.ChargeCurrent[row]
                                           : calibration_.DischargeCurrent[row];
    }
    pack_.SetCurrent(current);
    UpdateInputs();
}

void SimulatedBoard::UpdateInputs() {
    if (!packConnected_) {
        // Without the pack both sense inputs rest at the board's ground, the
        // low side a little below it: its comparator is through at the first
        // count, the high side's within a few, and a conversion reads a few
        // millivolts.
        lowInput_ = -noiseBound_;
        highInput_ = 0.0;
        return;
    }
    const double offset = GroundOffset();
    lowInput_ = offset / calibration_.LowSideMultiplier;
    highInput_ = (offset + pack_.TerminalVoltage()) / calibration_.HighSideMultiplier;
}

bool SimulatedBoard::Below(double dac, double input) {
    // Far from the threshold the noise cannot change the answer, and no random
    // number is drawn; this keeps a ramp to a few nanoseconds per count.
    const double margin = input - dac;
    if (margin > noiseBound_) {
        return true;
    }
    if (margin <= -noiseBound_) {
        return false;
    }
    return dac < input + Noise();
}

double SimulatedBoard::Noise() {
    const std::uint32_t a = generator_();
    const std::uint32_t b = generator_();
    const double sum = static_cast<double>((a & 0xFFFF) + (a >> 16) + (b & 0xFFFF) + (b >> 16));
    // Four uniforms on [0, 1]: mean 2, variance 1/3.
    const double unit = (sum / 65535.0 - 2.0) * UnitScale;
    return unit * calibration_.ComparatorNoise;
}

}  // namespace voltrex::simulator
