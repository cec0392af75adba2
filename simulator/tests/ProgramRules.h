#pragma once

#include <cstdint>

#include "TestRig.h"

namespace voltrex::testing {

// The charge and discharge loops of the program, reduced to what the pack
// sees and what ends them, so that the simulator's physics can be checked
// against the rules they must satisfy. One pass every passSeconds of virtual
// time; the program makes dozens a second, which only smooths more.
struct ChargeOutcome {
    enum class End { TimeLimit, LowestRate, DeltaV } end = End::TimeLimit;
    std::int64_t seconds = 0;
    int stepDowns = 0;
    double peak = 0.0;
    double maxDrop = 0.0;  // largest (peak - v) / peak seen
    double countedMah = 0.0;
};

inline ChargeOutcome RunChargeRule(TestRig& rig, int rate, double deltaThreshold, double ceiling,
                                   std::int64_t timeLimit, double passSeconds = 1.0) {
    ChargeOutcome out;
    Instrument& in = rig.instrument;
    in.ReadVoltage(true);
    const std::int64_t start = rig.clock.Now();
    std::int64_t lastCounted = start;
    std::int64_t timerStart = start;
    double counter = 0.0;
    double current = rig.config.ChargeCurrent[static_cast<std::size_t>(rate)];
    in.StartCharge(static_cast<std::uint8_t>(rate));
    while (true) {
        rig.clock.Advance(passSeconds);
        const std::int64_t now = rig.clock.Now();
        const std::int64_t elapsed = now - start;
        const double v = in.ReadVoltage(false);
        if (now > lastCounted) {
            counter += current;
            lastCounted = now;
        }
        out.seconds = elapsed;
        if (elapsed > timeLimit) {
            out.end = ChargeOutcome::End::TimeLimit;
            break;
        }
        if (v > ceiling) {
            --rate;
            ++out.stepDowns;
            in.SetRate(static_cast<std::uint8_t>(rate));
            current = rig.config.ChargeCurrent[static_cast<std::size_t>(rate)];
            if (rate == 0) {
                out.end = ChargeOutcome::End::LowestRate;
                break;
            }
            rig.clock.SleepMs(100);
            in.ReadVoltage(true);
        } else if (elapsed <= 60) {
            timerStart = now;
        } else {
            if (v > out.peak) {
                out.peak = v;
            }
            const double drop = out.peak > 0.0 ? (out.peak - v) / out.peak : 0.0;
            if (drop > out.maxDrop) {
                out.maxDrop = drop;
            }
            if (drop < deltaThreshold) {
                timerStart = now;
            }
            if (now - timerStart > rig.config.DeltaVDuration) {
                out.end = ChargeOutcome::End::DeltaV;
                break;
            }
        }
    }
    in.AllOff();
    out.countedMah = counter / 3.6;
    return out;
}

struct DischargeOutcome {
    bool reachedEnd = false;
    std::int64_t seconds = 0;
    double countedMah = 0.0;
};

// Discharges at the rate until the smoothed reading is below endVoltage (or
// the time cap), counting one second's worth of table current per pass in
// which the wall clock moved on.
inline DischargeOutcome RunDischargeRule(TestRig& rig, int rate, double endVoltage,
                                         std::int64_t capSeconds, double passSeconds = 1.0) {
    DischargeOutcome out;
    Instrument& in = rig.instrument;
    in.ReadVoltage(true);
    const std::int64_t start = rig.clock.Now();
    std::int64_t lastCounted = start;
    const double current = rig.config.DischargeCurrent[static_cast<std::size_t>(rate)];
    double counter = 0.0;
    in.StartDischarge(static_cast<std::uint8_t>(rate));
    while (true) {
        rig.clock.Advance(passSeconds);
        const std::int64_t now = rig.clock.Now();
        const double v = in.ReadVoltage(false);
        if (now > lastCounted) {
            counter += current;
            lastCounted = now;
        }
        out.seconds = now - start;
        if (v < endVoltage) {
            out.reachedEnd = true;
            break;
        }
        if (out.seconds > capSeconds) {
            break;
        }
    }
    in.AllOff();
    out.countedMah = counter / 3.6;
    return out;
}

}  // namespace voltrex::testing
