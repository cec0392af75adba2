#include "simulator/BoardCalibration.h"

namespace voltrex::simulator {

namespace {

BoardCalibration MakeDefault() {
    BoardCalibration b;
    // Ideal weights are 1 mV x 2^i. These carry a reference 0.12 % low and
    // ladder errors of up to 0.31 of a step; every weight exceeds the sum of
    // the ones below it, so the ramp never steps backwards. Six significant
    // digits, so that the sample configuration holds them exactly.
    b.BitWeights = {0.00101878, 0.00196764, 0.00404514, 0.00795045, 0.0160607, 0.0319017,
                    0.0640331,  0.127757,   0.255833,   0.511206,   1.02299,   2.04523};
    // The low side sees the negative terminal through a 1:2 divider (it covers
    // only the small ground offset, 2 mV per count); the high side sees the
    // positive terminal through about 1:13.4, so that the full count of
    // 4.090 V covers 54.9 V: twelve lithium cells at 4.2 V with room for the
    // charging overshoot, at 13.4 mV per count.
    b.LowSideMultiplier = 2.00318;
    b.HighSideMultiplier = 13.4217;
    b.ChargeCurrent = {0.0,   0.0502, 0.1004, 0.1497, 0.2011, 0.2995, 0.4008, 0.5012,
                       0.699, 0.998,  1.251,  1.497,  2.004,  2.497,  3.006,  3.994};
    b.DischargeCurrent = {0.0,   0.1003, 0.1498, 0.2006, 0.2992, 0.4011, 0.5004, 0.6995,
                          1.002, 1.249,  1.503,  1.996,  2.502,  3.005,  3.997,  5.008};
    b.GroundOffset = 0.040;
    b.ReturnResistance = 0.004;
    b.ComparatorNoise = 0.0008;
    return b;
}

}  // namespace

const BoardCalibration& DefaultBoardCalibration() {
    static const BoardCalibration board = MakeDefault();
    return board;
}

void ApplyBoardCalibration(const BoardCalibration& board, Configuration& config) {
    config.Calibration.BitWeights = board.BitWeights;
    config.Calibration.LowSideMultiplier = board.LowSideMultiplier;
    config.Calibration.HighSideMultiplier = board.HighSideMultiplier;
    config.ChargeCurrent = board.ChargeCurrent;
    config.DischargeCurrent = board.DischargeCurrent;
}

}  // namespace voltrex::simulator
