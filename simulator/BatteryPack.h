#pragma once

#include "simulator/Chemistry.h"

namespace voltrex::simulator {

// A pack of identical cells in series, as an equivalent circuit per cell:
//
//   V = OCV(SoC) + k (T - Tambient) - I R0 - V1 + Vop
//
// with the discharge current I positive, a series resistance R0, one RC pair
// (R1, C1, time constant about 30 s) for polarisation and its recovery after
// the current stops, a charging overpotential Vop (lead-acid only) and the
// temperature T of a lumped thermal model: heated by I^2 R and by the part of a
// charging current that is not stored, cooled towards ambient.
//
// The state moves only in Advance(); the current is set by the charger board.
class BatteryPack {
  public:
    struct Settings {
        Chemistry Type = Chemistry::NiMH;
        int Cells = 7;
        double CapacityMah = 2000.0;
        // 0..1 of the rated capacity.
        double StateOfCharge = 0.5;
        // Internal (ohmic) resistance per cell, the part that a current step
        // shows at once and that the program's resistance test measures; 0 or
        // less takes the chemistry's typical value.
        double ResistancePerCell = 0.0;
        double AmbientCelsius = 25.0;
    };

    // Longest step of the integration, seconds; Advance splits longer spans.
    static constexpr double MaximumStep = 0.5;
    // The RC pair's resistance relative to the series resistance (R0 is about
    // 40 % of a cell's DC resistance, R1 the other 60 %), and its time constant.
    static constexpr double PolarisationRatio = 1.5;
    static constexpr double PolarisationSeconds = 30.0;
    // The cooling time constant of the pack and the temperature rise at which
    // it vents and stops heating further.
    static constexpr double CoolingSeconds = 1800.0;
    static constexpr double MaximumRiseKelvin = 60.0;

    BatteryPack() : BatteryPack(Settings{}) {}
    explicit BatteryPack(const Settings& settings);

    // Current through the pack, amperes: positive discharges, negative charges.
    void SetCurrent(double amperes) { current_ = amperes; }
    double Current() const { return current_; }

    // Moves the state on by the given time at the present current.
    void Advance(double seconds);

    // Pack voltage at the terminals at the present current.
    double TerminalVoltage() const;
    double OpenCircuitVoltage() const;

    Chemistry Type() const { return settings_.Type; }
    int Cells() const { return settings_.Cells; }
    double CapacityMah() const { return settings_.CapacityMah; }
    double StateOfCharge() const { return stateOfCharge_; }
    // Internal (series) resistance R0 per cell and of the pack.
    double ResistancePerCell() const { return resistancePerCell_; }
    double Resistance() const { return resistancePerCell_ * settings_.Cells; }
    double SeriesResistance() const { return Resistance(); }
    double PolarisationVoltage() const { return polarisation_ * settings_.Cells; }
    double TemperatureCelsius() const { return temperature_; }

    // Charge that has flowed through the terminals since construction,
    // ampere-seconds: out of the pack while discharging, into it while charging.
    double ChargeDelivered() const { return delivered_; }
    double ChargeReceived() const { return received_; }

  private:
    void Step(double seconds);

    Settings settings_;
    const CellData* cell_;
    double resistancePerCell_;
    double heatCapacity_;  // per cell, J/K
    double current_ = 0.0;
    double stateOfCharge_;
    double polarisation_ = 0.0;   // V1 per cell
    double overpotential_ = 0.0;  // Vop per cell
    double temperature_;
    double delivered_ = 0.0;
    double received_ = 0.0;
};

}  // namespace voltrex::simulator
