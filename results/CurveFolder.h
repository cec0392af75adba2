#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "records/CurveFile.h"

namespace voltrex::results {

// The curve files of a folder's curves/, as summaries (ReadCurveSummary),
// sorted by start time. Refresh reads only the files that are new or have
// changed (size or modification time) since the last refresh, so a folder of
// hundreds of tests reloads at once when one file is added.
class CurveFolder {
  public:
    // Lists folder (the curves/ folder itself) again; a missing folder is an
    // empty list.
    void Refresh(const std::string& folder);

    const std::vector<CurveFile>& Curves() const { return curves_; }
    // How many files Refresh read, the last time (for the tests).
    int FilesRead() const { return filesRead_; }

  private:
    struct Entry {
        std::int64_t Size = -1;
        std::int64_t Modified = 0;
        CurveFile Curve;
    };
    std::map<std::string, Entry> entries_;  // by file name
    std::string folder_;
    std::vector<CurveFile> curves_;
    int filesRead_ = 0;
};

// Orders curves by start, then by name (an Auto Cycle's charge after its
// discharge when both start in the same second, "-2" after the plain name).
bool CurveOrder(const CurveFile& a, const CurveFile& b);

}  // namespace voltrex::results
