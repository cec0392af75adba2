#pragma once

#include <string>

#include "makefolder/FolderOptions.h"

namespace voltrex::makefolder {

// What MakeFolder wrote.
struct FolderReport {
    int Records = 0;  // lines written by the charger program's writer
    int Curves = 0;   // curve files left in curves/ (of finished, stopped and cut tests)
    int Monitors = 0;
    long long Rows = 0;   // rows in the curve files
    long long Bytes = 0;  // of everything in the folder
    std::string Error;    // empty when the folder was made
};

// Writes a working folder as the charger program leaves it after years of
// use: packs of every chemistry bought over the years, each formed by an
// Auto Cycle when new, then discharged and charged now and then while its
// capacity fades and its resistance rises, left on the shelf in between
// (where it loses charge), a Monitor now and then. The results file and the
// curve files are written by the program's own writers (records/), the
// pack names by the results window's; only the damage asked for is done by
// hand afterwards, as another program or a power cut would. The same
// options make the same bytes.
//
// The folder must be new or empty. Dates are local times of a central
// European clock (summer time from the last Sunday of March to the last
// Sunday of October), the last test before December 2026.
FolderReport MakeFolder(const std::string& folder, const FolderOptions& options);

}  // namespace voltrex::makefolder
