#include "config/ConfigurationFile.h"

#include <cerrno>
#include <system_error>

#include "config/ConfigurationReader.h"
#include "platform/ReplaceWhole.h"
#include "platform/TextFile.h"

namespace voltrex {

namespace {

std::string SystemReason(int error) {
    return std::generic_category().message(error);
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Whether the text is well-formed UTF-8: no overlong forms, no surrogates,
// nothing above U+10FFFF, no sequence cut short.
bool IsUtf8(const std::string& text) {
    std::size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            ++at;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;  // the range of the second byte
        unsigned char high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (text.size() - at < length) {
            return false;
        }
        const auto second = static_cast<unsigned char>(text[at + 1]);
        if (second < low || second > high) {
            return false;
        }
        for (std::size_t i = 2; i < length; ++i) {
            if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) {
                return false;
            }
        }
        at += length;
    }
    return true;
}

std::string Latin1ToUtf8(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            result += c;
        } else {
            result += static_cast<char>(0xC0 | (byte >> 6));
            result += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return result;
}

// The UTF-8 text as Latin-1; false when it holds a character above U+00FF
// (or is not UTF-8 at all).
bool Utf8ToLatin1(const std::string& text, std::string& result) {
    result.clear();
    result.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte < 0x80) {
            result += text[at];
        } else if ((byte == 0xC2 || byte == 0xC3) && at + 1 < text.size() &&
                   IsContinuation(static_cast<unsigned char>(text[at + 1]))) {
            const auto next = static_cast<unsigned char>(text[++at]);
            result += static_cast<char>(((byte & 0x03) << 6) | (next & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";

}  // namespace

std::optional<std::string> ConfigurationFile::Load(std::vector<std::string>& lines) {
    latin1_ = false;
    if (auto failure = LoadConfigurationLines(path_, lines)) {
        return failure;
    }
    // A line end never falls inside a character, so the lines are UTF-8 when
    // each of them is.
    for (const std::string& line : lines) {
        latin1_ = latin1_ || !IsUtf8(line);
    }
    if (latin1_) {
        for (std::string& line : lines) {
            line = Latin1ToUtf8(line);
        }
    } else if (!lines.empty() && lines.front().rfind(ByteOrderMark, 0) == 0) {
        lines.front().erase(0, sizeof ByteOrderMark - 1);
    }
    return std::nullopt;
}

std::optional<std::string> ConfigurationFile::Save(const std::vector<std::string>& lines) const {
    if (latin1_) {
        std::vector<std::string> latin1(lines.size());
        bool fits = true;
        for (std::size_t i = 0; i < lines.size() && fits; ++i) {
            fits = Utf8ToLatin1(lines[i], latin1[i]);
        }
        if (fits) {
            return SaveConfigurationLines(path_, latin1);
        }
    }
    return SaveConfigurationLines(path_, lines);
}

std::optional<std::string> ConfigurationFile::Read(Configuration& config) const {
    return ReadConfiguration(config, path_);
}

std::optional<std::string> LoadConfigurationLines(const std::string& path,
                                                  std::vector<std::string>& lines) {
    lines.clear();
    // A FIFO or a device in the file's place is refused, never waited on.
    const TextFile file = ReadTextFile(path);
    if (!file.Exists) {
        return SystemReason(ENOENT);
    }
    if (!file.Error.empty()) {
        return file.Error;
    }
    const std::string& text = file.Text;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const bool ended = end != std::string::npos;
        if (!ended) {
            end = text.size();
        }
        std::size_t stop = end;
        if (stop > start && text[stop - 1] == '\r') {
            --stop;
        }
        lines.push_back(text.substr(start, stop - start));
        start = ended ? end + 1 : end;
    }
    return std::nullopt;
}

std::optional<std::string> SaveConfigurationLines(const std::string& path,
                                                  const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    if (!ReplaceWhole(path, text)) {
        return SystemReason(errno);
    }
    return std::nullopt;
}

}  // namespace voltrex
