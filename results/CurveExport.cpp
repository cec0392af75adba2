#include "results/CurveExport.h"

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "records/CsvLine.h"

namespace voltrex::results {

std::string CurvesCsv(const std::vector<const CurveFile*>& curves) {
    std::string text = "curve,mode,start,cycle,seconds,volts,amperes,rate,mAh,mWh\n";
    for (const CurveFile* curve : curves) {
        const std::string start = curve->Start ? CalendarTimeText(*curve->Start) : std::string();
        const std::string prefix = CsvField(curve->Name) + "," + CsvField(curve->Mode) + "," +
                                   start + "," + Format("%d", curve->Cycle) + ",";
        for (const CurveRow& row : curve->Rows) {
            text += prefix;
            text += Format("%d,%.4f,%.3f,%d,%.4f,%.4f\n", row.Seconds, row.Volts, row.Amperes,
                           row.Rate, row.MilliampHours, row.MilliwattHours);
        }
    }
    return text;
}

}  // namespace voltrex::results
