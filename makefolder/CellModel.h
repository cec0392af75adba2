#pragma once

#include <string>

namespace voltrex::makefolder {

// How one cell of a chemistry behaves, coarsely but with the shapes a
// hobbyist knows from the charger's graph: the open-circuit voltage over the
// depth of discharge (a shoulder after full, a plateau, the knee at empty),
// the rise of a charge, the resistance of a new cell, the fade of its
// capacity and its loss of charge on the shelf.
struct CellModel {
    std::string Type;              // as the settings dialog names it: "NiMH" ...
    double EndVolts = 1.0;         // the discharge's end voltage per cell
    double CeilingVolts = 0.0;     // a charge's ceiling per cell; 0: ends on delta-V
    double DeltaVolts = 0.0;       // the delta-V drop per cell that ends a charge
    double ChargeFactor = 1.0;     // charge put in for each unit taken out
    double FadePerYear = 0.05;     // of the rated capacity
    double ShelfLossPerDay = 0.0;  // of the charge held
    double OhmsPerCellAt1Ah = 0.03;
    double RestVoltsFull = 1.38;  // a full cell at rest

    // The chemistry of a type; NiMH for a type the program does not know.
    static CellModel Of(const std::string& type);

    // Open-circuit volts of a cell at a depth of discharge from 0 (full) to 1
    // (empty, at the end voltage less the load).
    double DischargeVolts(double depth) const;
    // Volts of a cell being charged at a state of charge from 0 to 1,
    // without the drop over its resistance.
    double ChargeVolts(double charge) const;
};

// The types the generator makes packs of.
inline constexpr const char* CellTypes[] = {"NiMH", "NiCd", "LiPo", "LiNP", "PbAcid"};

}  // namespace voltrex::makefolder
