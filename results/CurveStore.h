#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "records/CurveFile.h"

namespace voltrex::results {

// The curves the chart draws, read whole, in a bounded store: a ten-hour
// charge is 36,000 rows and a 100-hour Monitor 360,000, so a folder of
// thousands of tests never fits in memory at once. The store keeps the
// curves used last up to a budget of rows and forgets the oldest beyond it;
// a curve asked for again is read again. What a caller still holds stays
// valid (shared), so eviction never pulls rows from under a chart.
//
// Safe to use from several threads: the chart reads and decimates in a
// worker while the window's thread asks for a curve to export.
class CurveStore {
  public:
    // About 48 bytes a row: the default holds some 50 MB of rows, a dozen
    // ten-hour tests or three 100-hour Monitors.
    static constexpr std::size_t DefaultBudgetRows = 1'000'000;

    explicit CurveStore(std::size_t budgetRows = DefaultBudgetRows) : budget_(budgetRows) {}

    // The curve of the summary read whole: from the store while its file
    // has the size and time the summary saw, else read now and kept.
    std::shared_ptr<const CurveFile> Get(const CurveFile& summary);

    // Forgets every curve (another folder).
    void Clear();
    // Forgets the curves whose file is gone or no longer has the size and
    // time of its summary.
    void KeepOnly(const std::vector<CurveFile>& summaries);

    void SetBudgetRows(std::size_t rows);
    std::size_t BudgetRows() const;
    // The rows held now, and by how many curves.
    std::size_t HeldRows() const;
    std::size_t HeldCurves() const;
    // How many files Get has read (for the tests).
    std::size_t FilesRead() const;

  private:
    struct Entry {
        std::shared_ptr<const CurveFile> Curve;
        std::list<std::string>::iterator Use;  // its place in uses_
    };
    void EvictBeyondBudget();  // with the lock held

    mutable std::mutex mutex_;
    std::size_t budget_;
    std::size_t held_ = 0;
    std::size_t filesRead_ = 0;
    std::map<std::string, Entry> entries_;  // by file name
    std::list<std::string> uses_;           // the most recent use first
};

// The rows of a curve that draw it at a width of `columns` pixels between x
// values from and to, as indices in row order: where the span holds no more
// than `allUpTo` rows, every row; else in each column the row with the
// lowest and the one with the highest voltage (so that a peak or a glitch of
// one second is never lost) and the span's first and last rows; and always
// the last row before the span and the first after it, so the line runs on to
// the edges. xOf gives a row's x and must
// not fall from one row to the next (elapsed time, the charge moved).
std::vector<std::size_t> DecimatedRows(const std::vector<CurveRow>& rows,
                                       const std::function<double(const CurveRow&)>& xOf,
                                       double from, double to, int columns, std::size_t allUpTo);

}  // namespace voltrex::results
