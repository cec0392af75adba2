#include "simulator/BoardCalibration.h"

#include <algorithm>
#include <random>

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

// A uniform number in [-1, 1] from the generator's bits alone, the same on
// every standard library (the library's distributions are not).
double Spread(std::mt19937& generator) {
    return static_cast<double>(generator()) / 4294967295.0 * 2.0 - 1.0;
}

}  // namespace

BoardCalibration SeededBoardCalibration(std::uint32_t seed) {
    BoardCalibration b = DefaultBoardCalibration();
    std::mt19937 generator(seed);
    const double reference = 1.0 + 0.008 * Spread(generator);
    // A step of the ladder is about 1 mV; no bit moves by more than a tenth
    // of it, nor by more than 0.2 % of itself, so that even added up over the
    // lower bits the converter stays monotonic and no reading falls into a
    // gap of several counts.
    for (double& weight : b.BitWeights) {
        const double ladder = Spread(generator) * std::min(0.0001, 0.002 * weight);
        weight = weight * reference + ladder;
    }
    b.ConverterOffset = 0.0002 * Spread(generator);
    b.LowSideMultiplier *= 1.0 + 0.02 * Spread(generator);
    b.HighSideMultiplier *= 1.0 + 0.02 * Spread(generator);
    for (std::size_t rate = 1; rate < b.ChargeCurrent.size(); ++rate) {
        b.ChargeCurrent[rate] *= 1.0 + 0.05 * Spread(generator);
        b.DischargeCurrent[rate] *= 1.0 + 0.05 * Spread(generator);
    }
    return b;
}

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
