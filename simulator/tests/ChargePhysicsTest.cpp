#include <gtest/gtest.h>

#include "simulator/BatteryPack.h"

namespace voltrex::testing {
namespace {

using simulator::BatteryPack;
using simulator::Chemistry;

// Peak-to-trough fall of the terminal voltage per cell within the window
// after the peak, charging a 2000 mAh cell from 80 % at the given C rate.
double DeltaVPerCell(Chemistry chemistry, double cRate, double window) {
    BatteryPack pack({chemistry, 1, 2000.0, 0.8});
    pack.SetCurrent(-2.0 * cRate);
    double peak = 0.0;
    double peakTime = 0.0;
    double trough = 1e9;
    const double step = 5.0;
    for (double t = 0.0; t < 4.0 * 3600.0 / cRate; t += step) {
        pack.Advance(step);
        const double v = pack.TerminalVoltage();
        if (v > peak) {
            peak = v;
            peakTime = t;
            trough = v;
        } else if (t - peakTime <= window && v < trough) {
            trough = v;
        }
    }
    return peak - trough;
}

TEST(ChargePhysics, NegativeDeltaVGrowsWithCurrentAndIsLargerForNiCd) {
    // Five minutes after the peak at 1 C: 5-15 mV per cell for NiMH, more for
    // NiCd; half the current gives a few millivolts in ten minutes, a tenth
    // of it next to nothing.
    const double nimhOneC = DeltaVPerCell(Chemistry::NiMH, 1.0, 300.0);
    const double nicdOneC = DeltaVPerCell(Chemistry::NiCd, 1.0, 300.0);
    EXPECT_GT(nimhOneC, 0.005);
    EXPECT_LT(nimhOneC, 0.015);
    EXPECT_GT(nicdOneC, nimhOneC);
    EXPECT_LT(nicdOneC, 0.025);
    const double nimhHalfC = DeltaVPerCell(Chemistry::NiMH, 0.5, 600.0);
    EXPECT_GT(nimhHalfC, 0.003);
    EXPECT_LT(nimhHalfC, nimhOneC);
    EXPECT_LT(DeltaVPerCell(Chemistry::NiMH, 0.1, 600.0), 0.001);
}

}  // namespace
}  // namespace voltrex::testing
