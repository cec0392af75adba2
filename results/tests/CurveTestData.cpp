#include "CurveTestData.h"

#include <cmath>

#include "platform/CFormat.h"

namespace voltrex::results::testing {

std::string CurveText(const CurvePlan& plan) {
    std::string text = "# Voltrex II curve\n# Version: 1\n";
    text += "# Program: Voltrex II - Computer Controlled Battery Manager - Version 1.0\n";
    text += "# Mode: " + plan.Mode + "\n# Start: " + plan.Start + "\n";
    text += Format("# Cycle: %d\n# Of: %d\n", plan.Cycle, plan.Of);
    if (plan.Mode != "MON") {
        text += "# Type: " + plan.Type + "\n";
        text += Format("# Rated: %d\n# Cells: %d\n# Rate: %d\n# Current: %.3f\n", plan.Rated,
                       plan.Cells, plan.Rate, std::fabs(plan.Amperes));
        text += plan.Mode == "DIS" ? "# EndVoltage: 7.0000\n" : "# DeltaV: 0.0030\n";
        text += "# Ohms: 0.1234\n";
    }
    text += "seconds,volts,amperes,rate,mAh,mWh\n";
    double charge = 0.0;
    double energy = 0.0;
    for (int s = 0; s <= plan.Seconds; ++s) {
        const double volts = plan.StartVolts + plan.VoltsPerSecond * s;
        text += Format("%d,%.4f,%.3f,%d,%.4f,%.4f\n", s, volts, plan.Amperes,
                       plan.Mode == "MON" ? 0 : plan.Rate, charge, energy);
        if (plan.Mode != "MON") {
            charge += std::fabs(plan.Amperes) / 3.6;
            energy += std::fabs(plan.Amperes) * volts / 3.6;
        }
    }
    if (!plan.End.empty()) {
        text += "# End: " + plan.End + "\n";
    }
    return text;
}

std::string RecordLine(const RecordPlan& plan) {
    const double energy = plan.MilliampHours * 1.2 * plan.Cells;
    const double perCell =
        plan.MilliampHours != 0.0 ? energy / (plan.MilliampHours * plan.Cells) : 0.0;
    return Format("\"%s\",\"%s\",%d,%d,\"%s\",%d,%d,%1.1f,%1.1f,%1.1f,%1.4f,%1.4f",
                  plan.Time.c_str(), plan.Mode.c_str(), plan.Cycle, plan.Of, plan.Type.c_str(),
                  plan.Rated, plan.Cells, plan.MilliAmps, plan.MilliampHours, energy, plan.Ohms,
                  perCell);
}

std::string ResultsHeaderLine() {
    return "\"Date/Time\",\"Mode\",\"Cycle\",\"Of\",\"Type\",\"Rated\",\"Cells\",\"mA\",\"mAh\","
           "\"mWh\",\"Ohms\",\"V/Cell\"\n";
}

ResultsFile ResultsLog(const std::vector<RecordPlan>& records) {
    std::string text = ResultsHeaderLine();
    for (const RecordPlan& record : records) {
        text += RecordLine(record) + "\n";
    }
    return ParseResultsText(text);
}

}  // namespace voltrex::results::testing
