#pragma once

#include <string>
#include <vector>

#include "records/CurveFile.h"

namespace voltrex::results {

// Several curves as one comma-separated table in long format: one header
// line, then one line per second of each curve, the curve named in its first
// columns, so that curves of any length sit in one table that a spreadsheet's
// pivot table or a script's group-by splits again:
//
//   curve,mode,start,cycle,seconds,volts,amperes,rate,mAh,mWh
//   20261208-141503-DIS.csv,DIS,2026-12-08 14:15:03,2,0,8.1234,-1.503,9,0.0000,0.0000
//
// Numbers as in the curve files (decimal point whatever the locale), LF line
// ends. The curves need their rows (ReadCurveFile).
std::string CurvesCsv(const std::vector<const CurveFile*>& curves);

}  // namespace voltrex::results
