#include "records/CsvLine.h"

namespace voltrex {

std::optional<std::vector<std::string>> SplitCsvLine(std::string_view line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::size_t at = 0;
    while (true) {
        field.clear();
        if (at < line.size() && line[at] == '"') {
            ++at;
            while (true) {
                if (at >= line.size()) {
                    return std::nullopt;  // the quote is never closed
                }
                if (line[at] == '"') {
                    if (at + 1 < line.size() && line[at + 1] == '"') {
                        field += '"';
                        at += 2;
                        continue;
                    }
                    ++at;
                    break;
                }
                field += line[at++];
            }
            if (at < line.size() && line[at] != separator) {
                return std::nullopt;  // text after the closing quote
            }
        } else {
            const std::size_t comma = line.find(separator, at);
            const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
            field.assign(line.substr(at, end - at));
            if (field.find('"') != std::string::npos) {
                return std::nullopt;  // a quote inside an unquoted field
            }
            at = end;
        }
        fields.push_back(field);
        if (at >= line.size()) {
            return fields;
        }
        ++at;  // the comma
    }
}

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        at = next;
    }
    return lines;
}

}  // namespace voltrex
