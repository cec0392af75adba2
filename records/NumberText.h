#pragma once

#include <optional>
#include <string_view>

namespace voltrex {

// Numbers as the program writes them ("1934.5", "-1.503", "7"), read with the
// C conventions whatever the locale: blanks around them are allowed, anything
// else (a decimal comma, a unit, "nan", "inf") is not.
std::optional<double> ParseDecimal(std::string_view text);
std::optional<int> ParseInteger(std::string_view text);

// The text without blanks (spaces, tabs) at either end.
std::string_view Trimmed(std::string_view text);

}  // namespace voltrex
