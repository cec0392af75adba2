#pragma once

namespace voltrex::results {

// The program voltrex2-results: "voltrex2-results [FOLDER]" shows the results
// of the Voltrex II working folder FOLDER (by default the working directory).
// Returns the exit status: 0, or 2 for a wrong call.
int ResultsMain(int argc, char* argv[]);

// The look of the window: the Fusion style, whose metrics do not change with
// the desktop's theme, the program's icon and names.
void ConfigureResultsAppearance();

}  // namespace voltrex::results
