#pragma once

#include <string>
#include <vector>

#include "records/ResultsFile.h"

namespace voltrex::results::testing {

// A curve file as the main program writes it, with rows made by formula: the
// voltage falls (or rises) linearly from StartVolts by VoltsPerSecond, the
// charge grows by |Amperes| / 3.6 mAh a second.
struct CurvePlan {
    std::string Mode = "DIS";
    std::string Start = "2026-12-08 14:15:03";
    int Cycle = 0;
    int Of = 0;
    std::string Type = "NiMH";
    int Rated = 2000;
    int Cells = 7;
    int Rate = 9;
    double Amperes = -1.5;  // signed as in the rows
    int Seconds = 60;       // rows 0 .. Seconds
    double StartVolts = 8.4;
    double VoltsPerSecond = -0.001;
    std::string End = "end voltage reached";  // empty: no end line
};

std::string CurveText(const CurvePlan& plan);

// A results file line of the program's layout.
struct RecordPlan {
    std::string Time = "2026-12-08 14:16:04";
    std::string Mode = "DIS";
    int Cycle = 0;
    int Of = 0;
    std::string Type = "NiMH";
    int Rated = 2000;
    int Cells = 7;
    double MilliAmps = 1500.0;
    double MilliampHours = 1934.5;
    double Ohms = 0.1234;
};

std::string RecordLine(const RecordPlan& plan);  // without its line break
std::string ResultsHeaderLine();                 // with its line break
// A results file of these records, read.
ResultsFile ResultsLog(const std::vector<RecordPlan>& records);

}  // namespace voltrex::results::testing
