#pragma once

#include <cstdint>
#include <random>

#include "simulator/SimulatedBoard.h"

namespace voltrex::simulator {

// Where the owner's multimeter is connected while calibrating the board.
enum class MeterProbe {
    // DC volts between the D-to-A output and the board's ground.
    ConverterOutput,
    // DC volts across the pack, from its negative to its positive terminal.
    PackVoltage,
    // DC volts of the pack's negative terminal against the board's ground.
    NegativeTerminal,
    // DC amperes, the meter in series with the pack (shown without sign).
    SeriesCurrent,
};

// A 4 1/2-digit multimeter (19999 counts) on the simulated board: auto-ranging
// over 200 mV, 2 V, 20 V, 200 V and 1000 V (0.2 A, 2 A and 20 A for current),
// it shows the true value at the probe plus a little noise (half a digit RMS),
// rounded to the last digit of the range it is on. The noise is drawn from its
// own generator, so a test that seeds it reads the same figures every time.
class SimulatedMeter {
  public:
    // Counts of the display: 19999 and its sign.
    static constexpr int DisplayCounts = 20000;

    explicit SimulatedMeter(SimulatedBoard& board,
                            std::uint32_t seed = SimulatedBoard::DefaultSeed + 1);
    SimulatedMeter(const SimulatedMeter&) = delete;
    SimulatedMeter& operator=(const SimulatedMeter&) = delete;

    // What the display shows now, volts or amperes.
    double Read(MeterProbe probe);
    // The true value at the probe now, which the display approximates.
    double TrueValue(MeterProbe probe);

    // The last digit of the range a value is shown on.
    static double Resolution(double value, bool amperes);

  private:
    SimulatedBoard& board_;
    std::mt19937 generator_;
};

}  // namespace voltrex::simulator
