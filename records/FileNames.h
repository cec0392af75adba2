#pragma once

// The names of what the charger program leaves in its working folder, which
// the results window reads back. Both programs take them from here.
namespace voltrex {

// One line per finished discharge or charge (records/ResultsFile.h).
inline constexpr const char* ResultsFileName = "Voltrex2.csv";

// One file per test, named by its start and mode (records/CurveFile.h).
inline constexpr const char* CurvesFolderName = "curves";
inline constexpr const char* CurveFileExtension = ".csv";

// The program's name and version: the main window's caption and the first
// thing a curve file says of where it came from.
inline constexpr const char* ProgramTitle =
    "Voltrex II - Computer Controlled Battery Manager - Version 1.0";

}  // namespace voltrex
