#pragma once

#include <optional>
#include <string_view>

namespace voltrex {

// The kinds of test that leave a file behind, as the results file and the
// curve files name them: "DIS", "CHG" and "MON". A Monitor writes only a
// curve; the results file holds discharges and charges.
enum class TestMode { Discharge, Charge, Monitor };

// The code the files give the mode.
const char* ModeCode(TestMode mode);

// The mode a code names; none for any other text (the code exactly, as the
// program writes it).
std::optional<TestMode> ParseModeCode(std::string_view code);

}  // namespace voltrex
