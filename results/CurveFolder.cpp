#include "results/CurveFolder.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace voltrex::results {

bool CurveOrder(const CurveFile& a, const CurveFile& b) {
    if (a.StartSeconds != b.StartSeconds) {
        return a.StartSeconds < b.StartSeconds;
    }
    if (a.Name.size() != b.Name.size()) {
        return a.Name.size() < b.Name.size();
    }
    return a.Name < b.Name;
}

void CurveFolder::Refresh(const std::string& folder) {
    if (folder != folder_) {
        entries_.clear();
        folder_ = folder;
    }
    filesRead_ = 0;
    std::map<std::string, Entry> seen;
    std::error_code error;
    std::filesystem::directory_iterator it(folder, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!IsCurveFileName(name)) {
            continue;
        }
        const std::string path = it->path().string();
        struct stat info = {};
        if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            continue;
        }
        const std::int64_t modified =
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        const auto known = entries_.find(name);
        if (known != entries_.end() && known->second.Size == info.st_size &&
            known->second.Modified == modified) {
            seen.emplace(name, std::move(known->second));
            continue;
        }
        Entry entry;
        entry.Size = info.st_size;
        entry.Modified = modified;
        entry.Curve = ReadCurveSummary(path);
        entry.Curve.FileSize = entry.Size;
        entry.Curve.Modified = modified;
        ++filesRead_;
        seen.emplace(name, std::move(entry));
    }
    entries_ = std::move(seen);
    curves_.clear();
    curves_.reserve(entries_.size());
    for (const auto& [name, entry] : entries_) {
        curves_.push_back(entry.Curve);
    }
    std::stable_sort(curves_.begin(), curves_.end(), CurveOrder);
}

}  // namespace voltrex::results
