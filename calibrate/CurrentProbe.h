#pragma once

#include "instrument/Instrument.h"
#include "platform/Clock.h"

namespace voltrex {

// Switches one rate's current on while the owner reads it, and makes sure no
// current is left flowing unattended: it goes off when the reading is in,
// when the next rate is switched on, when the time limit passes without a
// reading, and when the probe is destroyed. Every switch is a drive
// operation: current off before a relay moves, relays before the rate.
class CurrentProbe {
  public:
    // Seconds a current may flow without a reading.
    static constexpr double DefaultTimeLimit = 60.0;

    CurrentProbe(Instrument& instrument, Clock& clock, double timeLimit = DefaultTimeLimit);
    ~CurrentProbe();
    CurrentProbe(const CurrentProbe&) = delete;
    CurrentProbe& operator=(const CurrentProbe&) = delete;

    // Connects the pack in charge or discharge mode and switches the rate on.
    void SwitchOn(int rate, bool charge);
    // Switches the current off, then the relays (AllOff).
    void SwitchOff();
    bool IsOn() const { return on_; }
    int Rate() const { return rate_; }
    bool Charge() const { return charge_; }

    // Seconds left before the time limit, 0 once passed.
    double SecondsLeft();
    // Switches off when the time limit has passed; true when it did so now
    // (the owner must be told).
    bool EnforceTimeLimit();

  private:
    Instrument& instrument_;
    Clock& clock_;
    double timeLimit_;
    double switchedOn_ = 0.0;
    bool on_ = false;
    int rate_ = 0;
    bool charge_ = false;
};

// The current a reading stands for: amperes as read from a meter in series,
// or, with a shunt resistance (ohms) given, the volts across it divided by it.
double CurrentFromReading(double reading, double shuntOhms);

}  // namespace voltrex
