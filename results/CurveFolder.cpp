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

void CurveFolder::Refresh(const std::string& folder, SummaryStore* store,
                          const GlitchFinder& glitches) {
    List(folder, store);
    ReadSome(Left(), store, glitches);
}

void CurveFolder::List(const std::string& folder, SummaryStore* store) {
    if (folder != folder_) {
        entries_.clear();
        folder_ = folder;
    }
    filesRead_ = 0;
    toRead_.clear();
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
        if (known != entries_.end() && known->second.Known && known->second.Size == info.st_size &&
            known->second.Modified == modified) {
            seen.emplace(name, std::move(known->second));
            continue;
        }
        Entry entry;
        if (store != nullptr) {
            if (std::optional<CurveFile> kept = store->Find(path, info.st_size, modified)) {
                entry.Curve = std::move(*kept);
                entry.Known = true;
                entry.Size = info.st_size;
                entry.Modified = modified;
            }
        }
        if (!entry.Known) {
            // Read again; what was known of it stays listed meanwhile.
            if (known != entries_.end()) {
                entry = std::move(known->second);
            }
            toRead_.push_back({name, info.st_size, modified});
        }
        seen.emplace(name, std::move(entry));
    }
    entries_ = std::move(seen);
    // The newest first: a test that just finished is the one looked for.
    std::sort(toRead_.begin(), toRead_.end(),
              [](const ToRead& a, const ToRead& b) { return a.Name > b.Name; });
    Sort();
}

void CurveFolder::ReadSome(int count, SummaryStore* store, const GlitchFinder& glitches) {
    const int reading = std::min(count, Left());
    for (int i = 0; i < reading; ++i) {
        const ToRead& file = toRead_[static_cast<std::size_t>(i)];
        const auto found = entries_.find(file.Name);
        if (found == entries_.end()) {
            continue;
        }
        Entry& entry = found->second;
        entry.Curve = ReadCurveSummary(folder_ + "/" + file.Name, glitches);
        entry.Size = file.Size;
        entry.Modified = file.Modified;
        entry.Curve.FileSize = entry.Size;
        entry.Curve.Modified = entry.Modified;
        entry.Known = true;
        ++filesRead_;
        if (store != nullptr) {
            // The envelope is drawn from the store: thousands of them would
            // take hundreds of megabytes here.
            store->Store(entry.Curve);
            entry.Curve.Envelope.clear();
            entry.Curve.Envelope.shrink_to_fit();
        }
    }
    toRead_.erase(toRead_.begin(), toRead_.begin() + reading);
    if (store != nullptr) {
        store->Flush();
    }
    Sort();
}

void CurveFolder::Sort() {
    curves_.clear();
    curves_.reserve(entries_.size());
    for (const auto& [name, entry] : entries_) {
        if (entry.Known) {
            curves_.push_back(entry.Curve);
        }
    }
    std::stable_sort(curves_.begin(), curves_.end(), CurveOrder);
}

}  // namespace voltrex::results
