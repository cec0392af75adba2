#include "instrument/Instrument.h"

namespace voltrex {

namespace {
constexpr std::uint8_t RateBits = 0x0F;
constexpr std::uint8_t ModeRelay = 0x10;
constexpr std::uint8_t BatteryRelay = 0x20;
constexpr std::uint8_t CounterReset = 0x40;
constexpr std::uint8_t CounterClock = 0x80;
constexpr std::uint8_t HighSideComparator = 0x08;
constexpr std::uint8_t LowSideComparator = 0x10;
constexpr int CounterRange = 4096;
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

void Instrument::BindPort(PortOutProc portOut, PortInProc portIn) {
    portOut_ = portOut;
    portIn_ = portIn;
    record_.PortOut.store(portOut);
}

void Instrument::Write(std::uint8_t value) {
    record_.ControlLatch.store(value);
    const std::uint16_t port = record_.PortAddress.load(std::memory_order_relaxed);
    if (portOut_ != nullptr && port != 0) {
        portOut_(port, value);
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
    Write(static_cast<std::uint8_t>((ControlLatch() & 0xF0) | (rate & RateBits)));
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

double Instrument::MeasureVoltage(const CalibrationBlock& calibration) {
    const std::uint16_t data = PortAddress();
    if (portOut_ == nullptr || data == 0 || portIn_ == nullptr) {
        return -1.0;
    }
    // The ramp is the program's hot path: each step is exactly the port
    // accesses, with the entry points and addresses held in locals. The
    // pulses leave the latch's own bits as they are, so the record keeps the
    // idle byte throughout (all an emergency switch-off needs of it).
    const PortOutProc out = portOut_;
    const PortInProc in = portIn_;
    const auto status = static_cast<std::uint16_t>(data + 1);
    const std::uint8_t idle = ControlLatch();
    const auto withReset = static_cast<std::uint8_t>(idle | CounterReset);
    const auto withClock = static_cast<std::uint8_t>(idle | CounterClock);

    out(data, withReset);
    out(data, idle);
    clock_.SleepMs(1);

    int low = -1;
    int high = -1;
    int count = 0;
    bool sample = true;
    while (true) {
        if (sample) {
            if (low == -1 && (in(status)&LowSideComparator) == 0) {
                low = count;
            }
            if ((in(status)&HighSideComparator) == 0) {
                high = count;
                break;
            }
        }
        out(data, withClock);
        out(data, idle);
        ++count;
        if (count == CounterRange) {
            break;
        }
        // Counts whose weights add up to nothing cannot be told apart from the
        // one before; they are clocked through without sampling.
        sample = WeightSum(count, calibration.BitWeights) > 0.0;
    }
    if (low == -1 || high == -1) {
        return -1.0;
    }
    return WeightSum(high, calibration.BitWeights) * calibration.HighSideMultiplier -
           WeightSum(low, calibration.BitWeights) * calibration.LowSideMultiplier;
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
