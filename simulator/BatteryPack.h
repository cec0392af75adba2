#pragma once

#include "simulator/Chemistry.h"

namespace voltrex::simulator {

// A pack of identical cells in series, as an equivalent circuit per cell:
//
//   V = OCV(surface) - I R0 - V1 + Vop
//
// with the discharge current I positive, a series resistance R0, one RC pair
// (R1, C1, time constant about 30 s) for polarisation and its recovery after
// the current stops, and a charging overpotential Vop (nickel and lead near
// full; nickel's falls as the cell warms, which with the heat of a full cell
// gives the negative delta-V). R0 and R1 together are the cell's DC
// resistance, which scales inversely with its capacity and falls as the cell
// warms.
//
// The open-circuit voltage is read at the state of charge of the cell's
// surface, not of the charge it holds: under a current the surface runs ahead
// (charging) or behind (discharging), and comes back to the charge held over
// the chemistry's diffusion time once the current stops. This is what makes a
// lead cell deliver less of its charge at a high rate (and recover with rest),
// and a lithium cell meet its ceiling well before it is full. The charge held
// never falls below empty: what a discharge draws beyond it pulls only the
// surface down, into the steep fall of an over-discharged cell.
//
// The temperature T follows a lumped thermal model: heated by the resistive
// losses and by the part of a charging current that is not stored, cooled
// towards ambient.
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
        // less takes the chemistry's typical value for a cell of this capacity.
        double ResistancePerCell = 0.0;
        double AmbientCelsius = 25.0;
    };

    // Longest step of the integration, seconds; Advance splits longer spans.
    static constexpr double MaximumStep = 0.5;
    // The RC pair's time constant.
    static constexpr double PolarisationSeconds = 30.0;
    // How much the resistance falls per kelvin of warming, as a fraction of
    // its value at ambient (electrolyte and reaction kinetics), and the least
    // it falls to.
    static constexpr double ResistanceFallPerKelvin = 0.01;
    static constexpr double LeastResistanceFactor = 0.6;
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
    // The voltage the pack settles at after a long rest: the open-circuit
    // voltage at the charge it holds.
    double OpenCircuitVoltage() const;

    Chemistry Type() const { return settings_.Type; }
    int Cells() const { return settings_.Cells; }
    double CapacityMah() const { return settings_.CapacityMah; }
    // The charge held, 0 (empty) to 1 (full) and a little beyond in overcharge.
    double StateOfCharge() const { return stateOfCharge_; }
    // The state of charge the open-circuit voltage is read at.
    double SurfaceStateOfCharge() const { return stateOfCharge_ - surfaceLag_; }
    // Internal (series) resistance R0 per cell and of the pack, at ambient.
    double ResistancePerCell() const { return resistancePerCell_; }
    double Resistance() const { return resistancePerCell_ * settings_.Cells; }
    double SeriesResistance() const { return Resistance(); }
    // The RC pair's resistance R1 per cell, at ambient.
    double PolarisationResistancePerCell() const { return polarisationResistance_; }
    double PolarisationVoltage() const { return polarisation_ * settings_.Cells; }
    double TemperatureCelsius() const { return temperature_; }

    // Charge that has flowed through the terminals since construction,
    // ampere-seconds: out of the pack while discharging, into it while charging.
    double ChargeDelivered() const { return delivered_; }
    double ChargeReceived() const { return received_; }

  private:
    void Step(double seconds);
    // How far the surface lags behind the charge held at a steady current.
    double SurfaceLagAt(double current) const;
    // The resistances' factor at the present temperature.
    double WarmthFactor() const;

    Settings settings_;
    const CellData* cell_;
    double resistancePerCell_;
    double polarisationResistance_;  // R1 per cell
    double heatCapacity_;            // per cell, J/K
    double current_ = 0.0;
    double stateOfCharge_;
    double surfaceLag_ = 0.0;     // charge held minus the surface's state of charge
    double polarisation_ = 0.0;   // V1 per cell
    double overpotential_ = 0.0;  // Vop per cell
    double temperature_;
    double delivered_ = 0.0;
    double received_ = 0.0;
};

}  // namespace voltrex::simulator
