#include "makefolder/CellModel.h"

#include <algorithm>
#include <cmath>

namespace voltrex::makefolder {

CellModel CellModel::Of(const std::string& type) {
    CellModel m;
    m.Type = type;
    if (type == "NiCd") {
        m.EndVolts = 0.9;
        m.DeltaVolts = 0.012;
        m.ChargeFactor = 1.25;
        m.FadePerYear = 0.04;
        m.ShelfLossPerDay = 0.01;
        m.OhmsPerCellAt1Ah = 0.02;
        m.RestVoltsFull = 1.36;
    } else if (type == "LiPo") {
        m.EndVolts = 3.0;
        m.CeilingVolts = 4.2;
        m.ChargeFactor = 1.02;
        m.FadePerYear = 0.08;
        m.ShelfLossPerDay = 0.001;
        m.OhmsPerCellAt1Ah = 0.012;
        m.RestVoltsFull = 4.17;
    } else if (type == "LiNP") {
        m.EndVolts = 2.5;
        m.CeilingVolts = 3.6;
        m.ChargeFactor = 1.02;
        m.FadePerYear = 0.03;
        m.ShelfLossPerDay = 0.001;
        m.OhmsPerCellAt1Ah = 0.008;
        m.RestVoltsFull = 3.34;
    } else if (type == "PbAcid") {
        m.EndVolts = 1.75;
        m.CeilingVolts = 2.4;
        m.ChargeFactor = 1.1;
        m.FadePerYear = 0.1;
        m.ShelfLossPerDay = 0.002;
        m.OhmsPerCellAt1Ah = 0.05;
        m.RestVoltsFull = 2.12;
    } else {
        m.Type = "NiMH";
        m.EndVolts = 1.0;
        m.DeltaVolts = 0.005;
        m.ChargeFactor = 1.2;
        m.FadePerYear = 0.05;
        m.ShelfLossPerDay = 0.01;
        m.OhmsPerCellAt1Ah = 0.03;
        m.RestVoltsFull = 1.38;
    }
    return m;
}

double CellModel::DischargeVolts(double depth) const {
    const double d = std::clamp(depth, 0.0, 1.0);
    const double shoulder = std::exp(-20.0 * d);
    if (Type == "LiPo") {
        return 4.12 - 0.45 * d + 0.05 * shoulder - 0.55 * std::pow(d, 12.0);
    }
    if (Type == "LiNP") {
        return 3.30 - 0.10 * d + 0.04 * shoulder - 0.75 * std::pow(d, 16.0);
    }
    if (Type == "PbAcid") {
        return 2.08 - 0.14 * d + 0.03 * shoulder - 0.15 * std::pow(d, 10.0);
    }
    if (Type == "NiCd") {
        return 1.28 - 0.07 * d + 0.06 * shoulder - 0.33 * std::pow(d, 16.0);
    }
    return 1.30 - 0.09 * d + 0.07 * shoulder - 0.25 * std::pow(d, 16.0);
}

double CellModel::ChargeVolts(double charge) const {
    const double c = std::clamp(charge, 0.0, 1.2);
    if (CeilingVolts > 0.0) {
        // Rises with the open-circuit voltage, held at the ceiling by the
        // charger's steps down.
        return std::min(CeilingVolts,
                        DischargeVolts(1.0 - c) + 0.08 * (CeilingVolts - EndVolts) * c);
    }
    // Nickel cells: a slow rise, the steep climb near full.
    return 1.36 + 0.06 * c + 0.08 * std::pow(std::min(c, 1.0), 12.0);
}

}  // namespace voltrex::makefolder
