#pragma once

#include <QMainWindow>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "results/ResultsFolder.h"

class QAction;
class QChartView;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QRadioButton;
class QTabWidget;
class QTableView;
class QTreeWidget;

namespace voltrex::results {

class CapacityChart;
class CapacityPage;
class CurveChartView;
class CurvesPage;
class FolderLoader;
class FolderWatcher;
class PacksPage;
class RecordsFilter;
class RecordsModel;
class RecordsPage;

// The two formats a chart is exported in.
enum class ChartFormat { Png, Svg };

// The results window: the records of a working folder's Voltrex2.csv as a
// table, every pack's health, a pack's capacity over time, and the curves of
// its tests overlaid.
// It reads the main program's files and never writes them; the names the
// user gives packs go into a file of its own beside them. It follows the
// folder while open: a test that finishes in the main program shows up.
//
// What it shows is a ResultsFolder (results/ResultsFolder.h, no Qt); each tab
// is a view of its own (RecordsPage, PacksPage, CapacityPage, CurvesPage); this class wires
// them together, and its menus (ResultsMenus.cpp) and commands with their
// dialogs (ResultsCommands.cpp) are in files of their own.
class ResultsWindow : public QMainWindow {
    Q_OBJECT

  public:
    enum Tab { RecordsTab, PacksTab, CapacityTab, CurvesTab };

    explicit ResultsWindow(QWidget* parent = nullptr);
    ~ResultsWindow() override;

    // Shows the folder's files and follows them from now on. The files are
    // read on a thread of their own: the records show as soon as they are
    // read, the curves as they are summed up.
    void OpenFolder(const QString& folder);
    // Reads the files again, keeping what the user has chosen where it is
    // still there: the selected records, the packs shown, the checked curves.
    void Reload();
    const QString& Folder() const { return folder_; }
    // Whether the files are being read.
    bool Loading() const;
    // Lets the window's events run until the files are read (for the tests
    // and the screenshot tour); false when that took longer than timeoutMs.
    bool WaitUntilLoaded(int timeoutMs = 20000);
    // The question whether to read a spreadsheet's save of the results file
    // as such, while it is asked.
    QMessageBox* FormatQuestion() const { return formatQuestion_; }

    // What the window shows, for its tests and the screenshot tour.
    const ResultsFolder& Model() const { return model_; }
    const ResultsFile& Log() const { return model_.Log(); }
    const PackGrouping& Grouping() const { return model_.Grouping(); }
    const PackNames& Names() const { return model_.Names(); }
    const std::vector<CurveFile>& CurveFiles() const { return model_.Curves(); }
    // The curve file each log line matched, as an index into CurveFiles().
    const std::vector<std::optional<std::size_t>>& CurveOfLine() const {
        return model_.CurveOfLine();
    }
    QTabWidget* Tabs() const { return tabs_; }
    QTableView* RecordsTable() const;
    RecordsModel* Records() const { return records_; }
    RecordsFilter* Filter() const { return filter_; }
    QComboBox* RecordsPackBox() const;
    QComboBox* ModeBox() const;
    QLineEdit* FindEdit() const;
    // "N of M shown" above the records.
    QLabel* ShownCount() const;
    PacksPage* Packs() const { return packsPage_; }
    QComboBox* CapacityPackBox() const;
    CapacityChart* Capacity() const;
    QLabel* CapacitySummary() const;
    QCheckBox* CapacityFromZero() const;
    QComboBox* CurvesPackBox() const;
    QTreeWidget* CurveList() const;
    CurveChartView* Curves() const;
    QLabel* Readout() const;
    QRadioButton* AgainstTime() const;
    QRadioButton* AgainstCharge() const;
    QLabel* StatusText() const { return status_; }
    FolderWatcher& Watcher() const { return *watcher_; }
    // The chart of the tab shown; none on the records tab.
    QChartView* CurrentChart() const;

    // The window's commands without their dialogs. The ones that can fail
    // return false with the reason in error.
    bool ExportChart(ChartFormat format, const QString& path, QString& error);
    bool ExportChartPng(const QString& path, QString& error) {
        return ExportChart(ChartFormat::Png, path, error);
    }
    bool ExportChartSvg(const QString& path, QString& error) {
        return ExportChart(ChartFormat::Svg, path, error);
    }
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
    // The owner's threshold of a pack (a share of its rating; none: the
    // default) and the notes of a pack and of a log line's record, kept in
    // the window's own file.
    bool SetReplaceAt(const QString& packId, std::optional<double> share, QString& error);
    bool SetPackNote(const QString& packId, const QString& note, QString& error);
    // A pack taken out of use (kept out of the overview and the sets) or back.
    bool SetRetired(const QString& packId, bool retired, QString& error);
    bool SetRecordNote(std::size_t line, const QString& note, QString& error);

  private:
    void BuildMenus();
    // What changed in the model: the records may have, or only the curves
    // (while their summaries are first read, a batch four times a second).
    enum class Changed { Records, CurvesOnly };
    void Load(Changed changed = Changed::Records);
    // Shows the model after change, keeping what the user has chosen.
    void Reshow(const std::function<void()>& change, Changed changed = Changed::Records);
    // What the reader hands over.
    void FilesRead(const std::shared_ptr<FolderFiles>& files);
    void CurvesRead(const std::shared_ptr<std::vector<CurveFile>>& curves, int done, int total);
    void AskFormat();
    void UpdateSpans();
    void UpdateStatus();
    void UpdateActions();
    QString CurrentPackId() const;
    bool SaveNames(const PackNames& names, QString& error);

    // The commands with their dialogs (ResultsCommands.cpp).
    void ChooseFolder();
    void ExportChartClicked(ChartFormat format);
    void ExportCsvClicked();
    void RenamePackClicked();
    void PutIntoPackClicked();
    void TakeOutOfPackClicked();
    void ShowCurvesClicked();
    void ShowHistoryClicked();
    void PackReportClicked();
    void PackLabelClicked();
    void AboutClicked();
    QString SaveName(const QString& title, const QString& fileName, const QString& filter);
    void ShowError(const QString& text);

    QString folder_;
    ResultsFolder model_;
    FolderLoader* loader_;
    // The folder has just been opened: its latest record gets the cursor.
    bool firstShow_ = false;
    // Where curves are still being read: done of total.
    int curvesDone_ = 0;
    int curvesTotal_ = 0;
    // A reload's files, shown with its curves in one go.
    std::shared_ptr<FolderFiles> pendingFiles_;
    // The folders read as a spreadsheet saved them, and those asked about,
    // for this session.
    QSet<QString> readAsSpreadsheet_;
    QSet<QString> askedFormat_;
    QMessageBox* formatQuestion_ = nullptr;

    QTabWidget* tabs_;
    RecordsModel* records_;
    RecordsFilter* filter_;
    RecordsPage* recordsPage_;
    PacksPage* packsPage_;
    CapacityPage* capacityPage_;
    CurvesPage* curvesPage_;
    QLabel* status_;
    FolderWatcher* watcher_;

    QAction* exportPng_ = nullptr;
    QAction* exportSvg_ = nullptr;
    QAction* exportCsv_ = nullptr;
    QAction* renamePack_ = nullptr;
    QAction* putIntoPack_ = nullptr;
    QAction* takeOut_ = nullptr;
    QAction* showCurves_ = nullptr;
    QAction* resetZoom_ = nullptr;
    QAction* packReport_ = nullptr;
    QAction* packLabel_ = nullptr;
};

}  // namespace voltrex::results
