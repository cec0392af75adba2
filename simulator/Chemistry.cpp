#include "simulator/Chemistry.h"

#include <strings.h>

namespace voltrex::simulator {

namespace {

// Cell data. The open-circuit curves between 0 and 1 are published cell
// tables; the points beyond them (over-discharge, overcharge) are estimates
// shaped after typical charge and discharge curves: a steep fall below empty
// for every chemistry, a steep climb past full for lithium and lead (which is
// what makes a charger hold a voltage ceiling), a flat top for nickel, whose
// overcharge turns into heat instead.
//
// Sources:
// - LiCoO2/NMC ("LiPo"): the OCV table of the Linux device-tree binding
//   example for the Spreadtrum SC27xx fuel gauge (sc27xx-fg.yaml).
// - LiFePO4 ("LiNP"): a published lithium iron phosphate cell table (1 % to
//   100 %); the 0 % point is extrapolated.
// - Lead-acid: the usual rested-voltage table of a 12 V battery divided by six;
//   the charging overpotential makes the charge voltage reach 2.4-2.5 V per
//   cell near full (gassing), as battery manufacturers' charge curves show.
// - NiMH: estimate from manufacturers' discharge curves at low rate (full about
//   1.40 V, plateau 1.25-1.30 V, empty 1.10 V); NiCd is flatter and a few tens
//   of millivolts lower.
// - Nickel charge efficiency near 1 up to about 80 % (NiCd 85 %), falling to
//   about 0.2 at full; the surplus is heat (oxygen recombination), which with
//   the falling charging voltage gives the negative delta-V of 5-15 mV per
//   cell at 1 C.
// - Resistance: makers give the 1 kHz impedance of a charged cell, which
//   scales inversely with its capacity: Panasonic NiMH AA/4-5AA about
//   20-25 mOhm Ah, NiCd about 25 mOhm Ah, a 12 V sealed lead block of 5 Ah
//   27 mOhm (4.5 mOhm per cell). The DC resistance (R0 and R1) is larger:
//   AA NiMH 2000 mAh 20-30 mOhm, a 2 Ah LiPo 20-40 mOhm, a 7 Ah lead block
//   4-6 mOhm per cell. OhmicShare puts R0 at the 1 kHz figure.
// - Rate effect: lead is rated at 20 hours and gives about 85 % at 5 hours
//   and 55-70 % at 1 C (Peukert 1.15); nickel and lithium are rated at 0.2 C
//   and lose a few per cent at 1 C. A lithium cell charged at 1 C meets its
//   ceiling at 75-85 % of its charge, the rest going in at falling current.
// - Temperature: the charging voltage of a nickel cell falls 2-3 mV per
//   kelvin as it warms at the end of a charge; every cell's resistance falls
//   about 1 % per kelvin.
// - Heat capacity: about 1 J/(g K) for a cell, with an AA NiMH cell of 2 Ah
//   weighing about 27 g, doubled for the pack's wrapping and connectors
//   (estimate); it gives about 1.5 K per minute at the start of a 1 C overcharge.
//
// docs/simulator.md gives each figure beside its published band.
CellData MakeNiCd() {
    CellData d;
    d.OpenCircuitVoltage.Points = {{-0.05, 0.40}, {-0.03, 0.78}, {-0.015, 0.98}, {0.0, 1.07},
                                   {0.10, 1.18},  {0.30, 1.22},  {0.50, 1.24},   {0.70, 1.26},
                                   {0.90, 1.30},  {1.00, 1.37},  {1.05, 1.375}};
    d.ChargeEfficiency.Points = {{0.0, 0.99},  {0.85, 0.98}, {0.93, 0.90}, {0.97, 0.60},
                                 {0.99, 0.30}, {1.00, 0.10}, {1.005, 0.0}};
    d.ChargeOverpotential.Points = {{0.0, 0.03}, {0.80, 0.05}, {0.95, 0.09}, {1.00, 0.11}};
    d.MaximumStateOfCharge = 1.05;
    d.ResistanceAmpHours = 0.050;
    d.OhmicShare = 0.5;
    d.RatedHours = 5.0;
    d.PeukertExponent = 1.01;
    d.DiffusionSeconds = 300.0;
    d.VoltsPerKelvin = -0.0025;
    d.HeatCapacityPerAmpHour = 55.0;
    return d;
}

CellData MakeNiMH() {
    CellData d;
    d.OpenCircuitVoltage.Points = {{-0.05, 0.40}, {-0.03, 0.80}, {-0.015, 1.00}, {0.0, 1.10},
                                   {0.10, 1.20},  {0.30, 1.25},  {0.50, 1.27},   {0.70, 1.30},
                                   {0.90, 1.34},  {1.00, 1.40},  {1.05, 1.405}};
    d.ChargeEfficiency.Points = {{0.0, 0.99},  {0.80, 0.97}, {0.90, 0.90}, {0.95, 0.75},
                                 {0.98, 0.45}, {1.00, 0.15}, {1.01, 0.0}};
    d.ChargeOverpotential.Points = {{0.0, 0.01}, {0.80, 0.02}, {0.95, 0.04}, {1.00, 0.05}};
    d.MaximumStateOfCharge = 1.05;
    d.ResistanceAmpHours = 0.050;
    d.OhmicShare = 0.45;
    d.RatedHours = 5.0;
    d.PeukertExponent = 1.02;
    d.DiffusionSeconds = 300.0;
    d.VoltsPerKelvin = -0.0020;
    d.HeatCapacityPerAmpHour = 65.0;
    return d;
}

CellData MakeLiPo() {
    CellData d;
    d.OpenCircuitVoltage.Points = {{-0.05, 2.50}, {-0.02, 3.00}, {0.00, 3.400}, {0.05, 3.605},
                                   {0.10, 3.680}, {0.20, 3.752}, {0.30, 3.770}, {0.40, 3.777},
                                   {0.50, 3.805}, {0.60, 3.864}, {0.70, 3.917}, {0.80, 3.983},
                                   {0.90, 4.066}, {1.00, 4.185}, {1.01, 4.25},  {1.03, 4.45}};
    d.ChargeEfficiency.Points = {{0.0, 0.999}, {1.0, 0.999}, {1.03, 0.99}};
    d.MaximumStateOfCharge = 1.03;
    d.ResistanceAmpHours = 0.060;
    d.OhmicShare = 0.4;
    d.RatedHours = 5.0;
    d.PeukertExponent = 1.02;
    d.ChargeLeadPerC = 0.15;
    d.DiffusionSeconds = 600.0;
    d.HeatCapacityPerAmpHour = 40.0;
    return d;
}

CellData MakeLiNP() {
    CellData d;
    d.OpenCircuitVoltage.Points = {
        {-0.05, 2.00}, {-0.02, 2.50}, {0.00, 2.80},  {0.01, 2.90},  {0.05, 3.12},  {0.10, 3.17},
        {0.14, 3.19},  {0.23, 3.22},  {0.31, 3.24},  {0.40, 3.263}, {0.48, 3.269}, {0.57, 3.274},
        {0.70, 3.28},  {0.79, 3.304}, {0.91, 3.316}, {1.00, 3.59},  {1.01, 3.70},  {1.03, 3.90}};
    d.ChargeEfficiency.Points = {{0.0, 0.999}, {1.0, 0.999}, {1.03, 0.99}};
    d.MaximumStateOfCharge = 1.03;
    d.ResistanceAmpHours = 0.046;
    d.OhmicShare = 0.4;
    d.RatedHours = 5.0;
    d.PeukertExponent = 1.01;
    d.ChargeLeadPerC = 0.15;
    d.DiffusionSeconds = 600.0;
    d.HeatCapacityPerAmpHour = 45.0;
    return d;
}

CellData MakePbAcid() {
    CellData d;
    d.OpenCircuitVoltage.Points = {{-0.06, 1.50}, {-0.03, 1.75}, {0.00, 1.93},
                                   {0.25, 2.00},  {0.50, 2.033}, {0.75, 2.067},
                                   {1.00, 2.10},  {1.03, 2.20},  {1.06, 2.30}};
    d.ChargeEfficiency.Points = {{0.0, 0.97},  {0.80, 0.93}, {0.95, 0.75},
                                 {1.00, 0.50}, {1.04, 0.20}, {1.06, 0.0}};
    d.ChargeOverpotential.Points = {{0.0, 0.08},  {0.50, 0.10}, {0.80, 0.15}, {0.90, 0.20},
                                    {1.00, 0.29}, {1.03, 0.42}, {1.06, 0.50}};
    d.ChargeOverpotentialSeconds = 60.0;
    d.MaximumStateOfCharge = 1.06;
    d.ResistanceAmpHours = 0.042;
    d.OhmicShare = 0.6;
    d.RatedHours = 20.0;
    d.PeukertExponent = 1.15;
    d.DiffusionSeconds = 900.0;
    d.HeatCapacityPerAmpHour = 150.0;
    return d;
}

}  // namespace

const char* ChemistryName(Chemistry chemistry) {
    switch (chemistry) {
        case Chemistry::NiCd:
            return "NiCd";
        case Chemistry::NiMH:
            return "NiMH";
        case Chemistry::LiPo:
            return "LiPo";
        case Chemistry::LiNP:
            return "LiNP";
        case Chemistry::PbAcid:
            return "PbAcid";
    }
    return "";
}

std::optional<Chemistry> ParseChemistry(const std::string& name) {
    for (Chemistry c :
         {Chemistry::NiCd, Chemistry::NiMH, Chemistry::LiPo, Chemistry::LiNP, Chemistry::PbAcid}) {
        if (strcasecmp(name.c_str(), ChemistryName(c)) == 0) {
            return c;
        }
    }
    return std::nullopt;
}

double Curve::At(double x) const {
    if (Points.empty()) {
        return 0.0;
    }
    if (x <= Points.front().first) {
        return Points.front().second;
    }
    for (std::size_t i = 1; i < Points.size(); ++i) {
        if (x <= Points[i].first) {
            const auto& [x0, y0] = Points[i - 1];
            const auto& [x1, y1] = Points[i];
            return y0 + (y1 - y0) * (x - x0) / (x1 - x0);
        }
    }
    return Points.back().second;
}

const CellData& CellDataOf(Chemistry chemistry) {
    static const CellData nicd = MakeNiCd();
    static const CellData nimh = MakeNiMH();
    static const CellData lipo = MakeLiPo();
    static const CellData linp = MakeLiNP();
    static const CellData pbacid = MakePbAcid();
    switch (chemistry) {
        case Chemistry::NiCd:
            return nicd;
        case Chemistry::NiMH:
            return nimh;
        case Chemistry::LiPo:
            return lipo;
        case Chemistry::LiNP:
            return linp;
        case Chemistry::PbAcid:
            return pbacid;
    }
    return nimh;
}

}  // namespace voltrex::simulator
