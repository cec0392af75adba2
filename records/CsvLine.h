#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace voltrex {

// Splits one line of comma-separated values into its fields: a field may be
// enclosed in double quotes, inside which a comma is text and "" stands for
// one quote. None when a quote is left open or text follows a closing quote
// (a line cut short or edited by hand). The line holds no line break. A
// spreadsheet saving in a locale whose decimal mark is the comma separates
// the fields with ';' instead.
std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line, char separator = ',');

// The field as it goes into a comma-separated file: as it is, or in quotes
// (with its quotes doubled) when it holds a comma, a quote or a line break.
std::string CsvField(std::string_view text);

// Splits text into lines at LF, dropping a CR before it (a file saved by a
// spreadsheet on another system) and a final empty line; a last line without
// its line break is a line too.
std::vector<std::string_view> SplitLines(std::string_view text);

}  // namespace voltrex
