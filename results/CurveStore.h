#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
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

    // The rows of the summary's file from second `from` to second `to`, with
    // the last row before and the first after them: from the curve held
    // whole when it is, else read from the file's span alone (found by
    // bisecting the file, its rows being in order of seconds), not kept. A
    // zoom into a few minutes of a hundred hours reads those minutes.
    std::shared_ptr<const CurveFile> GetSpan(const CurveFile& summary, int from, int to);

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

// The rows of the curve file at path from second `from` to second `to`, with
// the row before and the one after; its header as the whole file's. Reads
// the header, a few hundred bytes at each step of a bisection, and the span.
CurveFile ReadCurveSpan(const std::string& path, int from, int to);

// A curve's envelope as rows to draw: each stretch its lowest and its
// highest voltage, at its first and its last second, in the order that
// follows the curve (the lowest first where the curve rises towards the next
// stretch); the charge at a stretch's start is the one the stretch before
// it ended with. The currents and energies are 0.
std::vector<CurveRow> EnvelopeRows(const std::vector<CurveEnvelopePoint>& envelope);

// The seconds an envelope's curve takes to move from `from` to `to` mAh: from
// the start of the first stretch that ends at or beyond `from` to the end of
// the first that ends beyond `to` (the whole curve when it never does).
std::pair<int, int> SecondsOfCharge(const std::vector<CurveEnvelopePoint>& envelope, double from,
                                    double to);

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
