#include "simulator/SimulatedMeter.h"

#include <cmath>

namespace voltrex::simulator {

namespace {

constexpr double VoltRanges[] = {0.2, 2.0, 20.0, 200.0, 1000.0};
constexpr double AmpereRanges[] = {0.2, 2.0, 20.0};

}  // namespace

SimulatedMeter::SimulatedMeter(SimulatedBoard& board, std::uint32_t seed)
    : board_(board), generator_(seed) {}

double SimulatedMeter::Resolution(double value, bool amperes) {
    const double magnitude = std::fabs(value);
    const double* begin = amperes ? std::begin(AmpereRanges) : std::begin(VoltRanges);
    const double* end = amperes ? std::end(AmpereRanges) : std::end(VoltRanges);
    double range = *(end - 1);
    // The lowest range whose 19999 counts hold the value.
    for (const double* r = begin; r != end; ++r) {
        if (magnitude <= *r * (DisplayCounts - 1) / DisplayCounts + 1e-12) {
            range = *r;
            break;
        }
    }
    return range / DisplayCounts;
}

double SimulatedMeter::TrueValue(MeterProbe probe) {
    board_.Update();
    switch (probe) {
        case MeterProbe::ConverterOutput:
            return board_.DacOutput();
        case MeterProbe::PackVoltage:
            return board_.Pack().TerminalVoltage();
        case MeterProbe::NegativeTerminal:
            return board_.GroundOffset();
        case MeterProbe::SeriesCurrent:
            return std::fabs(board_.Current());
    }
    return 0.0;
}

double SimulatedMeter::Read(MeterProbe probe) {
    const double value = TrueValue(probe);
    const double digit = Resolution(value, probe == MeterProbe::SeriesCurrent);
    // Bell-shaped noise of half a digit RMS: four uniform numbers, centred
    // (the same on every standard library, as the board's).
    const std::uint32_t a = generator_();
    const std::uint32_t b = generator_();
    const double sum = static_cast<double>((a & 0xFFFF) + (a >> 16) + (b & 0xFFFF) + (b >> 16));
    const double noise = (sum / 65535.0 - 2.0) * std::sqrt(3.0) * 0.5 * digit;
    return std::round((value + noise) / digit) * digit;
}

}  // namespace voltrex::simulator
