#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "instrument/Port.h"
#include "platform/Clock.h"

namespace voltrex::testing {

// A fake parallel port that records every write with the (virtual) time at
// which it happened, and answers reads of the status register from a scripted
// comparator model driven by the counter bits of the data byte: bit 6 high
// clears the counter, each rising edge of bit 7 advances it.
class RecordingPort : public Port {
  public:
    struct Write {
        double Time;  // clock's Monotonic() at the write
        std::uint16_t Port;
        std::uint8_t Value;
    };

    explicit RecordingPort(Clock& clock, std::uint16_t dataAddress = 0x378);
    RecordingPort(const RecordingPort&) = delete;
    RecordingPort& operator=(const RecordingPort&) = delete;

    void Out(std::uint16_t port, std::uint8_t value) override;
    std::uint8_t In(std::uint16_t port) override;

    // None unless a test gives them: C functions that reach this port by
    // themselves, for a test of the emergency switch-off (Out) or of the
    // conversion's direct calls (both).
    PortProcs Procs() const noexcept override { return procs_; }
    void SetProcs(PortProcs procs) { procs_ = procs; }

    // Comparator script: the low-side bit (4) reads 1 while the count is below
    // lowFlip, the high-side bit (3) while it is below highFlip; -1 = never flips.
    void SetFlipCounts(int lowFlip, int highFlip);
    // Or a full status function of the counter value (overrides the flip counts).
    void SetStatusFunction(std::function<std::uint8_t(int count)> status);

    const std::vector<Write>& Writes() const { return writes_; }
    std::vector<std::uint8_t> WrittenValues() const;
    void ClearLog();
    int StatusReads() const { return statusReads_; }
    int Counter() const { return counter_; }
    int ClockPulses() const { return clockPulses_; }
    int ResetPulses() const { return resetPulses_; }
    // Reads of ports other than data address + 1.
    int OtherReads() const { return otherReads_; }

  private:
    Clock& clock_;
    std::uint16_t dataAddress_;
    PortProcs procs_;
    std::vector<Write> writes_;
    std::uint8_t lastData_ = 0;
    int counter_ = 0;
    int lowFlip_ = -1;
    int highFlip_ = -1;
    std::function<std::uint8_t(int)> status_;
    int statusReads_ = 0;
    int clockPulses_ = 0;
    int resetPulses_ = 0;
    int otherReads_ = 0;
};

}  // namespace voltrex::testing
