#pragma once

#include <optional>
#include <string>
#include <vector>

namespace voltrex::simulator {

// The five cell chemistries the charger handles, in the order the program
// lists them.
enum class Chemistry { NiCd, NiMH, LiPo, LiNP, PbAcid };

// The program's name of the chemistry: "NiCd", "NiMH", "LiPo", "LiNP", "PbAcid".
const char* ChemistryName(Chemistry chemistry);
// The chemistry of a name, compared without regard to letter case; none for
// anything else.
std::optional<Chemistry> ParseChemistry(const std::string& name);

// A curve given by points (x ascending), read by linear interpolation and held
// flat beyond its ends.
struct Curve {
    std::vector<std::pair<double, double>> Points;
    double At(double x) const;
};

// What one cell of a chemistry is like, for the equivalent circuit of
// BatteryPack. State of charge runs from 0 (empty: the rated capacity has been
// taken out at the rated discharge rate) to 1 (full); the open-circuit curve
// goes a little beyond both ends, into over-discharge and overcharge, where
// the voltage falls or climbs steeply. Only the cell's surface (see
// BatteryPack) reaches below 0; the charge held never does.
struct CellData {
    // Open-circuit voltage per cell against state of charge, volts.
    Curve OpenCircuitVoltage;
    // Fraction of the charging current that is stored; the rest becomes heat.
    Curve ChargeEfficiency;
    // Extra voltage per cell while charging (nickel and lead near full: oxygen
    // and gas evolution), reached with ChargeOverpotentialSeconds as time
    // constant.
    Curve ChargeOverpotential;
    double ChargeOverpotentialSeconds = 60.0;
    // Highest state of charge an overcharge reaches.
    double MaximumStateOfCharge = 1.0;
    // DC resistance of a cell times its capacity, ohm-ampere-hours: a cell of
    // twice the capacity has half the resistance. Of it, OhmicShare acts at
    // once (what a 1 kHz meter and the program's resistance test read); the
    // rest builds up with the polarisation time constant.
    double ResistanceAmpHours = 0.05;
    double OhmicShare = 0.4;
    // The rate effect on capacity (Peukert): above the current of the rating
    // (the capacity over RatedHours), a discharge delivers
    // (Irated / I)^(PeukertExponent - 1) of the charge held before the cell's
    // surface is empty. The rest comes back with DiffusionSeconds of rest.
    double RatedHours = 5.0;
    double PeukertExponent = 1.0;
    // How far the surface runs ahead of the charge held while charging, in
    // state of charge per C of charging current (lithium: the voltage meets
    // the ceiling well before full).
    double ChargeLeadPerC = 0.0;
    double DiffusionSeconds = 600.0;
    // Change of the charging voltage with temperature, volts per kelvin
    // (nickel: the negative delta-V of a warm full cell).
    double VoltsPerKelvin = 0.0;
    // Heat capacity of one cell per ampere-hour of capacity, joules per kelvin.
    double HeatCapacityPerAmpHour = 60.0;
};

const CellData& CellDataOf(Chemistry chemistry);

}  // namespace voltrex::simulator
