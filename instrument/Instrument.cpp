#include "instrument/Instrument.h"

#include "instrument/EmergencySwitch.h"

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
    DisarmEmergencySwitch();
}

void Instrument::BindPort(PortOutProc portOut, PortInProc portIn) {
    portOut_ = portOut;
    portIn_ = portIn;
    ArmEmergencySwitch(portOut_, portAddress_);
}

void Instrument::Write(std::uint8_t value) {
    latch_ = value;
    if (CanWrite()) {
        portOut_(portAddress_, latch_);
    }
}

void Instrument::Pulse(std::uint8_t bit) {
    Write(static_cast<std::uint8_t>(latch_ | bit));
    Write(static_cast<std::uint8_t>(latch_ & ~bit));
}

void Instrument::RateOff() {
    if (latch_ == 0) {
        return;
    }
    Write(static_cast<std::uint8_t>(latch_ & ~RateBits));
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
    Write(static_cast<std::uint8_t>(latch_ | (rate & RateBits)));
}

void Instrument::StartDischarge(std::uint8_t rate) {
    RateOff();
    Write(BatteryRelay);
    clock_.SleepMs(100);
    Write(static_cast<std::uint8_t>(latch_ | (rate & RateBits)));
}

void Instrument::SetRate(std::uint8_t rate) {
    Write(static_cast<std::uint8_t>((latch_ & 0xF0) | (rate & RateBits)));
}

void Instrument::SetLatchManual(std::uint8_t rate, bool charge, bool connect) {
    RateOff();
    std::uint8_t value = latch_;
    value = charge ? (value | ModeRelay) : (value & ~ModeRelay);
    value = connect ? (value | BatteryRelay) : (value & ~BatteryRelay);
    Write(value);
    clock_.SleepMs(100);
    Write(static_cast<std::uint8_t>(latch_ | (rate & RateBits)));
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
    portAddress_ = address;
    ArmEmergencySwitch(portOut_, portAddress_);
    AllOff();
}

void Instrument::ClearPortAddress() {
    if (portAddress_ == 0) {
        return;
    }
    AllOff();
    portAddress_ = 0;
    ArmEmergencySwitch(portOut_, portAddress_);
}

double Instrument::MeasureVoltage(const CalibrationBlock& calibration) {
    if (!CanWrite() || portIn_ == nullptr) {
        return -1.0;
    }
    // The ramp is the program's hot path: each step is exactly the port
    // accesses, with the entry points and addresses held in locals.
    const PortOutProc out = portOut_;
    const PortInProc in = portIn_;
    const std::uint16_t data = portAddress_;
    const auto status = static_cast<std::uint16_t>(portAddress_ + 1);
    const std::uint8_t idle = latch_;
    const auto withReset = static_cast<std::uint8_t>(idle | CounterReset);
    const auto withClock = static_cast<std::uint8_t>(idle | CounterClock);

    out(data, latch_ = withReset);
    out(data, latch_ = idle);
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
        out(data, latch_ = withClock);
        out(data, latch_ = idle);
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
    if (restart) {
        smoothedVoltage_ = 0.0;
        for (int i = 0; i < 20; ++i) {
            smoothedVoltage_ = smoothedVoltage_ + MeasureVoltage(calibration_) * 0.05;
        }
    } else {
        const double v = MeasureVoltage(calibration_);
        smoothedVoltage_ = v * 0.05 + smoothedVoltage_ * 0.95;
    }
    return smoothedVoltage_;
}

}  // namespace voltrex
