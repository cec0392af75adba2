#pragma once

#include <string>

namespace voltrex::results::testing {

// Writes a working folder as the main program would leave it after a year of
// use: Voltrex2.csv and the curve files in curves/ of a 7-cell 2000 mAh NiMH
// pack (an Auto Cycle of three cycles when it was new, then a discharge and
// a charge every month as it wears), a 3-cell 2200 mAh LiPo pack, a Monitor,
// and one line of the results file cut short. The curves come from the
// simulated battery pack, second by second, in virtual time.
//
// Returns what went wrong, or an empty text.
std::string WriteExampleFolder(const std::string& folder);

}  // namespace voltrex::results::testing
