#include "results/PackGrouping.h"

#include <algorithm>
#include <map>

#include "platform/CFormat.h"

namespace voltrex::results {

std::optional<std::size_t> PackGrouping::Find(const std::string& id) const {
    for (std::size_t i = 0; i < Packs.size(); ++i) {
        if (Packs[i].Id == id) {
            return i;
        }
    }
    return std::nullopt;
}

std::string GroupPackId(const PackKey& key) {
    return Format("group:%s,%d,%d", key.Type.c_str(), key.Rated, key.Cells);
}

std::string NamedPackId(const std::string& name) {
    return "name:" + name;
}

PackGrouping GroupRecords(const ResultsFile& log, const PackNames& names) {
    PackGrouping grouping;
    grouping.PackOfLine.resize(log.Lines.size());
    std::map<std::string, std::size_t> byId;
    for (std::size_t line = 0; line < log.Lines.size(); ++line) {
        if (!log.Lines[line].Readable) {
            continue;
        }
        const ResultRecord& record = log.Lines[line].Record;
        const PackKey key = PackKey::Of(record);
        std::optional<std::string> name = names.RecordPack(record.Id());
        if (!name) {
            name = names.GroupName(key);
        }
        const std::string id = name ? NamedPackId(*name) : GroupPackId(key);
        auto [found, added] = byId.emplace(id, grouping.Packs.size());
        if (added) {
            Pack pack;
            pack.Id = id;
            pack.Name = name ? *name : key.Label();
            pack.Named = name.has_value();
            pack.Key = key;
            grouping.Packs.push_back(std::move(pack));
        }
        Pack& pack = grouping.Packs[found->second];
        if (pack.Key && !(*pack.Key == key)) {
            pack.Key.reset();
        }
        pack.Lines.push_back(line);
        pack.Latest = std::max(pack.Latest, record.Seconds);
        grouping.PackOfLine[line] = found->second;
    }
    // Latest tested first: the pack on the charger now leads the list.
    std::vector<std::size_t> order(grouping.Packs.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return grouping.Packs[a].Latest > grouping.Packs[b].Latest;
    });
    std::vector<std::size_t> position(order.size());
    std::vector<Pack> sorted;
    sorted.reserve(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        position[order[i]] = i;
        sorted.push_back(std::move(grouping.Packs[order[i]]));
    }
    grouping.Packs = std::move(sorted);
    for (auto& pack : grouping.PackOfLine) {
        if (pack) {
            pack = position[*pack];
        }
    }
    return grouping;
}

}  // namespace voltrex::results
