#pragma once

#include <array>
#include <cstdint>
#include <random>

#include "platform/Clock.h"
#include "simulator/BatteryPack.h"
#include "simulator/BoardCalibration.h"

namespace voltrex::simulator {

// The charger board on the parallel port, as the program sees it through the
// port's three registers:
//
// Data register (data address), written by the program:
//   bits 0-3  rate setting: row of the board's rate table, 0 = no current
//   bit 4     mode relay: set = charge, clear = discharge
//   bit 5     battery relay: set = pack connected (no current while open)
//   bit 6     high clears the 12-bit D-to-A counter (and holds it at 0)
//   bit 7     each rising edge advances the counter (4095 wraps to 0)
//   Reading it returns the byte last written, as a parallel port's data
//   register does.
//
// Status register (data address + 1), read by the program:
//   bit 4     low-side comparator: 1 while the D-to-A output is below the
//             scaled negative terminal, 0 once it has reached it
//   bit 3     high-side comparator: the same against the scaled positive
//             terminal
//   The other lines are not connected: ACK (bit 6) and PAPER-OUT (bit 5) float
//   high and read 1, BUSY floats high and reads 0 (the port inverts it), and the
//   unused bits 0-2 read 1, so an idle board reads 0x67 plus the two
//   comparator bits.
//
// Control register (data address + 2): not used by the board; keeps what is
// written (0x0C at power-up, as the parallel port driver sets it).
//
// Other addresses: writes do nothing, reads return 0xFF (an empty bus).
//
// The pack is integrated lazily on the clock handed in: at every status read
// (when at least a millisecond has passed) and at every write that changes the
// rate or a relay, by the time elapsed since the last update. Counter pulses
// do nothing but count, so a conversion costs a few nanoseconds per access.
//
// These are the board's own names for its lines, kept apart from the
// program's (instrument/PortBits.h): the simulated board stands for the
// hardware and is built into the simulated port library, which knows nothing
// of the program, and a test that runs the program on it checks the program's
// names against these instead of sharing them.
class SimulatedBoard {
  public:
    static constexpr std::uint32_t DefaultSeed = 20260314;
    // Data register.
    static constexpr std::uint8_t RateBits = 0x0F;
    static constexpr std::uint8_t ModeRelay = 0x10;
    static constexpr std::uint8_t BatteryRelay = 0x20;
    static constexpr std::uint8_t CounterReset = 0x40;
    static constexpr std::uint8_t CounterClock = 0x80;
    // Status register.
    static constexpr std::uint8_t IdleStatus = 0x67;
    static constexpr std::uint8_t LowSideBit = 0x10;
    static constexpr std::uint8_t HighSideBit = 0x08;
    // The 12-bit counter's counts, 0 to 4095.
    static constexpr int CounterBits = 12;
    static constexpr int CounterRange = 1 << CounterBits;
    // Status reads closer together than this share one pack update.
    static constexpr double UpdateInterval = 0.001;

    SimulatedBoard(Clock& clock, const BatteryPack::Settings& pack,
                   std::uint16_t dataAddress = 0x378,
                   const BoardCalibration& calibration = DefaultBoardCalibration(),
                   std::uint32_t seed = DefaultSeed);
    SimulatedBoard(const SimulatedBoard&) = delete;
    SimulatedBoard& operator=(const SimulatedBoard&) = delete;

    void Out(std::uint16_t port, std::uint8_t value);
    std::uint8_t In(std::uint16_t port);

    const BoardCalibration& Calibration() const { return calibration_; }
    std::uint16_t DataAddress() const { return dataAddress_; }

    std::uint8_t Latch() const { return latch_; }
    int Rate() const { return latch_ & RateBits; }
    bool ChargeMode() const { return (latch_ & ModeRelay) != 0; }
    bool Connected() const { return (latch_ & BatteryRelay) != 0; }
    int Counter() const { return counter_; }
    // Current the board drives through the pack, amperes: positive
    // discharges, negative charges.
    double Current() const { return pack_.Current(); }
    // D-to-A output at the present count, volts.
    double DacOutput() const { return dac_[static_cast<std::size_t>(counter_)]; }
    // Voltage of the pack's negative terminal above the board's ground.
    double GroundOffset() const;

    // The board's own supply. Without it the relays drop out, so no current
    // flows whatever the data byte says, and the comparator outputs float
    // high: every conversion then fails, as on a board whose plug has come
    // out. On by default; switching it on again applies the data byte.
    void SetPowered(bool powered);
    bool Powered() const { return powered_; }

    // The pack's leads. Disconnected (leads off, a blown fuse), the board's
    // sense inputs see no pack, so a conversion reads about 0 V, and no
    // current flows whatever the data byte says. Connected by default.
    void SetPackConnected(bool connected);
    bool PackConnected() const { return packConnected_; }

    // Brings the pack up to the clock's present time.
    void Update();
    // The pack as of the last update (call Update() first for the present).
    BatteryPack& Pack() { return pack_; }
    const BatteryPack& Pack() const { return pack_; }
    // Puts another pack on the board (the relays and counter stay as they are).
    void ReplacePack(const BatteryPack::Settings& pack);

  private:
    void Advance(bool always);
    void ApplyDrive(std::uint8_t value);
    void UpdateInputs();
    bool Below(double dac, double input);
    double Noise();

    Clock& clock_;
    BoardCalibration calibration_;
    std::uint16_t dataAddress_;
    BatteryPack pack_;
    std::mt19937 generator_;
    std::array<double, CounterRange> dac_{};
    double noiseBound_ = 0.0;
    double lastUpdate_;
    double lowInput_ = 0.0;
    double highInput_ = 0.0;
    int counter_ = 0;
    std::uint8_t latch_ = 0;
    std::uint8_t control_ = 0x0C;
    bool powered_ = true;
    bool packConnected_ = true;
};

}  // namespace voltrex::simulator
