#include "CurveTestData.h"

#include <cmath>

#include "platform/CFormat.h"

namespace voltrex::results::testing {

std::string CurveText(const CurveSpec& spec) {
    std::string text = "# Voltrex II curve\n# Version: 1\n";
    text += "# Program: Voltrex II - Computer Controlled Battery Manager - Version 1.0\n";
    text += "# Mode: " + spec.Mode + "\n# Start: " + spec.Start + "\n";
    text += Format("# Cycle: %d\n# Of: %d\n", spec.Cycle, spec.Of);
    if (spec.Mode != "MON") {
        text += "# Type: " + spec.Type + "\n";
        text += Format("# Rated: %d\n# Cells: %d\n# Rate: %d\n# Current: %.3f\n", spec.Rated,
                       spec.Cells, spec.Rate, std::fabs(spec.Amperes));
        text += spec.Mode == "DIS" ? "# EndVoltage: 7.0000\n" : "# DeltaV: 0.0030\n";
        text += "# Ohms: 0.1234\n";
    }
    text += "seconds,volts,amperes,rate,mAh,mWh\n";
    double charge = 0.0;
    double energy = 0.0;
    for (int s = 0; s <= spec.Seconds; ++s) {
        const double volts = spec.StartVolts + spec.VoltsPerSecond * s;
        text += Format("%d,%.4f,%.3f,%d,%.4f,%.4f\n", s, volts, spec.Amperes,
                       spec.Mode == "MON" ? 0 : spec.Rate, charge, energy);
        if (spec.Mode != "MON") {
            charge += std::fabs(spec.Amperes) / 3.6;
            energy += std::fabs(spec.Amperes) * volts / 3.6;
        }
    }
    if (!spec.End.empty()) {
        text += "# End: " + spec.End + "\n";
    }
    return text;
}

std::string RecordLine(const RecordSpec& spec) {
    const double energy = spec.MilliampHours * 1.2 * spec.Cells;
    const double perCell =
        spec.MilliampHours != 0.0 ? energy / (spec.MilliampHours * spec.Cells) : 0.0;
    return Format("\"%s\",\"%s\",%d,%d,\"%s\",%d,%d,%1.1f,%1.1f,%1.1f,%1.4f,%1.4f",
                  spec.Time.c_str(), spec.Mode.c_str(), spec.Cycle, spec.Of, spec.Type.c_str(),
                  spec.Rated, spec.Cells, spec.MilliAmps, spec.MilliampHours, energy, spec.Ohms,
                  perCell);
}

std::string ResultsHeaderLine() {
    return "\"Date/Time\",\"Mode\",\"Cycle\",\"Of\",\"Type\",\"Rated\",\"Cells\",\"mA\",\"mAh\","
           "\"mWh\",\"Ohms\",\"V/Cell\"\n";
}

}  // namespace voltrex::results::testing
