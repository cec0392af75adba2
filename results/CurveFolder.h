#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "records/CurveFile.h"

namespace voltrex::results {

// Where curve summaries are kept from one run to the next, so that a folder
// of thousands of long curves is read whole once (results/CurveSummaryCache.h
// keeps them in SQLite). Find gives a summary only for the file of that
// size and modification time.
class SummaryStore {
  public:
    virtual ~SummaryStore() = default;
    // The summary of the file (without its envelope), when known.
    virtual std::optional<CurveFile> Find(const std::string& path, std::int64_t size,
                                          std::int64_t modified) = 0;
    // Keeps a summary read now, with its envelope.
    virtual void Store(const CurveFile& summary) = 0;
    // Makes what was stored last.
    virtual void Flush() {}
};

// The curve files of a folder's curves/, as summaries (ReadCurveSummary;
// with a store their envelopes stay in the store), sorted by start time.
// Listing reads only the files that are new or have changed (size or
// modification time) since the last listing, or whose summary the store
// does not have; a folder of thousands of tests reloads at once when one
// file is added, and a running test's growing file is summed up again.
class CurveFolder {
  public:
    // Lists folder (the curves/ folder itself) again and reads every file
    // that needs it; a missing folder is an empty list.
    void Refresh(const std::string& folder, SummaryStore* store = nullptr,
                 const GlitchFinder& glitches = nullptr);

    // The same in steps: List finds the files and takes what is known,
    // ReadSome reads up to count of the files left. Curves() holds the
    // files known so far.
    void List(const std::string& folder, SummaryStore* store);
    void ReadSome(int count, SummaryStore* store, const GlitchFinder& glitches);
    int Left() const { return static_cast<int>(toRead_.size()); }
    int Listed() const { return static_cast<int>(entries_.size()); }

    const std::vector<CurveFile>& Curves() const { return curves_; }
    // How many files were read since the last List (for the tests).
    int FilesRead() const { return filesRead_; }

  private:
    // A file as listed: the summary known of it (of the size and time it
    // had when read), while a newer one is read.
    struct Entry {
        std::int64_t Size = -1;
        std::int64_t Modified = 0;
        bool Known = false;
        CurveFile Curve;
    };
    struct ToRead {
        std::string Name;
        std::int64_t Size = -1;
        std::int64_t Modified = 0;
    };
    void Sort();

    std::map<std::string, Entry> entries_;  // by file name
    std::vector<ToRead> toRead_;            // in the order to read them
    std::string folder_;
    std::vector<CurveFile> curves_;
    int filesRead_ = 0;
};

// Orders curves by start, then by name (an Auto Cycle's charge after its
// discharge when both start in the same second, "-2" after the plain name).
bool CurveOrder(const CurveFile& a, const CurveFile& b);

}  // namespace voltrex::results
