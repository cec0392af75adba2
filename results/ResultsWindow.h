#pragma once

#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "results/CurveFile.h"
#include "results/CurveFolder.h"
#include "results/PackGrouping.h"
#include "results/PackNames.h"
#include "results/ResultsLog.h"

class QAction;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTabWidget;
class QTableView;
class QTreeWidget;
class QTreeWidgetItem;

namespace voltrex::results {

class CapacityChart;
class CurveChartView;
class FolderWatcher;
class RecordsFilter;
class RecordsModel;

// The results window: the records of a working folder's Voltrex2.csv as a
// table, a pack's capacity over time, and the curves of its tests overlaid.
// It reads the main program's files and never writes them; the names the
// user gives packs go into a file of its own beside them. It follows the
// folder while open: a test that finishes in the main program shows up.
class ResultsWindow : public QMainWindow {
    Q_OBJECT

  public:
    enum Tab { RecordsTab, CapacityTab, CurvesTab };

    explicit ResultsWindow(QWidget* parent = nullptr);
    ~ResultsWindow() override;

    // Shows the folder's files and follows them from now on.
    void OpenFolder(const QString& folder);
    // Reads the files again, keeping what the user has chosen where it is
    // still there: the selected records, the packs shown, the checked curves.
    void Reload();
    const QString& Folder() const { return folder_; }

    // What the window shows, for its tests and the screenshot tour.
    const ResultsLog& Log() const { return log_; }
    const PackGrouping& Grouping() const { return grouping_; }
    const PackNames& Names() const { return names_; }
    const std::vector<CurveFile>& CurveFiles() const { return curveFolder_.Curves(); }
    // The curve file each log line matched, as an index into CurveFiles().
    const std::vector<std::optional<std::size_t>>& CurveOfLine() const { return curveOfLine_; }
    QTabWidget* Tabs() const { return tabs_; }
    QTableView* RecordsTable() const { return table_; }
    RecordsModel* Records() const { return model_; }
    RecordsFilter* Filter() const { return filter_; }
    QComboBox* RecordsPackBox() const { return recordsPack_; }
    QComboBox* ModeBox() const { return mode_; }
    QLineEdit* FindEdit() const { return find_; }
    QComboBox* CapacityPackBox() const { return capacityPack_; }
    CapacityChart* Capacity() const { return capacity_; }
    QLabel* CapacitySummary() const { return capacitySummary_; }
    QComboBox* CurvesPackBox() const { return curvesPack_; }
    QTreeWidget* CurveList() const { return curveList_; }
    CurveChartView* Curves() const { return curves_; }
    QLabel* Readout() const { return readout_; }
    QRadioButton* AgainstTime() const { return againstTime_; }
    QRadioButton* AgainstCharge() const { return againstCharge_; }
    QLabel* StatusText() const { return status_; }
    FolderWatcher& Watcher() const { return *watcher_; }
    // The chart of the tab shown; none on the records tab.
    QChartView* CurrentChart() const;

    // The window's commands without their dialogs. The ones that can fail
    // return false with the reason in error.
    bool ExportChartPng(const QString& path, QString& error);
    bool ExportChartSvg(const QString& path, QString& error);
    // The checked curves, every row, in the long layout (results/CurveExport.h).
    bool ExportCurvesCsv(const QString& path, QString& error);
    bool RenamePack(const QString& packId, const QString& name, QString& error);
    // Puts the records of those log lines into the named pack (an empty name:
    // back into their default groups).
    bool PutIntoPack(const std::vector<std::size_t>& lines, const QString& name, QString& error);
    // Checks exactly the curves of those log lines and shows them.
    void ShowCurvesOfLines(const std::vector<std::size_t>& lines);
    void SetCheckedCurves(const QStringList& names);
    QStringList CheckedCurves() const;
    std::vector<std::size_t> SelectedLines() const;
    void SelectLines(const std::vector<std::size_t>& lines);
    void ShowPackHistory(const QString& packId);

  private:
    void BuildRecordsTab();
    void BuildCapacityTab();
    void BuildCurvesTab();
    void BuildMenus();
    void Load();
    void FillPackBox(QComboBox* box, bool withAll, const QString& keep);
    void FillCurveList();
    void UpdateSpans();
    void UpdateReadout();
    void UpdateCapacity();
    void UpdateStatus();
    void UpdateActions();
    void Replot();
    void CurveItemChanged(QTreeWidgetItem* item);
    void FilterCurveList();
    std::shared_ptr<const CurveFile> WholeCurve(const CurveFile& summary);
    QString PackOfCurve(std::size_t curve) const;
    std::optional<std::size_t> CurrentLine() const;
    QString CurrentPackId() const;
    bool SaveNames(const PackNames& names, QString& error);

    // The commands with their dialogs.
    void ChooseFolder();
    void ExportPngClicked();
    void ExportSvgClicked();
    void ExportCsvClicked();
    void RenamePackClicked();
    void PutIntoPackClicked();
    void TakeOutOfPackClicked();
    void ShowCurvesClicked();
    void ShowHistoryClicked();
    void AboutClicked();
    QString SaveName(const QString& title, const QString& fileName, const QString& filter);
    void ShowError(const QString& text);

    QString folder_;
    ResultsLog log_;
    PackNames names_;
    std::vector<std::string> namesProblems_;
    PackGrouping grouping_;
    CurveFolder curveFolder_;
    std::vector<std::optional<std::size_t>> curveOfLine_;
    std::vector<QString> curvePack_;  // the pack id of each curve ("" for none)
    // Curves read whole for the chart, by file name.
    std::map<std::string, std::shared_ptr<const CurveFile>> wholeCurves_;
    QSet<QString> checked_;
    bool filling_ = false;
    QTimer replot_;

    QTabWidget* tabs_;
    RecordsModel* model_;
    RecordsFilter* filter_;
    QTableView* table_;
    QComboBox* recordsPack_;
    QComboBox* mode_;
    QLineEdit* find_;
    QLabel* shownCount_;
    QComboBox* capacityPack_;
    QLabel* capacitySummary_;
    CapacityChart* capacity_;
    QComboBox* curvesPack_;
    QTreeWidget* curveList_;
    CurveChartView* curves_;
    QLabel* readout_;
    QWidget* readoutArea_;
    QRadioButton* againstTime_;
    QRadioButton* againstCharge_;
    QLabel* status_;
    FolderWatcher* watcher_;

    QAction* exportPng_;
    QAction* exportSvg_;
    QAction* exportCsv_;
    QAction* renamePack_;
    QAction* putIntoPack_;
    QAction* takeOut_;
    QAction* showCurves_;
    QAction* resetZoom_;
};

}  // namespace voltrex::results
