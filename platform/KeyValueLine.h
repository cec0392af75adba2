#pragma once

#include <optional>
#include <string_view>

namespace voltrex {

// The text without blanks (spaces, tabs, line ends, vertical tabs, form
// feeds) at either end.
std::string_view TrimBlanks(std::string_view text);

// A "key = value" line of a settings file, both parts without blanks around
// them; none for a line without "=". The line is taken as it is: comments
// and sections are the caller's.
struct KeyValue {
    std::string_view Key;
    std::string_view Value;
};
std::optional<KeyValue> SplitKeyValue(std::string_view line);

}  // namespace voltrex
