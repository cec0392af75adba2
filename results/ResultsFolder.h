#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/CurveFile.h"
#include "records/ResultsFile.h"
#include "results/CapacityHistory.h"
#include "results/CurveFolder.h"
#include "results/CurveStore.h"
#include "results/PackGrouping.h"
#include "results/PackHealth.h"
#include "results/PackNames.h"

namespace voltrex::results {

// What the status bar says of the folder, as numbers; the window words it.
struct FolderStatus {
    bool ResultsExist = false;
    std::string ResultsError;  // the results file exists but cannot be read
    int Records = 0;
    int UnreadableLines = 0;
    long long CurveFiles = 0;  // usable curve files
    long long OtherFiles = 0;  // files in curves/ that are no curve
    // Rows of the curve files that could not be read, and in how many files.
    long long UnreadableCurveRows = 0;
    long long CurvesWithUnreadableRows = 0;
    std::string NamesProblem;  // the first line of the names file that could not be read
};

// What the capacity tab says of a pack's discharges, as numbers.
struct CapacitySummary {
    std::size_t Discharges = 0;
    LocalTime First;
    LocalTime Latest;
    double LatestMilliampHours = 0.0;
    int Rated = 0;  // of the latest discharge; 0 when unknown
    double BestMilliampHours = 0.0;
    double FirstOhms = 0.0;
    double LatestOhms = 0.0;
};

// None for a pack without discharges.
std::optional<CapacitySummary> SummaryOf(const std::vector<CapacityPoint>& points);

// The folder's own files but the curves, read together: the results file
// and the names file.
struct FolderFiles {
    ResultsFile Log;
    PackNames Names;
    std::vector<std::string> NamesProblems;
};
FolderFiles ReadFolderFiles(const std::string& folder, ResultsFormat format);

// Where a file of the folder is.
std::string InFolder(const std::string& folder, const char* name);

// The results window's model of a working folder, without Qt: the results
// file's lines, the curve files, the pack names, the packs they make, which
// curve belongs to which record and pack, and the curves read whole for the
// chart. The windows show it; everything they decide is decided here, so the
// tests check it without a display.
class ResultsFolder {
  public:
    // Reads the files of a folder, forgetting the curves read whole.
    void Open(const std::string& folder);
    // Reads the folder's files again. Curves read whole are kept while their
    // file has not changed.
    void Load();

    // The same in parts, for a reader elsewhere (results/FolderLoader.h):
    // the folder, with nothing read yet; its files; its curves as known so
    // far. Each part is related to the others at once.
    void SetFolder(const std::string& folder);
    void SetFiles(FolderFiles files);
    void SetCurves(std::vector<CurveFile> curves);

    // How the results file is read: as the program writes it, or as a
    // spreadsheet saved it (for this session; the file is never written).
    void SetResultsFormat(ResultsFormat format) { format_ = format; }
    ResultsFormat Format() const { return format_; }

    const std::string& Folder() const { return folder_; }
    const ResultsFile& Log() const { return log_; }
    const PackNames& Names() const { return names_; }
    const PackGrouping& Grouping() const { return grouping_; }
    const std::vector<CurveFile>& Curves() const { return curves_; }
    // The curve file each log line matched, as an index into Curves().
    const std::vector<std::optional<std::size_t>>& CurveOfLine() const { return curveOfLine_; }

    // A curve's pack id: its record's pack, or else the default group (or
    // the group's name) its header makes; empty for a Monitor or a file
    // that is no curve.
    std::string PackOfCurve(std::size_t curve) const;
    // The pack id of a line's record; empty for an unreadable line.
    std::string PackOfLine(std::size_t line) const;

    // The curve read whole, every row: from the store, or read now.
    std::shared_ptr<const CurveFile> WholeCurve(const CurveFile& summary);
    // The bounded store of curves read whole, shared with the chart's worker.
    const std::shared_ptr<CurveStore>& Store() const { return store_; }

    // What names a line across a reload: a record's id, or for a line that
    // is no record its text.
    std::string LineId(std::size_t line) const;
    // The lines that have one of these ids, in file order.
    std::vector<std::size_t> LinesWithIds(const std::vector<std::string>& ids) const;

    FolderStatus Status() const;

    // The names the folder's packs get when the user renames one; none, with
    // the reason in error, when the pack is unknown or cannot be named.
    std::optional<PackNames> RenamedPack(const std::string& packId, const std::string& name,
                                         std::string& error) const;
    // The id the pack has once renamed so.
    std::string RenamedPackId(const std::string& packId, const std::string& name) const;
    // The names with the records of those lines put into the named pack (an
    // empty name: back into their default groups).
    PackNames WithLinesInPack(const std::vector<std::size_t>& lines, const std::string& name) const;
    // Saves the names in the folder's names file and groups the records by
    // them; false with the reason.
    bool SaveNames(const PackNames& names, std::string& error);

    std::string NamesPath() const;

    // How a pack is judged: its owner's threshold, or the default.
    HealthSettings HealthSettingsOf(const std::string& packId) const;
    // The health of every pack, in the grouping's order.
    std::vector<PackHealth> Health() const;

  private:
    void Relate();

    std::string folder_;
    ResultsFormat format_ = ResultsFormat::Program;
    std::vector<CurveFile> curves_;
    ResultsFile log_;
    PackNames names_;
    std::vector<std::string> namesProblems_;
    PackGrouping grouping_;
    CurveFolder curveFolder_;
    std::vector<std::optional<std::size_t>> curveOfLine_;
    std::vector<std::string> curvePack_;
    // Curves read whole for the chart and the exports, the last used kept.
    std::shared_ptr<CurveStore> store_ = std::make_shared<CurveStore>();
};

}  // namespace voltrex::results
