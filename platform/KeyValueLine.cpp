#include "platform/KeyValueLine.h"

namespace voltrex {

std::string_view TrimBlanks(std::string_view text) {
    constexpr std::string_view Blanks = " \t\r\n\v\f";
    const std::size_t first = text.find_first_not_of(Blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(Blanks);
    return text.substr(first, last - first + 1);
}

std::optional<KeyValue> SplitKeyValue(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyValue{TrimBlanks(line.substr(0, equals)), TrimBlanks(line.substr(equals + 1))};
}

}  // namespace voltrex
