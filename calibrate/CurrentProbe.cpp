#include "calibrate/CurrentProbe.h"

#include <cmath>

namespace voltrex {

CurrentProbe::CurrentProbe(Instrument& instrument, Clock& clock, double timeLimit)
    : instrument_(instrument), clock_(clock), timeLimit_(timeLimit) {}

CurrentProbe::~CurrentProbe() {
    SwitchOff();
}

void CurrentProbe::SwitchOn(int rate, bool charge) {
    SwitchOff();
    const auto bits = static_cast<std::uint8_t>(rate);
    if (charge) {
        instrument_.StartCharge(bits);
    } else {
        instrument_.StartDischarge(bits);
    }
    on_ = true;
    rate_ = rate;
    charge_ = charge;
    switchedOn_ = clock_.Monotonic();
}

void CurrentProbe::SwitchOff() {
    if (on_) {
        instrument_.AllOff();
        on_ = false;
    }
}

double CurrentProbe::SecondsLeft() {
    if (!on_) {
        return 0.0;
    }
    return std::fmax(0.0, timeLimit_ - (clock_.Monotonic() - switchedOn_));
}

bool CurrentProbe::EnforceTimeLimit() {
    if (on_ && SecondsLeft() <= 0.0) {
        SwitchOff();
        return true;
    }
    return false;
}

double CurrentFromReading(double reading, double shuntOhms) {
    const double magnitude = std::fabs(reading);
    return shuntOhms > 0.0 ? magnitude / shuntOhms : magnitude;
}

}  // namespace voltrex
