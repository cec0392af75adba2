#pragma once

#include <array>
#include <cstdint>

#include "config/Configuration.h"
#include "instrument/EmergencySwitch.h"
#include "instrument/Port.h"
#include "instrument/PortBits.h"
#include "platform/Clock.h"

namespace voltrex {

// The counts at which a conversion saw the low-side and the high-side
// comparator flip; -1 where one did not flip by count 4095.
struct ConversionCounts {
    int Low = -1;
    int High = -1;
    bool Failed() const { return Low == -1 || High == -1; }
};

// Sum of the bit weights selected by the low 12 bits of count, added from the
// least significant bit up.
double WeightSum(std::int32_t count, const std::array<double, 12>& weights);

// The instrument on the parallel port: the port in use, the copy of the byte
// last written to the data register (which cannot be read back), and the
// smoothed pack voltage. Every drive operation is a fixed sequence of writes
// and waits; the current is always switched off before a relay moves, and the
// new rate follows only after the relays have settled for 100 ms.
//
// The data byte's and the status register's bits are in PortBits.h.
//
// While no port is bound or the port address is 0, the operations
// keep the latch and their waits as usual but write nothing (I/O port 0 is the
// PC's DMA controller), and a conversion fails at once.
//
// The port in use and the latch live in a PortRecord that the emergency
// switch-off (EmergencySwitch.h) shares, with the bound port's plain C Out
// (Port::Procs; the switch-off writes nothing to a port without one, and
// still clears the record). The switch is armed once the first write has
// reached a newly set port. After an emergency switch-off the record holds
// latch 0x00 and no port, and every later operation starts from there.
class Instrument {
  public:
    // calibration is the configuration's block, read at every conversion of
    // ReadVoltage, so a re-read configuration takes effect at once.
    Instrument(Clock& clock, const CalibrationBlock& calibration);
    ~Instrument();
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // The port every operation writes to and reads from, from now on; it
    // must outlive the instrument or a later BindPort.
    void BindPort(Port& port);

    std::uint16_t PortAddress() const { return record_.PortAddress.load(); }
    std::uint8_t ControlLatch() const { return record_.ControlLatch.load(); }
    double SmoothedVoltage() const { return smoothedVoltage_; }
    // True when a conversion of the last ReadVoltage failed (returned -1.0):
    // the smoothed value then mixes in the failure and means nothing.
    bool ReadingFailed() const { return readingFailed_; }

    void RateOff();
    void AllOff();
    void StartCharge(std::uint8_t rate);
    void StartDischarge(std::uint8_t rate);
    void SetRate(std::uint8_t rate);
    void SetLatchManual(std::uint8_t rate, bool charge, bool connect);
    void ClockCounterTo(std::int32_t count);
    void SetPortAddress(std::uint16_t address);
    void ClearPortAddress();

    // One conversion: ramps the counter until the high-side comparator flips.
    // Returns volts, or exactly -1.0 when a comparator did not flip by count 4095.
    double MeasureVoltage(const CalibrationBlock& calibration);
    // The same conversion, giving the counts instead of volts (the weights
    // still decide which counts are sampled): what a calibration needs.
    ConversionCounts MeasureCounts(const CalibrationBlock& calibration);
    // restart: the mean of 20 fresh conversions; otherwise one conversion folded
    // into the running average with weight 0.05.
    double ReadVoltage(bool restart);

  private:
    // Which counts of the ramp are sampled: those whose selected weights add
    // up to more than 0.0. The answer depends only on the 12 bit weights, so
    // it is worked out once per set of weights, not at every count of every
    // conversion: with all weights positive every count is sampled; otherwise
    // one bit per count says so. It lives in the instrument (no allocation)
    // and is rebuilt when the weights differ in any bit from those it was
    // made for.
    class SampledCounts {
      public:
        // Brings the table up to date with weights; true when every count is
        // sampled.
        bool Update(const std::array<double, 12>& weights);
        bool Sampled(int count) const {
            const auto index = static_cast<unsigned>(count);
            return ((bits_[index / 64] >> (index % 64)) & 1U) != 0;
        }

      private:
        bool valid_ = false;
        bool everyCount_ = false;
        std::array<double, 12> weights_{};
        std::array<std::uint64_t, CounterRange / 64> bits_{};
    };

    void Write(std::uint8_t value);
    void Pulse(std::uint8_t bit);
    // The conversion after MeasureVoltage's checks, with the port reached
    // through Access (Instrument.cpp); EveryCount: every count is sampled.
    template <bool EveryCount, typename Access>
    ConversionCounts Ramp(Access port, std::uint16_t data);

    Clock& clock_;
    const CalibrationBlock& calibration_;
    SampledCounts sampled_;
    Port* port_ = nullptr;
    PortRecord record_;
    double smoothedVoltage_ = 0.0;
    bool readingFailed_ = false;
};

}  // namespace voltrex
