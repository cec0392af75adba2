#pragma once

#include <string>

namespace voltrex::results::testing {

// Writes a working folder as the main program would leave it after a year of
// use: Voltrex2.csv and the curve files in curves/ of a 7-cell 2000 mAh NiMH
// pack (an Auto Cycle of three cycles when it was new, then a discharge and
// a charge every month as it wears), a 3-cell 2200 mAh LiPo pack, a Monitor,
// and one line of the results file cut short. The records and curves are
// written by the program's own procedures (with the sample configuration)
// driving the simulated charger board and pack in virtual time; only the cut
// line is written by hand. Takes a few seconds: a year of tests, a pass a
// second.
//
// Returns what went wrong, or an empty text.
std::string WriteExampleFolder(const std::string& folder);

}  // namespace voltrex::results::testing
