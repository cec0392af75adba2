#include "results/CurveStore.h"

#include <algorithm>
#include <cmath>

namespace voltrex::results {

namespace {

bool SameFile(const CurveFile& held, const CurveFile& summary) {
    return held.FileSize == summary.FileSize && held.Modified == summary.Modified;
}

}  // namespace

std::shared_ptr<const CurveFile> CurveStore::Get(const CurveFile& summary) {
    {
        const std::lock_guard lock(mutex_);
        const auto found = entries_.find(summary.Name);
        if (found != entries_.end()) {
            if (SameFile(*found->second.Curve, summary)) {
                uses_.splice(uses_.begin(), uses_, found->second.Use);
                return found->second.Curve;
            }
            held_ -= found->second.Curve->Rows.size();
            uses_.erase(found->second.Use);
            entries_.erase(found);
        }
    }
    // Read without the lock: another thread may read another curve meanwhile.
    auto whole = std::make_shared<CurveFile>(ReadCurveFile(summary.Path));
    whole->FileSize = summary.FileSize;
    whole->Modified = summary.Modified;
    std::shared_ptr<const CurveFile> shared = std::move(whole);

    const std::lock_guard lock(mutex_);
    ++filesRead_;
    const auto found = entries_.find(summary.Name);
    if (found != entries_.end()) {
        // Read twice at once: keep the one stored first.
        uses_.splice(uses_.begin(), uses_, found->second.Use);
        return found->second.Curve;
    }
    uses_.push_front(summary.Name);
    entries_.emplace(summary.Name, Entry{shared, uses_.begin()});
    held_ += shared->Rows.size();
    EvictBeyondBudget();
    return shared;
}

void CurveStore::EvictBeyondBudget() {
    // The curve just used stays even when it alone is over the budget: the
    // caller holds it anyway.
    while (held_ > budget_ && uses_.size() > 1) {
        const auto found = entries_.find(uses_.back());
        held_ -= found->second.Curve->Rows.size();
        entries_.erase(found);
        uses_.pop_back();
    }
}

void CurveStore::Clear() {
    const std::lock_guard lock(mutex_);
    entries_.clear();
    uses_.clear();
    held_ = 0;
}

void CurveStore::KeepOnly(const std::vector<CurveFile>& summaries) {
    std::map<std::string, const CurveFile*> present;
    for (const CurveFile& summary : summaries) {
        present.emplace(summary.Name, &summary);
    }
    const std::lock_guard lock(mutex_);
    for (auto it = entries_.begin(); it != entries_.end();) {
        const auto found = present.find(it->first);
        if (found == present.end() || !SameFile(*it->second.Curve, *found->second)) {
            held_ -= it->second.Curve->Rows.size();
            uses_.erase(it->second.Use);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

void CurveStore::SetBudgetRows(std::size_t rows) {
    const std::lock_guard lock(mutex_);
    budget_ = rows;
    EvictBeyondBudget();
}

std::size_t CurveStore::BudgetRows() const {
    const std::lock_guard lock(mutex_);
    return budget_;
}

std::size_t CurveStore::HeldRows() const {
    const std::lock_guard lock(mutex_);
    return held_;
}

std::size_t CurveStore::HeldCurves() const {
    const std::lock_guard lock(mutex_);
    return entries_.size();
}

std::size_t CurveStore::FilesRead() const {
    const std::lock_guard lock(mutex_);
    return filesRead_;
}

std::vector<std::size_t> DecimatedRows(const std::vector<CurveRow>& rows,
                                       const std::function<double(const CurveRow&)>& xOf,
                                       double from, double to, int columns, std::size_t allUpTo) {
    std::vector<std::size_t> drawn;
    if (rows.empty() || !(to > from) || columns < 1) {
        return drawn;
    }
    // The span's rows, [first, last).
    const auto begin =
        std::lower_bound(rows.begin(), rows.end(), from,
                         [&](const CurveRow& row, double value) { return xOf(row) < value; });
    const auto end = std::upper_bound(
        begin, rows.end(), to, [&](double value, const CurveRow& row) { return value < xOf(row); });
    const auto first = static_cast<std::size_t>(begin - rows.begin());
    const auto last = static_cast<std::size_t>(end - rows.begin());
    if (first > 0) {
        drawn.push_back(first - 1);
    }
    if (last - first <= allUpTo) {
        for (std::size_t i = first; i < last; ++i) {
            drawn.push_back(i);
        }
    } else {
        // The span's first and last rows always: the curve starts and ends
        // where it does.
        drawn.push_back(first);
        const double perColumn = (to - from) / columns;
        std::size_t i = first;
        while (i < last) {
            const auto column =
                static_cast<long long>(std::floor((xOf(rows[i]) - from) / perColumn));
            std::size_t lowest = i;
            std::size_t highest = i;
            for (++i; i < last; ++i) {
                const auto at =
                    static_cast<long long>(std::floor((xOf(rows[i]) - from) / perColumn));
                if (at != column && at < columns) {
                    break;  // the last column holds the rows at `to` too
                }
                if (rows[i].Volts < rows[lowest].Volts) {
                    lowest = i;
                }
                if (rows[i].Volts > rows[highest].Volts) {
                    highest = i;
                }
            }
            for (const std::size_t row : {std::min(lowest, highest), std::max(lowest, highest)}) {
                if (row != drawn.back()) {
                    drawn.push_back(row);
                }
            }
        }
        if (drawn.back() != last - 1) {
            drawn.push_back(last - 1);
        }
    }
    if (last < rows.size()) {
        drawn.push_back(last);
    }
    return drawn;
}

}  // namespace voltrex::results
