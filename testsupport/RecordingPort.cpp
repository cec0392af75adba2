#include "testsupport/RecordingPort.h"

namespace voltrex::testing {

namespace {
RecordingPort* active = nullptr;
}

RecordingPort::RecordingPort(Clock& clock, std::uint16_t dataAddress)
    : clock_(clock), dataAddress_(dataAddress), previous_(active) {
    active = this;
}

RecordingPort::~RecordingPort() {
    active = previous_;
}

void RecordingPort::Out(unsigned short port, unsigned char value) {
    if (active != nullptr) {
        active->DoOut(port, value);
    }
}

unsigned char RecordingPort::In(unsigned short port) {
    return active != nullptr ? active->DoIn(port) : 0xFF;
}

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

void RecordingPort::DoOut(unsigned short port, unsigned char value) {
    writes_.push_back(Write{clock_.Monotonic(), port, value});
    if (port != dataAddress_) {
        return;
    }
    if ((value & 0x40) != 0) {
        if ((lastData_ & 0x40) == 0) {
            ++resetPulses_;
        }
        counter_ = 0;
    } else if ((value & 0x80) != 0 && (lastData_ & 0x80) == 0) {
        counter_ = (counter_ + 1) & 0x0FFF;
        ++clockPulses_;
    }
    lastData_ = value;
}

unsigned char RecordingPort::DoIn(unsigned short port) {
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
        status |= 0x10;
    }
    if (highFlip_ < 0 || counter_ < highFlip_) {
        status |= 0x08;
    }
    return status;
}

}  // namespace voltrex::testing
