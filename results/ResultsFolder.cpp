#include "results/ResultsFolder.h"

#include <algorithm>

#include "results/CurveMatch.h"

namespace voltrex::results {

std::string InFolder(const std::string& folder, const char* name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

FolderFiles ReadFolderFiles(const std::string& folder, ResultsFormat format) {
    FolderFiles files;
    files.Log = ReadResultsFile(InFolder(folder, ResultsFileName), format);
    files.Names = PackNames::Load(InFolder(folder, PackNamesFileName), &files.NamesProblems);
    return files;
}

std::optional<CapacitySummary> SummaryOf(const std::vector<CapacityPoint>& points) {
    if (points.empty()) {
        return std::nullopt;
    }
    const CapacityPoint& last = points.back();
    // A mistyped record is no best.
    const auto best = std::max_element(
        points.begin(), points.end(), [](const CapacityPoint& a, const CapacityPoint& b) {
            const bool aOut = a.Mark == CapacityMark::Implausible;
            const bool bOut = b.Mark == CapacityMark::Implausible;
            return aOut != bOut ? aOut : a.MilliampHours < b.MilliampHours;
        });
    CapacitySummary summary;
    summary.Discharges = points.size();
    summary.First = points.front().Time;
    summary.Latest = last.Time;
    summary.LatestMilliampHours = last.MilliampHours;
    summary.Rated = last.Rated;
    summary.BestMilliampHours = best->MilliampHours;
    summary.FirstOhms = points.front().Ohms;
    summary.LatestOhms = last.Ohms;
    return summary;
}

void ResultsFolder::Open(const std::string& folder) {
    SetFolder(folder);
    Load();
}

void ResultsFolder::SetFolder(const std::string& folder) {
    folder_ = folder;
    store_->Clear();
    log_ = ResultsFile{};
    names_ = PackNames{};
    namesProblems_.clear();
    curves_.clear();
    Relate();
}

void ResultsFolder::Load() {
    FolderFiles files = ReadFolderFiles(folder_, format_);
    log_ = std::move(files.Log);
    names_ = std::move(files.Names);
    namesProblems_ = std::move(files.NamesProblems);
    curveFolder_.Refresh(InFolder(folder_, CurvesFolderName));
    SetCurves(curveFolder_.Curves());
}

void ResultsFolder::SetFiles(FolderFiles files) {
    log_ = std::move(files.Log);
    names_ = std::move(files.Names);
    namesProblems_ = std::move(files.NamesProblems);
    Relate();
}

void ResultsFolder::SetCurves(std::vector<CurveFile> curves) {
    curves_ = std::move(curves);
    // Curves read whole that are gone or have changed are read again when
    // next shown.
    store_->KeepOnly(curves_);
    Relate();
}

void ResultsFolder::Relate() {
    const std::vector<CurveFile>& curves = curves_;
    curveOfLine_ = MatchCurves(log_, curves);
    grouping_ = GroupRecords(log_, names_);

    // A curve's pack: its record's, or else the default group it would be.
    curvePack_.assign(curves.size(), std::string());
    for (std::size_t line = 0; line < curveOfLine_.size(); ++line) {
        if (const std::optional<std::size_t>& curve = curveOfLine_[line]) {
            curvePack_[*curve] = PackOfLine(line);
        }
    }
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const CurveFile& curve = curves[i];
        if (!curvePack_[i].empty() || curve.Type.empty()) {
            continue;
        }
        const PackKey key{curve.Type, curve.Rated, curve.Cells};
        const std::optional<std::string> name = names_.GroupName(key);
        curvePack_[i] = name ? NamedPackId(*name) : GroupPackId(key);
    }
}

std::string ResultsFolder::PackOfCurve(std::size_t curve) const {
    return curve < curvePack_.size() ? curvePack_[curve] : std::string();
}

std::string ResultsFolder::PackOfLine(std::size_t line) const {
    if (line < grouping_.PackOfLine.size()) {
        if (const std::optional<std::size_t>& pack = grouping_.PackOfLine[line]) {
            return grouping_.Packs[*pack].Id;
        }
    }
    return std::string();
}

std::shared_ptr<const CurveFile> ResultsFolder::WholeCurve(const CurveFile& summary) {
    return store_->Get(summary);
}

std::string ResultsFolder::LineId(std::size_t line) const {
    const ResultLine& entry = log_.Lines.at(line);
    // A line break cannot be part of a line's text, so no record's id is
    // ever taken for an unreadable line's.
    return entry.Readable ? entry.Record.Id() : "\n" + entry.Text;
}

std::vector<std::size_t> ResultsFolder::LinesWithIds(const std::vector<std::string>& ids) const {
    std::vector<std::size_t> lines;
    for (std::size_t i = 0; i < log_.Lines.size(); ++i) {
        if (std::find(ids.begin(), ids.end(), LineId(i)) != ids.end()) {
            lines.push_back(i);
        }
    }
    return lines;
}

FolderStatus ResultsFolder::Status() const {
    FolderStatus status;
    status.ResultsExist = log_.Exists;
    status.ResultsError = log_.Error;
    status.Records = log_.RecordCount();
    status.UnreadableLines = log_.UnreadableCount();
    const std::vector<CurveFile>& curves = curves_;
    status.CurveFiles =
        std::count_if(curves.begin(), curves.end(), [](const CurveFile& c) { return c.Usable(); });
    status.OtherFiles = static_cast<long long>(curves.size()) - status.CurveFiles;
    for (const CurveFile& curve : curves) {
        if (curve.Usable() && curve.UnreadableRows > 0) {
            status.UnreadableCurveRows += curve.UnreadableRows;
            ++status.CurvesWithUnreadableRows;
        }
    }
    if (!namesProblems_.empty()) {
        status.NamesProblem = namesProblems_.front();
    }
    return status;
}

std::optional<PackNames> ResultsFolder::RenamedPack(const std::string& packId,
                                                    const std::string& name,
                                                    std::string& error) const {
    const std::optional<std::size_t> index = grouping_.Find(packId);
    if (!index) {
        error = "There is no such pack.";
        return std::nullopt;
    }
    const Pack& pack = grouping_.Packs[*index];
    PackNames names = names_;
    if (pack.Named) {
        names.RenamePack(pack.Name, name);
    } else if (!pack.Key) {
        error = "There is no such pack.";  // a pack without a name is a group of one key
        return std::nullopt;
    } else if (!names.SetGroupName(*pack.Key, name)) {
        error = "A pack of the cell type \"" + pack.Key->Type + "\" cannot be named.";
        return std::nullopt;
    }
    names.MovePackSettings(packId, RenamedPackId(packId, name));
    return names;
}

std::string ResultsFolder::RenamedPackId(const std::string& packId, const std::string& name) const {
    const std::optional<std::size_t> index = grouping_.Find(packId);
    const std::string clean = CleanName(name);
    if (clean.empty() && index) {
        if (const std::optional<PackKey>& key = grouping_.Packs[*index].Key) {
            return GroupPackId(*key);
        }
    }
    return NamedPackId(clean);
}

PackNames ResultsFolder::WithLinesInPack(const std::vector<std::size_t>& lines,
                                         const std::string& name) const {
    PackNames names = names_;
    for (const std::size_t line : lines) {
        if (line < log_.Lines.size() && log_.Lines[line].Readable) {
            names.SetRecordPack(log_.Lines[line].Record.Id(), name);
        }
    }
    return names;
}

bool ResultsFolder::SaveNames(const PackNames& names, std::string& error) {
    if (!names.Save(NamesPath(), error)) {
        return false;
    }
    names_ = names;
    namesProblems_.clear();
    Relate();
    return true;
}

HealthSettings ResultsFolder::HealthSettingsOf(const std::string& packId) const {
    HealthSettings settings;
    settings.ReplaceAt = names_.ReplaceAt(packId).value_or(DefaultReplaceAt);
    return settings;
}

std::vector<PackHealth> ResultsFolder::Health() const {
    std::vector<PackHealth> health;
    health.reserve(grouping_.Packs.size());
    for (const Pack& pack : grouping_.Packs) {
        health.push_back(HealthOf(log_, pack, HealthSettingsOf(pack.Id)));
    }
    return health;
}

std::string ResultsFolder::NamesPath() const {
    return InFolder(folder_, PackNamesFileName);
}

}  // namespace voltrex::results
