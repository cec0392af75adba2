#include "results/PackNames.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
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

bool HasControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

// "group:<type>,<rated>,<cells>" or "name:<name>", as PackGrouping makes them.
bool ValidPackId(std::string_view id) {
    const auto after = [&](std::string_view prefix) {
        return id.substr(0, prefix.size()) == prefix && id.size() > prefix.size();
    };
    return (after("group:") || after("name:")) && !HasControl(id) && id == Trimmed(id);
}

// A key or a value as written: a backslash starts an escape, so that "=" can
// be part of a key and a note can hold line breaks.
std::string Escaped(std::string_view text, bool key) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '=' && key) {
            out += "\\=";
        } else {
            out += c;
        }
    }
    return out;
}

std::string Unescaped(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
            out += text[i] == 'n' ? '\n' : text[i];
        } else {
            out += text[i];
        }
    }
    return out;
}

// "key = value" split at the first "=" that no backslash escapes.
std::optional<KeyValue> SplitEscapedKey(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\') {
            ++i;
        } else if (line[i] == '=') {
            return KeyValue{Trimmed(line.substr(0, i)), Trimmed(line.substr(i + 1))};
        }
    }
    return std::nullopt;
}

// A percentage as it reads best: "80", "72.5".
std::string PercentText(double share) {
    return Format("%.6g", std::round(share * 1e5) / 1e3);
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

std::string CleanNote(std::string_view note) {
    std::string clean;
    std::string line;
    const auto endLine = [&] {
        clean += Trimmed(line);
        line.clear();
    };
    for (std::size_t i = 0; i < note.size(); ++i) {
        const char c = note[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < note.size() && note[i + 1] == '\n') {
                ++i;
            }
            endLine();
            clean += '\n';
        } else {
            line += byte < 0x20 || byte == 0x7F ? ' ' : c;
        }
    }
    endLine();
    // No empty lines at either end.
    const std::size_t first = clean.find_first_not_of('\n');
    if (first == std::string::npos) {
        return {};
    }
    return clean.substr(first, clean.find_last_not_of('\n') - first + 1);
}

std::optional<double> PackNames::ReplaceAt(const std::string& packId) const {
    const auto found = replaceAt_.find(packId);
    return found == replaceAt_.end() ? std::nullopt : std::optional<double>(found->second);
}

bool PackNames::SetReplaceAt(const std::string& packId, std::optional<double> share) {
    if (!ValidPackId(packId) || (share && !(*share >= LeastReplaceAt && *share <= 1.0))) {
        return false;
    }
    if (share) {
        // Kept to a thousandth of a percent, as it is written and read back.
        replaceAt_[packId] = std::round(*share * 1e5) / 1e3 / 100.0;
    } else {
        replaceAt_.erase(packId);
    }
    return true;
}

namespace {

// A note of a pack or a record: none is the empty one; an empty note (once
// cleaned) takes the note away.
std::string NoteIn(const std::map<std::string, std::string>& notes, const std::string& key) {
    const auto found = notes.find(key);
    return found == notes.end() ? std::string() : found->second;
}

void KeepNote(std::map<std::string, std::string>& notes, const std::string& key,
              std::string_view note) {
    std::string clean = CleanNote(note);
    if (clean.empty()) {
        notes.erase(key);
    } else {
        notes[key] = std::move(clean);
    }
}

}  // namespace

std::string PackNames::PackNote(const std::string& packId) const {
    return NoteIn(packNotes_, packId);
}

bool PackNames::SetPackNote(const std::string& packId, std::string_view note) {
    if (!ValidPackId(packId)) {
        return false;
    }
    KeepNote(packNotes_, packId, note);
    return true;
}

std::string PackNames::RecordNote(const std::string& recordId) const {
    return NoteIn(recordNotes_, recordId);
}

bool PackNames::SetRecordNote(const std::string& recordId, std::string_view note) {
    if (!ValidRecordId(recordId)) {
        return false;
    }
    KeepNote(recordNotes_, recordId, note);
    return true;
}

bool PackNames::SetRetired(const std::string& packId, bool retired) {
    if (!ValidPackId(packId)) {
        return false;
    }
    if (retired) {
        retired_.insert(packId);
    } else {
        retired_.erase(packId);
    }
    return true;
}

void PackNames::MovePackSettings(const std::string& oldId, const std::string& newId) {
    if (oldId == newId || !ValidPackId(newId)) {
        return;
    }
    if (retired_.erase(oldId) != 0) {
        retired_.insert(newId);
    }
    if (const auto share = replaceAt_.find(oldId); share != replaceAt_.end()) {
        replaceAt_.emplace(newId, share->second);
        replaceAt_.erase(share);
    }
    if (const auto note = packNotes_.find(oldId); note != packNotes_.end()) {
        packNotes_.emplace(newId, note->second);
        packNotes_.erase(note);
    }
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
    if (!replaceAt_.empty()) {
        text += "[ReplaceAt]\n";
        for (const auto& [id, share] : replaceAt_) {
            text += Escaped(id, true) + " = " + PercentText(share) + "\n";
        }
    }
    for (const auto& [section, notes] :
         {std::pair{"[PackNotes]\n", &packNotes_}, std::pair{"[RecordNotes]\n", &recordNotes_}}) {
        if (!notes->empty()) {
            text += section;
            for (const auto& [id, note] : *notes) {
                text += Escaped(id, true) + " = " + Escaped(note, false) + "\n";
            }
        }
    }
    if (!retired_.empty()) {
        text += "[Retired]\n";
        for (const std::string& id : retired_) {
            text += Escaped(id, true) + " = yes\n";
        }
    }
    for (const std::string& line : later_) {
        text += line + "\n";
    }
    return text;
}

PackNames PackNames::Parse(std::string_view text, std::vector<std::string>* problems) {
    PackNames names;
    enum class Section {
        None,
        Groups,
        Records,
        ReplaceAt,
        PackNotes,
        RecordNotes,
        Retired,
        Later
    } section = Section::None;
    int lineNumber = 0;
    auto problem = [&](const char* what) {
        if (problems != nullptr) {
            problems->push_back(Format("line %d: %s", lineNumber, what));
        }
    };
    for (const std::string_view raw : SplitLines(text)) {
        ++lineNumber;
        const std::string_view line = Trimmed(raw);
        if (line.empty()) {
            continue;
        }
        if (line.front() == '[') {
            static constexpr std::pair<std::string_view, Section> Known[] = {
                {"[Groups]", Section::Groups},           {"[Records]", Section::Records},
                {"[ReplaceAt]", Section::ReplaceAt},     {"[PackNotes]", Section::PackNotes},
                {"[RecordNotes]", Section::RecordNotes}, {"[Retired]", Section::Retired}};
            section = Section::Later;
            for (const auto& [heading, known] : Known) {
                if (line == heading) {
                    section = known;
                }
            }
            if (section == Section::Later) {
                names.later_.emplace_back(line);
            }
            continue;
        }
        if (section == Section::Later) {
            // Kept as it is for the version that wrote it, comments too.
            names.later_.emplace_back(TrimBlanks(raw));
            continue;
        }
        if (line.front() == '#' || line.front() == ';') {
            continue;
        }
        if (section == Section::ReplaceAt || section == Section::PackNotes ||
            section == Section::RecordNotes || section == Section::Retired) {
            const std::optional<KeyValue> setting = SplitEscapedKey(line);
            if (!setting) {
                problem("no \"=\"");
                continue;
            }
            const std::string id = Unescaped(setting->Key);
            if (section == Section::Retired) {
                if (setting->Value != "yes" || !names.SetRetired(id, true)) {
                    problem("not a pack and \"yes\"");
                }
            } else if (section == Section::ReplaceAt) {
                const std::optional<double> percent = ParseDecimal(setting->Value);
                if (!percent || !names.SetReplaceAt(id, *percent / 100.0)) {
                    problem("not a pack and a share of its rating in %");
                }
            } else if (!(section == Section::PackNotes
                             ? names.SetPackNote(id, Unescaped(setting->Value))
                             : names.SetRecordNote(id, Unescaped(setting->Value)))) {
                problem(section == Section::PackNotes ? "not a pack"
                                                      : "not a record (date time mode)");
            }
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
