#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "records/ResultsFile.h"

namespace voltrex::results {

// The results window's own file in the folder. The main program's files
// (Voltrex2.ini, Voltrex2.csv) are never written by it.
inline constexpr const char* PackNamesFileName = "Voltrex2Results.ini";

// A pack is due for replacing below this share of its rating unless its
// owner chose otherwise (the usual pass mark of battery analysers).
inline constexpr double DefaultReplaceAt = 0.8;
// The lowest threshold an owner can choose: 1 % of the rating.
inline constexpr double LeastReplaceAt = 0.01;

// What groups records by default: a pack is its cell type, rated capacity and
// number of cells, as the user entered them for the test.
struct PackKey {
    std::string Type;
    int Rated = 0;
    int Cells = 0;

    static PackKey Of(const ResultRecord& record) {
        return {record.Type, record.Rated, record.Cells};
    }
    auto operator<=>(const PackKey&) const = default;
    bool operator==(const PackKey&) const = default;

    // "NiMH 2000 mAh × 7" (the multiplication sign in UTF-8).
    std::string Label() const;
};

// The user's names for packs: a name for a default group, and, for two packs
// alike in type, capacity and cells, the records the user has put into a
// named pack of their own.
//
// Kept in the folder's Voltrex2Results.ini:
//
//   # Voltrex II Results: the names of packs
//   [Groups]
//   NiMH,2000,7 = Transmitter
//   [Records]
//   2026-12-08 14:15:03 DIS = Receiver B
//   [ReplaceAt]
//   name:Transmitter = 75
//   [PackNotes]
//   name:Transmitter = Cell 3 swapped\nin May
//   [RecordNotes]
//   2026-12-08 14:15:03 DIS = left in the car overnight
//   [Retired]
//   name:Receiver = yes
//
// A group's key is type, rated capacity and cells; a record's is its time
// and mode; a pack's settings are keyed by its id (results/PackGrouping.h),
// an "=" or "\" in it written "\=", "\\". Names are one line of UTF-8
// text; a note's line breaks are written "\n". The sections of a later
// version are kept as they are.
class PackNames {
  public:
    std::optional<std::string> GroupName(const PackKey& key) const;
    // An empty name takes the name away. A name that cannot be kept (a type
    // with "=" or "," or a line break in it) is refused: false.
    bool SetGroupName(const PackKey& key, std::string_view name);

    std::optional<std::string> RecordPack(const std::string& recordId) const;
    // Puts the record into the pack of that name; an empty name puts it back
    // into its default group.
    void SetRecordPack(const std::string& recordId, std::string_view name);

    // Gives every group and record that has the old name the new one; an
    // empty new name takes the name away (its records go back to their
    // default groups).
    void RenamePack(std::string_view oldName, std::string_view newName);

    // The share of its rating below which the pack is due for replacing, if
    // its owner chose one, to a thousandth of a percent. A share outside
    // [LeastReplaceAt, 1] is refused: false; none takes the choice away.
    std::optional<double> ReplaceAt(const std::string& packId) const;
    bool SetReplaceAt(const std::string& packId, std::optional<double> share);

    // Short notes of a pack and of a record; an empty note takes it away.
    // A note for what is no pack or record id is refused: false.
    std::string PackNote(const std::string& packId) const;
    bool SetPackNote(const std::string& packId, std::string_view note);
    std::string RecordNote(const std::string& recordId) const;
    bool SetRecordNote(const std::string& recordId, std::string_view note);

    // A pack its owner no longer uses: kept out of the overview and the
    // sets, its history kept. False for what is no pack id.
    bool Retired(const std::string& packId) const { return retired_.count(packId) != 0; }
    bool SetRetired(const std::string& packId, bool retired);

    // A pack's threshold, note and retirement go with it when its id changes
    // (a group named, a pack renamed); those the new id had already stay.
    void MovePackSettings(const std::string& oldId, const std::string& newId);

    bool Empty() const {
        return groups_.empty() && records_.empty() && replaceAt_.empty() && packNotes_.empty() &&
               recordNotes_.empty() && retired_.empty() && later_.empty();
    }
    bool operator==(const PackNames&) const = default;

    // The file's text, and back. Lines that cannot be read are left out of
    // the names and described in problems (when given).
    std::string Text() const;
    static PackNames Parse(std::string_view text, std::vector<std::string>* problems = nullptr);

    // Reads the file; a missing file holds no names.
    static PackNames Load(const std::string& path, std::vector<std::string>* problems = nullptr);
    // Writes the file whole or not at all: into a new file beside it, synced,
    // then renamed over the old one, so a crash or a full disk leaves the old
    // names as they were. False with the reason in error.
    bool Save(const std::string& path, std::string& error) const;

  private:
    std::map<PackKey, std::string> groups_;
    std::map<std::string, std::string> records_;
    std::map<std::string, double> replaceAt_;
    std::map<std::string, std::string> packNotes_;
    std::map<std::string, std::string> recordNotes_;
    std::set<std::string> retired_;
    // The lines of sections this version does not know, headings included.
    std::vector<std::string> later_;
};

// A note as it can be kept: its lines without blanks at their ends, other
// control characters as spaces.
std::string CleanNote(std::string_view note);

// A name as it can be kept: one line, without blanks at its ends.
std::string CleanName(std::string_view name);

}  // namespace voltrex::results
