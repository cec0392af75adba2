#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "records/ResultsFile.h"
#include "results/PackNames.h"

namespace voltrex::results {

// The records of one pack.
struct Pack {
    // Stable while the names stay: "name:<name>" for a named pack,
    // "group:<type>,<rated>,<cells>" for a default group without a name.
    std::string Id;
    std::string Name;  // the user's name, or the group's label
    bool Named = false;
    // The default group it is, when all its records come from one (a named
    // group, or records the user put together from one group); renaming it
    // names that group.
    std::optional<PackKey> Key;
    std::vector<std::size_t> Lines;  // indices into the log's lines, in file order
    std::int64_t Latest = 0;         // calendar second of its latest record
};

struct PackGrouping {
    std::vector<Pack> Packs;  // latest tested first
    // The pack of each line of the log; none for an unreadable line.
    std::vector<std::optional<std::size_t>> PackOfLine;

    // The pack with that id, if there is one.
    std::optional<std::size_t> Find(const std::string& id) const;
};

// The ids of packs: a default group without a name, and a named pack.
std::string GroupPackId(const PackKey& key);
std::string NamedPackId(const std::string& name);

// Groups the records: a record the user put into a named pack belongs to it;
// every other record to its default group (type, rated capacity, cells),
// under the group's name if it has one. Packs of the same name are one pack:
// the user says which records belong together.
PackGrouping GroupRecords(const ResultsFile& log, const PackNames& names);

}  // namespace voltrex::results
