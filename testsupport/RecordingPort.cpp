#include "testsupport/RecordingPort.h"

#include "instrument/PortBits.h"

namespace voltrex::testing {

RecordingPort::RecordingPort(Clock& clock, std::uint16_t dataAddress)
    : clock_(clock), dataAddress_(dataAddress) {}

void RecordingPort::SetFlipCounts(int lowFlip, int highFlip) {
    lowFlip_ = lowFlip;
    highFlip_ = highFlip;
    status_ = nullptr;
}

void RecordingPort::SetStatusFunction(std::function<std::uint8_t(int)> status) {
    status_ = std::move(status);
}

std::vector<std::uint8_t> RecordingPort::WrittenValues() const {
    std::vector<std::uint8_t> values;
    values.reserve(writes_.size());
    for (const Write& w : writes_) {
        values.push_back(w.Value);
    }
    return values;
}

void RecordingPort::ClearLog() {
    writes_.clear();
    statusReads_ = 0;
    clockPulses_ = 0;
    resetPulses_ = 0;
    otherReads_ = 0;
}

void RecordingPort::Out(std::uint16_t port, std::uint8_t value) {
    writes_.push_back(Write{clock_.Monotonic(), port, value});
    if (port != dataAddress_) {
        return;
    }
    if ((value & CounterReset) != 0) {
        if ((lastData_ & CounterReset) == 0) {
            ++resetPulses_;
        }
        counter_ = 0;
    } else if ((value & CounterClock) != 0 && (lastData_ & CounterClock) == 0) {
        counter_ = (counter_ + 1) % CounterRange;
        ++clockPulses_;
    }
    lastData_ = value;
}

std::uint8_t RecordingPort::In(std::uint16_t port) {
    if (port != dataAddress_ + 1) {
        ++otherReads_;
        return 0xFF;
    }
    ++statusReads_;
    if (status_) {
        return status_(counter_);
    }
    std::uint8_t status = 0x07;  // idle lines of an unconnected parallel port
    if (lowFlip_ < 0 || counter_ < lowFlip_) {
        status |= LowSideComparator;
    }
    if (highFlip_ < 0 || counter_ < highFlip_) {
        status |= HighSideComparator;
    }
    return status;
}

}  // namespace voltrex::testing
