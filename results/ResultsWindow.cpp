#include "results/ResultsWindow.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>

#include "results/CapacityChart.h"
#include "results/CapacityPage.h"
#include "results/ChartExport.h"
#include "results/CurveChartView.h"
#include "results/CurveExport.h"
#include "results/CurveSummaryCache.h"
#include "results/CurvesPage.h"
#include "results/FolderLoader.h"
#include "results/FolderWatcher.h"
#include "results/PacksPage.h"
#include "results/Plural.h"
#include "results/RecordsFilter.h"
#include "results/RecordsModel.h"
#include "results/RecordsPage.h"
#include "results/Widgets.h"

namespace voltrex::results {

ResultsWindow::ResultsWindow(QWidget* parent)
    : QMainWindow(parent),
      tabs_(new QTabWidget(this)),
      records_(new RecordsModel(this)),
      filter_(new RecordsFilter(this)),
      status_(new QLabel(this)),
      watcher_(new FolderWatcher(this)) {
    loader_ = new FolderLoader(CurveSummaryCache::DefaultPath(), this);
    connect(loader_, &FolderLoader::FilesRead, this, &ResultsWindow::FilesRead);
    connect(loader_, &FolderLoader::CurvesRead, this, &ResultsWindow::CurvesRead);
    setObjectName(QStringLiteral("ResultsWindow"));
    filter_->setSourceModel(records_);
    recordsPage_ = new RecordsPage(records_, filter_, tabs_);
    packsPage_ = new PacksPage(tabs_);
    capacityPage_ = new CapacityPage(tabs_);
    curvesPage_ = new CurvesPage(model_, tabs_);
    curvesPage_->Chart()->SetEnvelopeCache(CurveSummaryCache::DefaultPath());
    tabs_->addTab(recordsPage_, tr("&Records"));
    tabs_->addTab(packsPage_, tr("P&acks"));
    tabs_->addTab(capacityPage_, tr("Capacity &History"));
    tabs_->addTab(curvesPage_, tr("C&urves"));

    connect(recordsPage_, &RecordsPage::ShowCurvesRequested, this,
            &ResultsWindow::ShowCurvesClicked);
    connect(recordsPage_, &RecordsPage::ShowHistoryRequested, this,
            &ResultsWindow::ShowHistoryClicked);
    connect(recordsPage_, &RecordsPage::RenameRequested, this, &ResultsWindow::RenamePackClicked);
    connect(recordsPage_, &RecordsPage::PutIntoPackRequested, this,
            &ResultsWindow::PutIntoPackClicked);
    connect(recordsPage_, &RecordsPage::RowsChanged, this, &ResultsWindow::UpdateSpans);
    connect(recordsPage_, &RecordsPage::SelectionChanged, this, &ResultsWindow::UpdateActions);
    connect(packsPage_, &PacksPage::HistoryRequested, this, &ResultsWindow::ShowPackHistory);
    connect(packsPage_, &PacksPage::ReplaceAtEdited, this,
            [this](const QString& packId, std::optional<double> share) {
                QString error;
                if (!SetReplaceAt(packId, share, error)) {
                    ShowError(error);
                }
            });
    connect(packsPage_, &PacksPage::NoteEdited, this,
            [this](const QString& packId, const QString& note) {
                QString error;
                if (!SetPackNote(packId, note, error)) {
                    ShowError(error);
                }
            });
    connect(packsPage_, &PacksPage::RetiredEdited, this,
            [this](const QString& packId, bool retired) {
                QString error;
                if (!SetRetired(packId, retired, error)) {
                    ShowError(error);
                }
            });
    connect(records_, &RecordsModel::NoteEdited, this,
            [this](std::size_t line, const QString& note) {
                QString error;
                if (!SetRecordNote(line, note, error)) {
                    ShowError(error);
                }
            });
    connect(capacityPage_, &CapacityPage::PackChosen, this,
            [this] { capacityPage_->Show(model_); });
    connect(capacityPage_, &CapacityPage::DischargeClicked, this,
            [this](std::size_t line) { ShowCurvesOfLines({line}); });
    connect(curvesPage_, &CurvesPage::Replotted, this, &ResultsWindow::UpdateActions);

    BuildMenus();
    setCentralWidget(tabs_);
    statusBar()->addPermanentWidget(status_, 1);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connect(watcher_, &FolderWatcher::Changed, this, &ResultsWindow::Reload);
    connect(tabs_, &QTabWidget::currentChanged, this, &ResultsWindow::UpdateActions);
    resize(1120, 720);
    setMinimumSize(760, 520);
    UpdateActions();
}

ResultsWindow::~ResultsWindow() = default;

QTableView* ResultsWindow::RecordsTable() const {
    return recordsPage_->Table();
}
QComboBox* ResultsWindow::RecordsPackBox() const {
    return recordsPage_->PackBox();
}
QComboBox* ResultsWindow::ModeBox() const {
    return recordsPage_->ModeBox();
}
QLineEdit* ResultsWindow::FindEdit() const {
    return recordsPage_->FindEdit();
}
QLabel* ResultsWindow::ShownCount() const {
    return recordsPage_->ShownCount();
}
QComboBox* ResultsWindow::CapacityPackBox() const {
    return capacityPage_->PackBox();
}
CapacityChart* ResultsWindow::Capacity() const {
    return capacityPage_->Chart();
}
QLabel* ResultsWindow::CapacitySummary() const {
    return capacityPage_->Summary();
}
QCheckBox* ResultsWindow::CapacityFromZero() const {
    return capacityPage_->FromZero();
}
QComboBox* ResultsWindow::CurvesPackBox() const {
    return curvesPage_->PackBox();
}
QTreeWidget* ResultsWindow::CurveList() const {
    return curvesPage_->List();
}
CurveChartView* ResultsWindow::Curves() const {
    return curvesPage_->Chart();
}
QLabel* ResultsWindow::Readout() const {
    return curvesPage_->Readout();
}
QRadioButton* ResultsWindow::AgainstTime() const {
    return curvesPage_->AgainstTime();
}
QRadioButton* ResultsWindow::AgainstCharge() const {
    return curvesPage_->AgainstCharge();
}

// ---------------------------------------------------------------------------
// Reading the folder

void ResultsWindow::OpenFolder(const QString& folder) {
    folder_ = QDir(folder).absolutePath();
    curvesPage_->Forget();
    setWindowTitle(tr("Voltrex II Results - %1").arg(QDir::toNativeSeparators(folder_)));
    // The table lets go of the old lines before they change.
    records_->Show(nullptr, nullptr, nullptr, nullptr, nullptr);
    model_.SetFolder(Std(folder_));
    model_.SetResultsFormat(readAsSpreadsheet_.contains(folder_) ? ResultsFormat::DecimalComma
                                                                 : ResultsFormat::Program);
    firstShow_ = true;
    pendingFiles_.reset();
    curvesDone_ = curvesTotal_ = 0;
    Load();
    loader_->Load(folder_, model_.Format());
    watcher_->Watch(folder_);
}

void ResultsWindow::Reload() {
    if (folder_.isEmpty()) {
        return;
    }
    loader_->Load(folder_, model_.Format());
}

bool ResultsWindow::Loading() const {
    return loader_->Busy();
}

bool ResultsWindow::WaitUntilLoaded(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (loader_->Busy() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QCoreApplication::processEvents();
    return !loader_->Busy();
}

void ResultsWindow::Reshow(const std::function<void()>& change, Changed changed) {
    // What the user has chosen, by what names it across a reload.
    std::vector<std::string> selected;
    for (const std::size_t line : SelectedLines()) {
        selected.push_back(model_.LineId(line));
    }
    const std::optional<std::size_t> current = recordsPage_->CurrentLine();
    const std::string currentId = current ? model_.LineId(*current) : std::string();
    const int scroll = RecordsTable()->verticalScrollBar()->value();

    // The table lets go of the old lines before they change.
    records_->Show(nullptr, nullptr, nullptr, nullptr, nullptr);
    change();
    Load(changed);

    if (firstShow_) {
        // The latest record first, ready for the keyboard.
        firstShow_ = false;
        if (filter_->rowCount() > 0) {
            RecordsTable()->setCurrentIndex(filter_->index(0, 0));
        }
        RecordsTable()->setFocus();
        return;
    }
    if (!currentId.empty()) {
        const std::vector<std::size_t> newCurrent = model_.LinesWithIds({currentId});
        if (!newCurrent.empty()) {
            recordsPage_->SetCurrentLine(newCurrent.back());
        }
    }
    SelectLines(model_.LinesWithIds(selected));
    RecordsTable()->verticalScrollBar()->setValue(scroll);
}

void ResultsWindow::FilesRead(const std::shared_ptr<FolderFiles>& files) {
    if (!firstShow_) {
        // A reload: its curves follow at once, and the window is redrawn
        // once for both.
        pendingFiles_ = files;
        return;
    }
    const bool offer = files->Log.InOtherFormat() && model_.Format() == ResultsFormat::Program;
    Reshow([&] { model_.SetFiles(std::move(*files)); });
    if (offer) {
        AskFormat();
    }
}

void ResultsWindow::CurvesRead(const std::shared_ptr<std::vector<CurveFile>>& curves, int done,
                               int total) {
    curvesDone_ = done;
    curvesTotal_ = total;
    const std::shared_ptr<FolderFiles> files = std::move(pendingFiles_);
    pendingFiles_.reset();
    const bool offer =
        files && files->Log.InOtherFormat() && model_.Format() == ResultsFormat::Program;
    // The lines stay; the curve column and the curve list fill in.
    Reshow(
        [&] {
            if (files) {
                model_.SetFiles(std::move(*files));
            }
            model_.SetCurves(std::move(*curves));
        },
        files ? Changed::Records : Changed::CurvesOnly);
    if (offer) {
        AskFormat();
    }
}

void ResultsWindow::AskFormat() {
    if (askedFormat_.contains(folder_) || formatQuestion_ != nullptr) {
        return;
    }
    askedFormat_.insert(folder_);
    formatQuestion_ = new QMessageBox(
        QMessageBox::Question, tr("Voltrex II Results"),
        tr("No line of %1 reads as the program writes it, but every one reads as a spreadsheet "
           "saves it in a language that writes decimals with a comma (\";\" between the "
           "fields).\n\nRead the file that way while this window is open? The file itself is "
           "not changed.")
            .arg(QString::fromLatin1(ResultsFileName)),
        QMessageBox::Yes | QMessageBox::No, this);
    formatQuestion_->setDefaultButton(QMessageBox::No);
    formatQuestion_->setAttribute(Qt::WA_DeleteOnClose);
    const QString folder = folder_;
    connect(formatQuestion_, &QMessageBox::finished, this, [this, folder](int result) {
        formatQuestion_ = nullptr;
        if (result == QMessageBox::Yes && folder == folder_) {
            readAsSpreadsheet_.insert(folder);
            model_.SetResultsFormat(ResultsFormat::DecimalComma);
            Reload();
        }
    });
    formatQuestion_->open();
}

// Shows the model as read. The packs and capacity pages are made from the
// records alone: a batch of curves leaves them as they are (on ten years of
// tests they cost the window's thread tens of milliseconds a batch).
void ResultsWindow::Load(Changed changed) {
    records_->Show(&model_.Log(), &model_.Grouping(), &model_.Curves(), &model_.CurveOfLine(),
                   &model_.Names());
    if (changed == Changed::Records) {
        recordsPage_->FillPacks(model_.Grouping());
        packsPage_->Show(model_);
        capacityPage_->FillPacks(model_);
        capacityPage_->Show(model_);
    }
    curvesPage_->Fill();
    curvesPage_->Replot();
    UpdateSpans();
    UpdateStatus();
    UpdateActions();
}

void ResultsWindow::UpdateSpans() {
    recordsPage_->UpdateSpans(model_.Log().UnreadableCount());
}

void ResultsWindow::UpdateStatus() {
    const FolderStatus folder = model_.Status();
    const QString results = QString::fromLatin1(ResultsFileName);
    QString text;
    if (!folder.ResultsExist) {
        text = tr("No %1 in this folder yet").arg(results);
    } else if (!folder.ResultsError.empty()) {
        text = tr("%1 cannot be read: %2").arg(results, Text(folder.ResultsError));
    } else {
        text = QStringLiteral("%1: %2").arg(results, Counted(folder.Records, "record", "records"));
        if (folder.UnreadableLines > 0) {
            text +=
                tr(", <b>%1</b> (marked in the table)")
                    .arg(Counted(folder.UnreadableLines, "unreadable line", "unreadable lines"));
        }
    }
    if (model_.Format() == ResultsFormat::DecimalComma) {
        text += tr(" (read as a spreadsheet saved it)");
    }
    text += QStringLiteral(" \u00B7 ") + Counted(folder.CurveFiles, "curve file", "curve files");
    if (curvesDone_ < curvesTotal_) {
        text += tr(" (reading curves: %1 of %2)").arg(curvesDone_).arg(curvesTotal_);
    }
    if (folder.UnreadableCurveRows > 0) {
        text += tr(", %1 in %2")
                    .arg(Counted(folder.UnreadableCurveRows, "unreadable row", "unreadable rows"),
                         Counted(folder.CurvesWithUnreadableRows, "curve", "curves"));
    }
    if (folder.OtherFiles > 0) {
        text += tr(" and %1 in curves/ that %2 no curve")
                    .arg(Counted(folder.OtherFiles, "file", "files"),
                         folder.OtherFiles == 1 ? tr("is") : tr("are"));
    }
    if (!folder.NamesProblem.empty()) {
        text += tr(" \u00B7 %1: %2")
                    .arg(QString::fromLatin1(PackNamesFileName), Text(folder.NamesProblem));
    }
    status_->setText(text);
    recordsPage_->UpdateCount();
}

void ResultsWindow::UpdateActions() {
    const int tab = tabs_->currentIndex();
    const bool chart = tab == CapacityTab || tab == CurvesTab;
    exportPng_->setEnabled(chart);
    exportSvg_->setEnabled(chart);
    exportCsv_->setEnabled(curvesPage_->AnyChecked());
    resetZoom_->setEnabled(tab == CurvesTab);
    const bool selection = !SelectedLines().empty();
    putIntoPack_->setEnabled(selection);
    takeOut_->setEnabled(selection);
    showCurves_->setEnabled(selection);
    renamePack_->setEnabled(!CurrentPackId().isEmpty());
    packReport_->setEnabled(!CurrentPackId().isEmpty());
    packLabel_->setEnabled(!CurrentPackId().isEmpty());
    recordsPage_->UpdateCount();
}

// ---------------------------------------------------------------------------
// Selections

std::vector<std::size_t> ResultsWindow::SelectedLines() const {
    return recordsPage_->SelectedLines();
}

void ResultsWindow::SelectLines(const std::vector<std::size_t>& lines) {
    recordsPage_->SelectLines(lines);
    UpdateActions();
}

void ResultsWindow::SetCheckedCurves(const QStringList& names) {
    curvesPage_->SetCheckedCurves(names);
}

QStringList ResultsWindow::CheckedCurves() const {
    return curvesPage_->CheckedCurves();
}

QString ResultsWindow::CurrentPackId() const {
    if (tabs_->currentIndex() == PacksTab) {
        return packsPage_->CurrentPackId();
    }
    if (tabs_->currentIndex() == CapacityTab) {
        return CapacityPackBox()->currentData().toString();
    }
    if (tabs_->currentIndex() == CurvesTab) {
        return CurvesPackBox()->currentData().toString();
    }
    if (const std::optional<std::size_t> line = recordsPage_->CurrentLine()) {
        const std::string pack = model_.PackOfLine(*line);
        if (!pack.empty()) {
            return Text(pack);
        }
    }
    return RecordsPackBox()->currentData().toString();
}

void ResultsWindow::ShowCurvesOfLines(const std::vector<std::size_t>& lines) {
    QStringList names;
    int missing = 0;
    const std::vector<std::optional<std::size_t>>& curveOfLine = model_.CurveOfLine();
    for (const std::size_t line : lines) {
        if (line < curveOfLine.size() && curveOfLine[line]) {
            names << Text(model_.Curves()[*curveOfLine[line]].Name);
        } else {
            ++missing;
        }
    }
    SetCheckedCurves(names);
    tabs_->setCurrentIndex(CurvesTab);
    if (missing > 0) {
        statusBar()->showMessage(
            tr("%1 of the chosen records %2 no curve file in curves/ (tests from before the "
               "curves were kept, or files moved away).")
                .arg(missing)
                .arg(missing == 1 ? tr("has") : tr("have")),
            8000);
    }
}

void ResultsWindow::ShowPackHistory(const QString& packId) {
    capacityPage_->ChoosePack(packId);
    tabs_->setCurrentIndex(CapacityTab);
}

QChartView* ResultsWindow::CurrentChart() const {
    switch (tabs_->currentIndex()) {
        case CapacityTab:
            return Capacity();
        case CurvesTab:
            return Curves();
        default:
            return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Commands

bool ResultsWindow::ExportChart(ChartFormat format, const QString& path, QString& error) {
    QChartView* view = CurrentChart();
    if (view == nullptr) {
        error = tr("The records table is no chart.");
        return false;
    }
    Curves()->SetCursorShown(false);
    bool saved = false;
    if (format == ChartFormat::Png) {
        saved = SaveChartPng(*view, path, error);
    } else {
        const QString title = view == Capacity()
                                  ? tr("Capacity history: %1").arg(CapacityPackBox()->currentText())
                                  : tr("Voltage curves");
        saved = SaveChartSvg(*view, path, title, error);
    }
    Curves()->SetCursorShown(true);
    return saved;
}

bool ResultsWindow::ExportCurvesCsv(const QString& path, QString& error) {
    std::vector<std::shared_ptr<const CurveFile>> whole;
    std::vector<const CurveFile*> curves;
    const QStringList checked = CheckedCurves();
    for (const CurveFile& curve : model_.Curves()) {
        if (curve.Usable() && checked.contains(Text(curve.Name))) {
            whole.push_back(model_.WholeCurve(curve));
            curves.push_back(whole.back().get());
        }
    }
    if (curves.empty()) {
        error = tr("No curve is checked.");
        return false;
    }
    return SaveText(path, QByteArray::fromStdString(CurvesCsv(curves)), error);
}

bool ResultsWindow::SaveNames(const PackNames& names, QString& error) {
    std::string reason;
    bool saved = false;
    Reshow([&] { saved = model_.SaveNames(names, reason); });
    if (!saved) {
        error = tr("The pack names and notes could not be saved in %1: %2.")
                    .arg(QDir::toNativeSeparators(Text(model_.NamesPath())), Text(reason));
        return false;
    }
    return true;
}

bool ResultsWindow::RenamePack(const QString& packId, const QString& name, QString& error) {
    std::string reason;
    const std::optional<PackNames> names = model_.RenamedPack(Std(packId), Std(name), reason);
    if (!names) {
        error = Text(reason);
        return false;
    }
    const QString newId = Text(model_.RenamedPackId(Std(packId), Std(name)));
    // The boxes that showed the pack show it under its new name (the reload
    // keeps what they show by id).
    std::vector<QComboBox*> showing;
    for (QComboBox* box : {RecordsPackBox(), CapacityPackBox(), CurvesPackBox()}) {
        if (box->currentData().toString() == packId) {
            box->setItemData(box->currentIndex(), newId);
            showing.push_back(box);
        }
    }
    if (!SaveNames(*names, error)) {
        for (QComboBox* box : showing) {
            box->setItemData(box->currentIndex(), packId);
        }
        return false;
    }
    return true;
}

bool ResultsWindow::SetReplaceAt(const QString& packId, std::optional<double> share,
                                 QString& error) {
    PackNames names = model_.Names();
    if (!names.SetReplaceAt(Std(packId), share)) {
        error = tr("A pack is replaced below a share of its rating between 1 and 100 %.");
        return false;
    }
    return SaveNames(names, error);
}

bool ResultsWindow::SetPackNote(const QString& packId, const QString& note, QString& error) {
    PackNames names = model_.Names();
    if (!names.SetPackNote(Std(packId), Std(note))) {
        error = tr("There is no such pack.");
        return false;
    }
    return SaveNames(names, error);
}

bool ResultsWindow::SetRetired(const QString& packId, bool retired, QString& error) {
    PackNames names = model_.Names();
    if (!names.SetRetired(Std(packId), retired)) {
        error = tr("There is no such pack.");
        return false;
    }
    return SaveNames(names, error);
}

bool ResultsWindow::SetRecordNote(std::size_t line, const QString& note, QString& error) {
    PackNames names = model_.Names();
    if (line >= model_.Log().Lines.size() || !model_.Log().Lines[line].Readable ||
        !names.SetRecordNote(model_.LineId(line), Std(note))) {
        error = tr("Only a record can have a note.");
        return false;
    }
    return SaveNames(names, error);
}

bool ResultsWindow::PutIntoPack(const std::vector<std::size_t>& lines, const QString& name,
                                QString& error) {
    return SaveNames(model_.WithLinesInPack(lines, Std(name)), error);
}

}  // namespace voltrex::results
