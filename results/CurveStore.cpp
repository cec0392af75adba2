#include "results/CurveStore.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

namespace voltrex::results {

namespace {

bool SameFile(const CurveFile& held, const CurveFile& summary) {
    return held.FileSize == summary.FileSize && held.Modified == summary.Modified;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string ReadAt(std::FILE* file, long at, std::size_t count) {
    std::string bytes(count, '\0');
    if (std::fseek(file, at, SEEK_SET) != 0) {
        return {};
    }
    bytes.resize(std::fread(bytes.data(), 1, count, file));
    return bytes;
}

// The seconds of the first row that starts after `at` (a row starts on a
// line with a number), and where its line starts; none when the bytes read
// from there hold no row.
std::optional<std::pair<int, long>> RowAfter(std::FILE* file, long at) {
    constexpr std::size_t Probe = 512;  // a few rows of about 40 bytes
    const std::string bytes = ReadAt(file, at, Probe);
    std::size_t line = bytes.find('\n');
    while (line != std::string::npos && line + 1 < bytes.size()) {
        const char* begin = bytes.data() + line + 1;
        const char* end = bytes.data() + bytes.size();
        int seconds = 0;
        const auto [next, error] = std::from_chars(begin, end, seconds);
        if (error == std::errc() && next < end && *next == ',') {
            return std::make_pair(seconds, at + static_cast<long>(line) + 1);
        }
        line = bytes.find('\n', line + 1);
    }
    return std::nullopt;
}

}  // namespace

CurveFile ReadCurveSpan(const std::string& path, int from, int to) {
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0) {
        return ReadCurveFile(path);  // says what is wrong with it
    }
    const long size = std::ftell(file.get());
    // The header: the lines before the first row, within the first 64 KB
    // (a header is well under one).
    const std::string head = ReadAt(file.get(), 0, 65536);
    long firstRow = -1;
    for (std::size_t at = 0; at < head.size();) {
        const std::size_t end = head.find('\n', at);
        if (end == std::string::npos) {
            break;
        }
        const char c = head[at];
        if (c >= '0' && c <= '9') {
            firstRow = static_cast<long>(at);
            break;
        }
        at = end + 1;
    }
    if (firstRow < 0) {
        return ReadCurveFile(path);
    }
    // The last place before the span and the first after it: rows come in
    // order of seconds, so a bisection over the bytes finds them.
    const auto bisect = [&](int seconds) {
        long low = firstRow;  // before `seconds`, or the first row
        long high = size;     // at or after it
        while (high - low > 1024) {
            const long middle = low + (high - low) / 2;
            const std::optional<std::pair<int, long>> row = RowAfter(file.get(), middle);
            if (!row || row->first >= seconds) {
                high = middle;
            } else {
                low = middle;
            }
        }
        return std::make_pair(low, high);
    };
    // From a line before the row before the span to the end of the row
    // after it.
    const long start = std::max(firstRow, bisect(from).first - 1024);
    const long stop = std::min(size, bisect(to == INT_MAX ? to : to + 1).second + 1024);
    std::string text = head.substr(0, static_cast<std::size_t>(firstRow));
    std::string span = ReadAt(file.get(), start, static_cast<std::size_t>(stop - start));
    if (start > firstRow) {
        // A part of a line is no row.
        const std::size_t line = span.find('\n');
        span.erase(0, line == std::string::npos ? span.size() : line + 1);
    }
    if (stop < size) {
        const std::size_t line = span.rfind('\n');
        span.erase(line == std::string::npos ? 0 : line + 1);
    }
    text += span;
    CurveFile curve = ParseCurveText(text, true);
    // Only the rows of the span and one on each side of it.
    std::vector<CurveRow>& rows = curve.Rows;
    const auto first = std::lower_bound(rows.begin(), rows.end(), from,
                                        [](const CurveRow& row, int s) { return row.Seconds < s; });
    const auto last = std::upper_bound(first, rows.end(), to,
                                       [](int s, const CurveRow& row) { return s < row.Seconds; });
    rows.erase(last == rows.end() ? last : last + 1, rows.end());
    rows.erase(rows.begin(), first == rows.begin() ? first : first - 1);
    curve.Path = path;
    const std::size_t slash = path.rfind('/');
    curve.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    return curve;
}

std::shared_ptr<const CurveFile> CurveStore::GetSpan(const CurveFile& summary, int from, int to) {
    {
        const std::lock_guard lock(mutex_);
        const auto found = entries_.find(summary.Name);
        if (found != entries_.end() && SameFile(*found->second.Curve, summary)) {
            uses_.splice(uses_.begin(), uses_, found->second.Use);
            return found->second.Curve;
        }
    }
    auto span = std::make_shared<CurveFile>(ReadCurveSpan(summary.Path, from, to));
    span->FileSize = summary.FileSize;
    span->Modified = summary.Modified;
    const std::lock_guard lock(mutex_);
    ++filesRead_;
    return span;
}

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

std::vector<CurveRow> EnvelopeRows(const std::vector<CurveEnvelopePoint>& envelope) {
    std::vector<CurveRow> rows;
    rows.reserve(2 * envelope.size());
    const auto middle = [](const CurveEnvelopePoint& point) {
        return (static_cast<double>(point.MinVolts) + point.MaxVolts) / 2.0;
    };
    for (std::size_t i = 0; i < envelope.size(); ++i) {
        const CurveEnvelopePoint& point = envelope[i];
        const double before = i > 0 ? envelope[i - 1].MilliampHours : point.MilliampHours;
        const bool rising = i + 1 < envelope.size()
                                ? middle(envelope[i + 1]) >= middle(point)
                                : i == 0 || middle(point) >= middle(envelope[i - 1]);
        const double first = rising ? point.MinVolts : point.MaxVolts;
        const double second = rising ? point.MaxVolts : point.MinVolts;
        rows.push_back(CurveRow{point.FromSeconds, first, 0.0, 0, before, 0.0});
        if (point.ToSeconds != point.FromSeconds || first != second) {
            rows.push_back(CurveRow{point.ToSeconds, second, 0.0, 0, point.MilliampHours, 0.0});
        }
    }
    return rows;
}

std::pair<int, int> SecondsOfCharge(const std::vector<CurveEnvelopePoint>& envelope, double from,
                                    double to) {
    if (envelope.empty()) {
        return {0, 0};
    }
    const auto endsAtOrBeyond = [&](double charge) {
        return std::find_if(
            envelope.begin(), envelope.end(),
            [charge](const CurveEnvelopePoint& point) { return point.MilliampHours >= charge; });
    };
    const auto first = endsAtOrBeyond(from);
    const auto last = std::find_if(first, envelope.end(), [to](const CurveEnvelopePoint& point) {
        return point.MilliampHours > to;
    });
    const int start = first == envelope.end() ? envelope.back().FromSeconds : first->FromSeconds;
    const int end = last == envelope.end() ? envelope.back().ToSeconds : last->ToSeconds;
    return {start, std::max(start, end)};
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
