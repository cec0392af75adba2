#include "results/PackNames.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/CFormat.h"
#include "platform/KeyValueLine.h"
#include "platform/TextFile.h"
#include "platform/WriteAll.h"
#include "records/CalendarTime.h"
#include "records/CsvLine.h"
#include "records/NumberText.h"

namespace voltrex::results {

namespace {

constexpr const char* Heading =
    "# Voltrex II Results: the names of packs. Written by voltrex2-results;\n"
    "# a group is cell type, rated mAh and cells, a record its time and mode.\n";

std::optional<PackKey> ParseKey(std::string_view text) {
    // The type is everything before the last two commas.
    const std::size_t second = text.rfind(',');
    if (second == std::string_view::npos || second == 0) {
        return std::nullopt;
    }
    const std::size_t first = text.rfind(',', second - 1);
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    PackKey key;
    key.Type = std::string(Trimmed(text.substr(0, first)));
    const std::optional<int> rated = ParseInteger(text.substr(first + 1, second - first - 1));
    const std::optional<int> cells = ParseInteger(text.substr(second + 1));
    if (key.Type.empty() || !rated || !cells) {
        return std::nullopt;
    }
    key.Rated = *rated;
    key.Cells = *cells;
    return key;
}

bool ValidRecordId(std::string_view id) {
    // "YYYY-MM-DD HH:MM:SS MODE"
    return id.size() > 20 && id[19] == ' ' && ParseCalendarTime(id.substr(0, 19)).has_value() &&
           id.find_first_of("=\n") == std::string_view::npos;
}

}  // namespace

std::string PackKey::Label() const {
    return Format("%s %d mAh \xC3\x97 %d", Type.c_str(), Rated, Cells);
}

std::string CleanName(std::string_view name) {
    std::string clean;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        clean += byte < 0x20 || byte == 0x7F ? ' ' : c;
    }
    return std::string(Trimmed(clean));
}

std::optional<std::string> PackNames::GroupName(const PackKey& key) const {
    const auto found = groups_.find(key);
    return found == groups_.end() ? std::nullopt : std::optional<std::string>(found->second);
}

bool PackNames::SetGroupName(const PackKey& key, std::string_view name) {
    // A type is written as it is: a control character (a NUL that would end
    // it early, a line break) would read back as another type or none.
    const bool control = std::any_of(key.Type.begin(), key.Type.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
    if (key.Type.empty() || control || key.Type.find_first_of("=,[") != std::string::npos ||
        key.Type.front() == '#' || key.Type != Trimmed(key.Type)) {
        return false;
    }
    const std::string clean = CleanName(name);
    if (clean.empty()) {
        groups_.erase(key);
    } else {
        groups_[key] = clean;
    }
    return true;
}

std::optional<std::string> PackNames::RecordPack(const std::string& recordId) const {
    const auto found = records_.find(recordId);
    return found == records_.end() ? std::nullopt : std::optional<std::string>(found->second);
}

void PackNames::SetRecordPack(const std::string& recordId, std::string_view name) {
    const std::string clean = CleanName(name);
    if (clean.empty()) {
        records_.erase(recordId);
    } else if (ValidRecordId(recordId)) {
        records_[recordId] = clean;
    }
}

void PackNames::RenamePack(std::string_view oldName, std::string_view newName) {
    const std::string clean = CleanName(newName);
    for (auto it = groups_.begin(); it != groups_.end();) {
        if (it->second == oldName) {
            if (clean.empty()) {
                it = groups_.erase(it);
                continue;
            }
            it->second = clean;
        }
        ++it;
    }
    for (auto it = records_.begin(); it != records_.end();) {
        if (it->second == oldName) {
            if (clean.empty()) {
                it = records_.erase(it);
                continue;
            }
            it->second = clean;
        }
        ++it;
    }
}

std::string PackNames::Text() const {
    std::string text = Heading;
    if (!groups_.empty()) {
        text += "[Groups]\n";
        for (const auto& [key, name] : groups_) {
            text += Format("%s,%d,%d = %s\n", key.Type.c_str(), key.Rated, key.Cells, name.c_str());
        }
    }
    if (!records_.empty()) {
        text += "[Records]\n";
        for (const auto& [id, name] : records_) {
            text += id + " = " + name + "\n";
        }
    }
    return text;
}

PackNames PackNames::Parse(std::string_view text, std::vector<std::string>* problems) {
    PackNames names;
    enum class Section { None, Groups, Records } section = Section::None;
    int lineNumber = 0;
    auto problem = [&](const char* what) {
        if (problems != nullptr) {
            problems->push_back(Format("line %d: %s", lineNumber, what));
        }
    };
    for (const std::string_view raw : SplitLines(text)) {
        ++lineNumber;
        const std::string_view line = Trimmed(raw);
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        if (line == "[Groups]") {
            section = Section::Groups;
            continue;
        }
        if (line == "[Records]") {
            section = Section::Records;
            continue;
        }
        if (line.front() == '[') {
            section = Section::None;  // a section of a later version
            continue;
        }
        const std::optional<KeyValue> pair = SplitKeyValue(line);
        if (!pair) {
            problem("no \"=\"");
            continue;
        }
        const std::string_view key = pair->Key;
        const std::string name = CleanName(pair->Value);
        if (name.empty()) {
            problem("no name after \"=\"");
            continue;
        }
        if (section == Section::Groups) {
            if (const std::optional<PackKey> group = ParseKey(key)) {
                names.SetGroupName(*group, name);
            } else {
                problem("not a group (type,rated,cells)");
            }
        } else if (section == Section::Records) {
            if (ValidRecordId(key)) {
                names.SetRecordPack(std::string(key), name);
            } else {
                problem("not a record (date time mode)");
            }
        }
    }
    return names;
}

PackNames PackNames::Load(const std::string& path, std::vector<std::string>* problems) {
    const TextFile file = ReadTextFile(path);
    if (!file.Error.empty() && problems != nullptr) {
        problems->push_back(file.Error);
    }
    return Parse(file.Text, problems);
}

bool PackNames::Save(const std::string& path, std::string& error) const {
    std::string temporary = path + ".new-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // A names file is no secret: readable as the program's other files are
    // (mkstemp makes it the owner's alone).
    bool written = ::fchmod(fd, 0644) == 0 && WriteAll(fd, Text()) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        saved = errno;
    }
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0) {
        // The rename itself reaches the disk with the folder.
        const std::size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd >= 0) {
            ::fsync(folderFd);
            ::close(folderFd);
        }
        return true;
    }
    if (written) {
        saved = errno;
    }
    ::unlink(temporary.c_str());
    error = std::strerror(saved);
    return false;
}

}  // namespace voltrex::results
