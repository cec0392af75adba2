#include "instrument/Instrument.h"

#include <cstring>

namespace voltrex {

namespace {

// The two ways the conversion ramp reaches the port: straight through the C
// entry points the port hands out (the port library: each access is exactly
// the call of the entry point, held in a register), or through the port
// object (a test's port).
struct CallProcs {
    PortOutProc PortOut;
    PortInProc PortIn;
    void Out(std::uint16_t port, std::uint8_t value) const { PortOut(port, value); }
    std::uint8_t In(std::uint16_t port) const { return PortIn(port); }
};

struct CallPort {
    Port& Target;
    void Out(std::uint16_t port, std::uint8_t value) const { Target.Out(port, value); }
    std::uint8_t In(std::uint16_t port) const { return Target.In(port); }
};

}  // namespace

double WeightSum(std::int32_t count, const std::array<double, 12>& weights) {
    double sum = 0.0;
    for (int i = 0; i < 12; ++i) {
        if ((count & 1) != 0) {
            sum += weights[static_cast<std::size_t>(i)];
        }
        count >>= 1;
    }
    return sum;
}

Instrument::Instrument(Clock& clock, const CalibrationBlock& calibration)
    : clock_(clock), calibration_(calibration) {}

Instrument::~Instrument() {
    DisarmEmergencySwitch(record_);
}

void Instrument::BindPort(Port& port) {
    port_ = &port;
    record_.PortOut.store(port.Procs().Out);
}

void Instrument::Write(std::uint8_t value) {
    record_.ControlLatch.store(value);
    const std::uint16_t port = record_.PortAddress.load(std::memory_order_relaxed);
    if (port_ != nullptr && port != 0) {
        port_->Out(port, value);
    }
}

void Instrument::Pulse(std::uint8_t bit) {
    const std::uint8_t latch = ControlLatch();
    Write(static_cast<std::uint8_t>(latch | bit));
    Write(static_cast<std::uint8_t>(latch & ~bit));
}

void Instrument::RateOff() {
    const std::uint8_t latch = ControlLatch();
    if (latch == 0) {
        return;
    }
    Write(static_cast<std::uint8_t>(latch & ~RateBits));
    clock_.SleepMs(1);
}

void Instrument::AllOff() {
    RateOff();
    Write(0x00);
    clock_.SleepMs(100);
}

void Instrument::StartCharge(std::uint8_t rate) {
    RateOff();
    Write(ModeRelay | BatteryRelay);
    clock_.SleepMs(100);
    Write(static_cast<std::uint8_t>(ControlLatch() | (rate & RateBits)));
}

void Instrument::StartDischarge(std::uint8_t rate) {
    RateOff();
    Write(BatteryRelay);
    clock_.SleepMs(100);
    Write(static_cast<std::uint8_t>(ControlLatch() | (rate & RateBits)));
}

void Instrument::SetRate(std::uint8_t rate) {
    Write(static_cast<std::uint8_t>((ControlLatch() & ~RateBits) | (rate & RateBits)));
}

void Instrument::SetLatchManual(std::uint8_t rate, bool charge, bool connect) {
    RateOff();
    std::uint8_t value = ControlLatch();
    value = charge ? (value | ModeRelay) : (value & ~ModeRelay);
    value = connect ? (value | BatteryRelay) : (value & ~BatteryRelay);
    Write(value);
    clock_.SleepMs(100);
    Write(static_cast<std::uint8_t>(ControlLatch() | (rate & RateBits)));
}

void Instrument::ClockCounterTo(std::int32_t count) {
    Pulse(CounterReset);
    clock_.SleepMs(1);
    for (std::int32_t i = 0; i < count; ++i) {
        Pulse(CounterClock);
    }
}

void Instrument::SetPortAddress(std::uint16_t address) {
    ClearPortAddress();
    record_.PortAddress.store(address);
    AllOff();
    // Armed only now: the all-off write has made the port library open the
    // port, so a switch-off from a signal handler never has it open a device.
    if (address != 0) {
        ArmEmergencySwitch(record_);
    }
}

void Instrument::ClearPortAddress() {
    if (PortAddress() == 0) {
        return;
    }
    AllOff();
    DisarmEmergencySwitch(record_);
    record_.PortAddress.store(0);
}

bool Instrument::SampledCounts::Update(const std::array<double, 12>& weights) {
    // Compared bit for bit: a weight that is not a number never equals
    // itself, and would otherwise rebuild the table at every conversion.
    if (valid_ && std::memcmp(weights_.data(), weights.data(), sizeof weights_) == 0) {
        return everyCount_;
    }
    weights_ = weights;
    valid_ = true;
    // A sum of positive doubles is positive, so every count from 1 up is
    // sampled; count 0 always is.
    everyCount_ = true;
    for (const double weight : weights) {
        everyCount_ = everyCount_ && weight > 0.0;
    }
    if (!everyCount_) {
        bits_.fill(0);
        for (int count = 0; count < CounterRange; ++count) {
            if (count == 0 || WeightSum(count, weights) > 0.0) {
                bits_[static_cast<std::size_t>(count) / 64] |= std::uint64_t{1} << (count % 64);
            }
        }
    }
    return everyCount_;
}

double Instrument::MeasureVoltage(const CalibrationBlock& calibration) {
    const ConversionCounts counts = MeasureCounts(calibration);
    if (counts.Failed()) {
        return -1.0;
    }
    return WeightSum(counts.High, calibration.BitWeights) * calibration.HighSideMultiplier -
           WeightSum(counts.Low, calibration.BitWeights) * calibration.LowSideMultiplier;
}

ConversionCounts Instrument::MeasureCounts(const CalibrationBlock& calibration) {
    const std::uint16_t data = PortAddress();
    if (port_ == nullptr || data == 0) {
        return {};
    }
    const bool everyCount = sampled_.Update(calibration.BitWeights);
    const PortProcs procs = port_->Procs();
    if (procs.Out != nullptr && procs.In != nullptr) {
        const CallProcs direct{procs.Out, procs.In};
        return everyCount ? Ramp<true>(direct, data) : Ramp<false>(direct, data);
    }
    const CallPort object{*port_};
    return everyCount ? Ramp<true>(object, data) : Ramp<false>(object, data);
}

template <bool EveryCount, typename Access>
ConversionCounts Instrument::Ramp(const Access port, const std::uint16_t data) {
    // The ramp is the program's hot path: each step is exactly the port
    // accesses, with the port and the addresses held in locals. The pulses
    // leave the latch's own bits as they are, so the record keeps the idle
    // byte throughout (all an emergency switch-off needs of it).
    const auto status = static_cast<std::uint16_t>(data + 1);
    const std::uint8_t idle = ControlLatch();
    const auto withReset = static_cast<std::uint8_t>(idle | CounterReset);
    const auto withClock = static_cast<std::uint8_t>(idle | CounterClock);

    port.Out(data, withReset);
    port.Out(data, idle);
    clock_.SleepMs(1);

    // Counts whose weights add up to nothing cannot be told apart from the
    // one before; they are clocked through without sampling (SampledCounts).
    // Two stretches: while the low side has not been seen at 0, both sides
    // are read at every sampled count; from then on the high side alone.
    int low = -1;
    int high = -1;
    int count = 0;
    while (true) {
        if (EveryCount || sampled_.Sampled(count)) {
            const bool lowReached = (port.In(status) & LowSideComparator) == 0;
            if ((port.In(status) & HighSideComparator) == 0) {
                high = count;
                if (lowReached) {
                    low = count;
                }
                break;
            }
            if (lowReached) {
                low = count;
                break;
            }
        }
        port.Out(data, withClock);
        port.Out(data, idle);
        if (++count == CounterRange) {
            break;
        }
    }
    if (low != -1 && high == -1) {
        // The low side has flipped, and the ramp goes on at the same count:
        // its second read (the high side) has been made; clock onwards.
        while (true) {
            port.Out(data, withClock);
            port.Out(data, idle);
            if (++count == CounterRange) {
                break;
            }
            if ((EveryCount || sampled_.Sampled(count)) &&
                (port.In(status) & HighSideComparator) == 0) {
                high = count;
                break;
            }
        }
    }
    return {low, high};
}

double Instrument::ReadVoltage(bool restart) {
    bool failed = false;
    if (restart) {
        smoothedVoltage_ = 0.0;
        for (int i = 0; i < 20; ++i) {
            const double v = MeasureVoltage(calibration_);
            failed = failed || v == -1.0;
            smoothedVoltage_ = smoothedVoltage_ + v * 0.05;
        }
    } else {
        const double v = MeasureVoltage(calibration_);
        failed = v == -1.0;
        smoothedVoltage_ = v * 0.05 + smoothedVoltage_ * 0.95;
    }
    readingFailed_ = failed;
    return smoothedVoltage_;
}

}  // namespace voltrex
