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
// BatteryPack. State of charge runs from 0 (empty at the rated capacity) to 1
// (full); the curves go a little beyond both ends, into over-discharge and
// overcharge, where the voltage falls or climbs steeply.
struct CellData {
    // Open-circuit voltage per cell against state of charge, volts.
    Curve OpenCircuitVoltage;
    // Fraction of the charging current that is stored; the rest becomes heat.
    Curve ChargeEfficiency;
    // Extra voltage per cell while charging (lead: gas evolution near full),
    // reached with ChargeOverpotentialSeconds as time constant.
    Curve ChargeOverpotential;
    double ChargeOverpotentialSeconds = 60.0;
    // Lowest and highest state of charge the model reaches.
    double MinimumStateOfCharge = 0.0;
    double MaximumStateOfCharge = 1.0;
    // Typical internal (ohmic) resistance per cell, ohms; the slow
    // polarisation adds to it under a steady current.
    double ResistancePerCell = 0.0;
    // Change of the cell voltage with temperature, volts per kelvin.
    double VoltsPerKelvin = 0.0;
    // Heat capacity of one cell per ampere-hour of capacity, joules per kelvin.
    double HeatCapacityPerAmpHour = 60.0;
};

const CellData& CellDataOf(Chemistry chemistry);

}  // namespace voltrex::simulator
