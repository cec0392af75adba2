#include "results/ResultsWindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/CFormat.h"
#include "results/CalendarTime.h"
#include "results/CapacityChart.h"
#include "results/CapacityHistory.h"
#include "results/ChartExport.h"
#include "results/CurveChartView.h"
#include "results/CurveExport.h"
#include "results/CurveMatch.h"
#include "results/FolderWatcher.h"
#include "results/Plural.h"
#include "results/RecordsFilter.h"
#include "results/RecordsModel.h"

namespace voltrex::results {

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Std(const QString& text) {
    return text.toStdString();
}

// The curve list's columns.
enum CurveColumn {
    CurveStart,
    CurveTest,  // the mode, and an Auto Cycle's cycle
    CurvePack,
    CurveDuration,
    CurveCharge,
    CurveEnd,
    CurveColumnCount
};
constexpr int CurveNameRole = Qt::UserRole + 1;
constexpr int CurveSortRole = Qt::UserRole + 2;

// Sorts the list by what the columns mean, not by their text.
class CurveItem : public QTreeWidgetItem {
  public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        const QVariant a = data(column, CurveSortRole);
        const QVariant b = other.data(column, CurveSortRole);
        if (a.isValid() && b.isValid() && a.typeId() != QMetaType::QString) {
            return a.toDouble() < b.toDouble();
        }
        return text(column) < other.text(column);
    }
};

// A file name made of a pack's name.
QString FileNameOf(const QString& name) {
    QString clean;
    for (const QChar c : name) {
        clean += c.isLetterOrNumber() ? c : QChar('-');
    }
    while (clean.contains(QStringLiteral("--"))) {
        clean.replace(QStringLiteral("--"), QStringLiteral("-"));
    }
    return clean.isEmpty() ? QStringLiteral("pack") : clean;
}

QWidget* Row(QWidget* parent, std::initializer_list<QWidget*> widgets, bool stretch = true) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget* widget : widgets) {
        layout->addWidget(widget);
    }
    if (stretch) {
        layout->addStretch(1);
    }
    return row;
}

QLabel* BuddyLabel(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

}  // namespace

ResultsWindow::ResultsWindow(QWidget* parent)
    : QMainWindow(parent),
      tabs_(new QTabWidget(this)),
      model_(new RecordsModel(this)),
      filter_(new RecordsFilter(this)),
      status_(new QLabel(this)),
      watcher_(new FolderWatcher(this)) {
    setObjectName(QStringLiteral("ResultsWindow"));
    filter_->setSourceModel(model_);
    BuildRecordsTab();
    BuildCapacityTab();
    BuildCurvesTab();
    BuildMenus();
    setCentralWidget(tabs_);
    statusBar()->addPermanentWidget(status_, 1);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    replot_.setSingleShot(true);
    replot_.setInterval(0);
    connect(&replot_, &QTimer::timeout, this, &ResultsWindow::Replot);
    connect(watcher_, &FolderWatcher::Changed, this, &ResultsWindow::Reload);
    connect(tabs_, &QTabWidget::currentChanged, this, &ResultsWindow::UpdateActions);
    resize(1120, 720);
    setMinimumSize(760, 520);
    UpdateActions();
}

ResultsWindow::~ResultsWindow() = default;

void ResultsWindow::BuildRecordsTab() {
    auto* page = new QWidget(tabs_);
    recordsPack_ = new QComboBox(page);
    recordsPack_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    recordsPack_->setMinimumContentsLength(26);
    mode_ = new QComboBox(page);
    mode_->addItem(tr("Discharges and charges"), QString());
    mode_->addItem(tr("Discharges"), QStringLiteral("DIS"));
    mode_->addItem(tr("Charges"), QStringLiteral("CHG"));
    find_ = new QLineEdit(page);
    find_->setPlaceholderText(tr("Text anywhere in the row"));
    find_->setClearButtonEnabled(true);
    find_->setMinimumWidth(200);
    shownCount_ = new QLabel(page);
    auto* top = Row(page, {BuddyLabel(tr("&Pack:"), recordsPack_, page), recordsPack_,
                           BuddyLabel(tr("&Mode:"), mode_, page), mode_,
                           BuddyLabel(tr("F&ind:"), find_, page), find_});
    static_cast<QHBoxLayout*>(top->layout())->addWidget(shownCount_);

    table_ = new QTableView(page);
    table_->setModel(filter_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(RecordsModel::DateColumn, Qt::DescendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->verticalHeader()->hide();
    const int rowHeight = table_->fontMetrics().height() + 6;
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(rowHeight);
    QHeaderView* header = table_->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    for (int column = 0; column < RecordsModel::ColumnCount; ++column) {
        header->resizeSection(
            column, table_->fontMetrics().horizontalAdvance(RecordsModel::WidestText(column)) + 18);
    }
    connect(table_, &QTableView::activated, this, [this] { ShowCurvesClicked(); });

    auto* showCurves = new QPushButton(tr("Show &Curves"), page);
    auto* showHistory = new QPushButton(tr("Capacity &History"), page);
    auto* rename = new QPushButton(tr("&Name Pack..."), page);
    auto* putInto = new QPushButton(tr("P&ut into Pack..."), page);
    showCurves->setToolTip(tr("The curves of the selected records, overlaid (Enter)"));
    showHistory->setToolTip(tr("The capacity history of the selected record's pack"));
    connect(showCurves, &QPushButton::clicked, this, &ResultsWindow::ShowCurvesClicked);
    connect(showHistory, &QPushButton::clicked, this, &ResultsWindow::ShowHistoryClicked);
    connect(rename, &QPushButton::clicked, this, &ResultsWindow::RenamePackClicked);
    connect(putInto, &QPushButton::clicked, this, &ResultsWindow::PutIntoPackClicked);
    auto* bottom = Row(page, {showCurves, showHistory, rename, putInto});

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(top);
    layout->addWidget(table_, 1);
    layout->addWidget(bottom);
    tabs_->addTab(page, tr("&Records"));

    connect(recordsPack_, &QComboBox::currentIndexChanged, this,
            [this] { filter_->SetPack(recordsPack_->currentData().toString()); });
    connect(mode_, &QComboBox::currentIndexChanged, this,
            [this] { filter_->SetMode(mode_->currentData().toString()); });
    connect(find_, &QLineEdit::textChanged, filter_, &RecordsFilter::SetText);
    connect(filter_, &QAbstractItemModel::layoutChanged, this, &ResultsWindow::UpdateSpans);
    connect(filter_, &QAbstractItemModel::modelReset, this, &ResultsWindow::UpdateSpans);
    connect(filter_, &QAbstractItemModel::rowsInserted, this, &ResultsWindow::UpdateSpans);
    connect(filter_, &QAbstractItemModel::rowsRemoved, this, &ResultsWindow::UpdateSpans);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ResultsWindow::UpdateActions);
}

void ResultsWindow::BuildCapacityTab() {
    auto* page = new QWidget(tabs_);
    capacityPack_ = new QComboBox(page);
    capacityPack_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    capacityPack_->setMinimumContentsLength(26);
    capacitySummary_ = new QLabel(page);
    capacitySummary_->setWordWrap(true);
    capacitySummary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    capacity_ = new CapacityChart(page);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(Row(page, {BuddyLabel(tr("&Pack:"), capacityPack_, page), capacityPack_}));
    layout->addWidget(capacitySummary_);
    layout->addWidget(capacity_, 1);
    tabs_->addTab(page, tr("Capacity &History"));
    connect(capacityPack_, &QComboBox::currentIndexChanged, this, &ResultsWindow::UpdateCapacity);
    connect(capacity_, &CapacityChart::DischargeClicked, this,
            [this](std::size_t line) { ShowCurvesOfLines({line}); });
}

void ResultsWindow::BuildCurvesTab() {
    auto* page = new QWidget(tabs_);
    auto* splitter = new QSplitter(Qt::Horizontal, page);

    auto* left = new QWidget(splitter);
    curvesPack_ = new QComboBox(left);
    curvesPack_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    curvesPack_->setMinimumContentsLength(16);
    curveList_ = new QTreeWidget(left);
    curveList_->setColumnCount(CurveColumnCount);
    curveList_->setHeaderLabels(
        {tr("Start"), tr("Test"), tr("Pack"), tr("Duration"), tr("mAh"), tr("End")});
    curveList_->setRootIsDecorated(false);
    curveList_->setUniformRowHeights(true);
    curveList_->setAlternatingRowColors(true);
    curveList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    curveList_->setSortingEnabled(true);
    curveList_->sortByColumn(CurveStart, Qt::DescendingOrder);
    const QFontMetrics metrics = curveList_->fontMetrics();
    const char* const widths[CurveColumnCount] = {
        "[x] 2026-12-08 14:15:03", "DIS 10/10", "NiMH 2000 mAh \xC3\x97 7", "10:00:00", "10000.0",
        "end voltage reached"};
    for (int column = 0; column < CurveColumnCount; ++column) {
        curveList_->header()->resizeSection(
            column, metrics.horizontalAdvance(QString::fromUtf8(widths[column])) + 16);
    }
    auto* checkAll = new QPushButton(tr("Check &All Shown"), left);
    auto* uncheck = new QPushButton(tr("U&ncheck All"), left);
    connect(checkAll, &QPushButton::clicked, this, [this] {
        QStringList names = CheckedCurves();
        for (int i = 0; i < curveList_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = curveList_->topLevelItem(i);
            if (!item->isHidden() && (item->flags() & Qt::ItemIsUserCheckable)) {
                names << item->data(CurveStart, CurveNameRole).toString();
            }
        }
        SetCheckedCurves(names);
    });
    connect(uncheck, &QPushButton::clicked, this, [this] { SetCheckedCurves({}); });
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(Row(left, {BuddyLabel(tr("&Pack:"), curvesPack_, left), curvesPack_}));
    leftLayout->addWidget(curveList_, 1);
    leftLayout->addWidget(Row(left, {checkAll, uncheck}));

    auto* right = new QWidget(splitter);
    againstTime_ = new QRadioButton(tr("&Time"), right);
    againstCharge_ = new QRadioButton(tr("Char&ge moved (mAh)"), right);
    againstTime_->setChecked(true);
    auto* axisGroup = new QButtonGroup(right);
    axisGroup->addButton(againstTime_);
    axisGroup->addButton(againstCharge_);
    curves_ = new CurveChartView(right);
    readout_ = new QLabel(right);
    readout_->setTextFormat(Qt::RichText);
    readout_->setWordWrap(true);
    readout_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* readoutArea = new QScrollArea(right);
    readoutArea->setWidget(readout_);
    readoutArea->setWidgetResizable(true);
    readoutArea->setFrameShape(QFrame::NoFrame);
    readoutArea_ = readoutArea;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(
        Row(right, {new QLabel(tr("Voltage against:"), right), againstTime_, againstCharge_}));
    rightLayout->addWidget(curves_, 1);
    rightLayout->addWidget(readoutArea);

    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({500, 620});
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(splitter);
    tabs_->addTab(page, tr("C&urves"));

    connect(curveList_, &QTreeWidget::itemChanged, this, &ResultsWindow::CurveItemChanged);
    connect(curvesPack_, &QComboBox::currentIndexChanged, this, &ResultsWindow::FilterCurveList);
    connect(againstTime_, &QRadioButton::toggled, this, &ResultsWindow::Replot);
    connect(curves_, &CurveChartView::CursorMoved, this, &ResultsWindow::UpdateReadout);
    UpdateReadout();
}

void ResultsWindow::BuildMenus() {
    QStyle* style = QApplication::style();
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* open = file->addAction(style->standardIcon(QStyle::SP_DirOpenIcon),
                                    tr("&Open Folder..."), this, &ResultsWindow::ChooseFolder);
    open->setShortcut(QKeySequence::Open);
    QAction* reload = file->addAction(style->standardIcon(QStyle::SP_BrowserReload), tr("&Reload"),
                                      this, &ResultsWindow::Reload);
    reload->setShortcut(QKeySequence::Refresh);
    file->addSeparator();
    exportPng_ =
        file->addAction(style->standardIcon(QStyle::SP_DialogSaveButton),
                        tr("Export Chart as &PNG..."), this, &ResultsWindow::ExportPngClicked);
    exportPng_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    exportSvg_ =
        file->addAction(tr("Export Chart as &SVG..."), this, &ResultsWindow::ExportSvgClicked);
    exportSvg_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_E));
    exportCsv_ = file->addAction(tr("Export Checked Curves as &CSV..."), this,
                                 &ResultsWindow::ExportCsvClicked);
    file->addSeparator();
    QAction* quit = file->addAction(tr("&Quit"), this, &QWidget::close);
    quit->setShortcut(QKeySequence::Quit);

    QMenu* view = menuBar()->addMenu(tr("&View"));
    const QString tabNames[] = {tr("&Records"), tr("Capacity &History"), tr("C&urves")};
    for (int tab = 0; tab < 3; ++tab) {
        QAction* action =
            view->addAction(tabNames[tab], this, [this, tab] { tabs_->setCurrentIndex(tab); });
        action->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + tab)));
    }
    view->addSeparator();
    QAction* findAction = view->addAction(tr("&Find Records"), this, [this] {
        tabs_->setCurrentIndex(RecordsTab);
        find_->setFocus();
        find_->selectAll();
    });
    findAction->setShortcut(QKeySequence::Find);
    QAction* time = view->addAction(tr("Curves Against &Time"), this, [this] {
        againstTime_->setChecked(true);
        tabs_->setCurrentIndex(CurvesTab);
    });
    time->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    QAction* charge = view->addAction(tr("Curves Against &Charge"), this, [this] {
        againstCharge_->setChecked(true);
        tabs_->setCurrentIndex(CurvesTab);
    });
    charge->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    resetZoom_ =
        view->addAction(tr("Show the &Whole Chart"), this, [this] { curves_->ResetZoom(); });
    resetZoom_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

    QMenu* pack = menuBar()->addMenu(tr("&Pack"));
    showCurves_ = pack->addAction(tr("Show &Curves of Selected Records"), this,
                                  &ResultsWindow::ShowCurvesClicked);
    pack->addAction(tr("Capacity &History of This Pack"), this, &ResultsWindow::ShowHistoryClicked);
    pack->addSeparator();
    renamePack_ =
        pack->addAction(tr("&Name This Pack..."), this, &ResultsWindow::RenamePackClicked);
    renamePack_->setShortcut(QKeySequence(Qt::Key_F2));
    putIntoPack_ = pack->addAction(tr("&Put Selected Records into Pack..."), this,
                                   &ResultsWindow::PutIntoPackClicked);
    takeOut_ = pack->addAction(tr("&Take Selected Records out of Their Pack"), this,
                               &ResultsWindow::TakeOutOfPackClicked);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("&About Voltrex II Results"), this, &ResultsWindow::AboutClicked);

    QToolBar* tools = addToolBar(tr("Main"));
    tools->setObjectName(QStringLiteral("MainToolBar"));
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    tools->addAction(open);
    tools->addAction(reload);
    tools->addSeparator();
    tools->addAction(exportPng_);
    tools->addAction(exportSvg_);
    tools->addAction(exportCsv_);
}

// ---------------------------------------------------------------------------
// Reading the folder

void ResultsWindow::OpenFolder(const QString& folder) {
    folder_ = QDir(folder).absolutePath();
    wholeCurves_.clear();
    checked_.clear();
    setWindowTitle(tr("Voltrex II Results - %1").arg(QDir::toNativeSeparators(folder_)));
    Load();
    // The latest record first, ready for the keyboard.
    if (filter_->rowCount() > 0) {
        table_->setCurrentIndex(filter_->index(0, 0));
    }
    table_->setFocus();
    watcher_->Watch(folder_);
}

void ResultsWindow::Reload() {
    if (folder_.isEmpty()) {
        return;
    }
    // What the user has chosen, by what names it across a reload.
    std::vector<std::string> selected;
    for (const std::size_t line : SelectedLines()) {
        const ResultLine& entry = log_.Lines[line];
        selected.push_back(entry.Readable ? entry.Record.Id() : "\n" + entry.Text);
    }
    const std::optional<std::size_t> current = CurrentLine();
    std::string currentId;
    if (current) {
        const ResultLine& entry = log_.Lines[*current];
        currentId = entry.Readable ? entry.Record.Id() : "\n" + entry.Text;
    }
    const int scroll = table_->verticalScrollBar()->value();

    Load();

    std::vector<std::size_t> lines;
    std::optional<std::size_t> newCurrent;
    for (std::size_t i = 0; i < log_.Lines.size(); ++i) {
        const ResultLine& entry = log_.Lines[i];
        const std::string id = entry.Readable ? entry.Record.Id() : "\n" + entry.Text;
        if (std::find(selected.begin(), selected.end(), id) != selected.end()) {
            lines.push_back(i);
        }
        if (!currentId.empty() && id == currentId) {
            newCurrent = i;
        }
    }
    if (newCurrent) {
        const QModelIndex index =
            filter_->mapFromSource(model_->index(static_cast<int>(*newCurrent), 0));
        table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    SelectLines(lines);
    table_->verticalScrollBar()->setValue(scroll);
}

void ResultsWindow::Load() {
    // The table lets go of the old lines before they change.
    model_->Show(nullptr, nullptr, nullptr, nullptr);
    const QDir dir(folder_);
    log_ = ReadResultsLog(Std(dir.filePath(QString::fromLatin1(ResultsFileName))));
    namesProblems_.clear();
    names_ =
        PackNames::Load(Std(dir.filePath(QString::fromLatin1(PackNamesFileName))), &namesProblems_);
    curveFolder_.Refresh(Std(dir.filePath(QString::fromLatin1(CurvesFolderName))));
    const std::vector<CurveFile>& curves = curveFolder_.Curves();
    curveOfLine_ = MatchCurves(log_, curves);
    grouping_ = GroupRecords(log_, names_);

    // A curve's pack: its record's, or else the default group it would be.
    curvePack_.assign(curves.size(), QString());
    for (std::size_t line = 0; line < curveOfLine_.size(); ++line) {
        if (curveOfLine_[line] && grouping_.PackOfLine[line]) {
            curvePack_[*curveOfLine_[line]] = Text(grouping_.Packs[*grouping_.PackOfLine[line]].Id);
        }
    }
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const CurveFile& curve = curves[i];
        if (!curvePack_[i].isEmpty() || curve.Type.empty()) {
            continue;
        }
        const PackKey key{curve.Type, curve.Rated, curve.Cells};
        const std::optional<std::string> name = names_.GroupName(key);
        curvePack_[i] = Text(name ? NamedPackId(*name) : GroupPackId(key));
    }
    // Curves read whole that are gone or have changed are read again when
    // next shown.
    std::map<std::string, std::shared_ptr<const CurveFile>> kept;
    for (const CurveFile& curve : curves) {
        const auto found = wholeCurves_.find(curve.Name);
        if (found != wholeCurves_.end() && found->second->FileSize == curve.FileSize &&
            found->second->Modified == curve.Modified) {
            kept.insert(*found);
        }
    }
    wholeCurves_ = std::move(kept);

    model_->Show(&log_, &grouping_, &curves, &curveOfLine_);
    FillPackBox(recordsPack_, true, recordsPack_->currentData().toString());
    FillPackBox(capacityPack_, false, capacityPack_->currentData().toString());
    FillPackBox(curvesPack_, true, curvesPack_->currentData().toString());
    FillCurveList();
    UpdateCapacity();
    Replot();
    UpdateSpans();
    UpdateStatus();
    UpdateActions();
}

void ResultsWindow::FillPackBox(QComboBox* box, bool withAll, const QString& keep) {
    QSignalBlocker blocker(box);
    box->clear();
    if (withAll) {
        box->addItem(tr("All packs"), QString());
    }
    for (const Pack& pack : grouping_.Packs) {
        box->addItem(QStringLiteral("%1 (%2)").arg(
                         Text(pack.Name),
                         Counted(static_cast<long long>(pack.Lines.size()), "record", "records")),
                     Text(pack.Id));
    }
    const int index = box->findData(keep);
    box->setCurrentIndex(index >= 0 ? index : 0);
    blocker.unblock();
    // The records' filter follows its box.
    if (box == recordsPack_) {
        filter_->SetPack(box->currentData().toString());
    }
}

std::shared_ptr<const CurveFile> ResultsWindow::WholeCurve(const CurveFile& summary) {
    const auto found = wholeCurves_.find(summary.Name);
    if (found != wholeCurves_.end()) {
        return found->second;
    }
    auto whole = std::make_shared<CurveFile>(ReadCurveFile(summary.Path));
    whole->FileSize = summary.FileSize;
    whole->Modified = summary.Modified;
    std::shared_ptr<const CurveFile> shared = whole;
    wholeCurves_.emplace(summary.Name, shared);
    return shared;
}

QString ResultsWindow::PackOfCurve(std::size_t curve) const {
    return curve < curvePack_.size() ? curvePack_[curve] : QString();
}

void ResultsWindow::FillCurveList() {
    filling_ = true;
    curveList_->setSortingEnabled(false);
    curveList_->clear();
    const std::vector<CurveFile>& curves = curveFolder_.Curves();
    QSet<QString> present;
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const CurveFile& curve = curves[i];
        const QString name = Text(curve.Name);
        auto* item = new CurveItem;
        item->setData(CurveStart, CurveNameRole, name);
        item->setToolTip(CurveStart, name);
        if (!curve.Usable()) {
            item->setText(CurveStart, name);
            item->setText(CurveEnd, tr("not shown: %1").arg(Text(curve.Problem)));
            item->setToolTip(CurveEnd, item->text(CurveEnd));
            item->setFlags(Qt::ItemIsEnabled);
            item->setForeground(CurveStart,
                                QApplication::palette().brush(QPalette::PlaceholderText));
            item->setData(CurveStart, CurveSortRole, -1.0);
            items << item;
            continue;
        }
        present.insert(name);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(CurveStart, checked_.contains(name) ? Qt::Checked : Qt::Unchecked);
        item->setText(CurveStart, Text(CalendarTimeText(*curve.Start)));
        item->setData(CurveStart, CurveSortRole, static_cast<double>(curve.StartSeconds));
        item->setText(
            CurveTest,
            curve.Cycle != 0
                ? QStringLiteral("%1 %2/%3").arg(Text(curve.Mode)).arg(curve.Cycle).arg(curve.Of)
                : Text(curve.Mode));
        const QString packId = PackOfCurve(i);
        if (const std::optional<std::size_t> pack = grouping_.Find(Std(packId))) {
            item->setText(CurvePack, Text(grouping_.Packs[*pack].Name));
        } else if (!curve.Type.empty()) {
            item->setText(CurvePack, Text(PackKey{curve.Type, curve.Rated, curve.Cells}.Label()));
        }
        item->setToolTip(CurvePack, item->text(CurvePack));
        item->setText(CurveDuration, ElapsedText(curve.Duration()));
        item->setData(CurveDuration, CurveSortRole, static_cast<double>(curve.Duration()));
        const double charge = curve.LastRow ? curve.LastRow->MilliampHours : 0.0;
        item->setText(CurveCharge, curve.Mode == "MON" ? QString() : Text(Format("%.1f", charge)));
        item->setData(CurveCharge, CurveSortRole, charge);
        item->setTextAlignment(CurveDuration, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(CurveCharge, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(CurveEnd, curve.EndReason ? Text(*curve.EndReason) : tr("unfinished"));
        item->setToolTip(CurveEnd, curve.EndReason
                                       ? Text(*curve.EndReason)
                                       : tr("The file has no end line: the program ended while "
                                            "the test ran. Its rows are shown."));
        items << item;
    }
    curveList_->addTopLevelItems(items);
    checked_.intersect(present);
    curveList_->setSortingEnabled(true);
    filling_ = false;
    FilterCurveList();
}

void ResultsWindow::FilterCurveList() {
    const QString pack = curvesPack_->currentData().toString();
    const std::vector<CurveFile>& curves = curveFolder_.Curves();
    std::map<QString, std::size_t> index;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        index.emplace(Text(curves[i].Name), i);
    }
    for (int i = 0; i < curveList_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = curveList_->topLevelItem(i);
        const auto found = index.find(item->data(CurveStart, CurveNameRole).toString());
        const bool shown =
            pack.isEmpty() || (found != index.end() && PackOfCurve(found->second) == pack);
        item->setHidden(!shown);
    }
}

void ResultsWindow::CurveItemChanged(QTreeWidgetItem* item) {
    if (filling_) {
        return;
    }
    const QString name = item->data(CurveStart, CurveNameRole).toString();
    if (item->checkState(CurveStart) == Qt::Checked) {
        checked_.insert(name);
    } else {
        checked_.remove(name);
    }
    replot_.start();
}

void ResultsWindow::SetCheckedCurves(const QStringList& names) {
    checked_ = QSet<QString>(names.begin(), names.end());
    filling_ = true;
    QSet<QString> present;
    for (int i = 0; i < curveList_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = curveList_->topLevelItem(i);
        if (!(item->flags() & Qt::ItemIsUserCheckable)) {
            continue;
        }
        const QString name = item->data(CurveStart, CurveNameRole).toString();
        present.insert(name);
        item->setCheckState(CurveStart, checked_.contains(name) ? Qt::Checked : Qt::Unchecked);
    }
    filling_ = false;
    checked_.intersect(present);
    Replot();
}

QStringList ResultsWindow::CheckedCurves() const {
    QStringList names;
    // In the order the folder lists them: by start.
    for (const CurveFile& curve : curveFolder_.Curves()) {
        if (checked_.contains(Text(curve.Name))) {
            names << Text(curve.Name);
        }
    }
    return names;
}

void ResultsWindow::Replot() {
    replot_.stop();
    std::vector<std::shared_ptr<const CurveFile>> shown;
    for (const CurveFile& curve : curveFolder_.Curves()) {
        if (curve.Usable() && checked_.contains(Text(curve.Name))) {
            shown.push_back(WholeCurve(curve));
        }
    }
    curves_->Plot(std::move(shown),
                  againstTime_->isChecked() ? CurveAxis::Time : CurveAxis::Charge);
    UpdateReadout();
    UpdateActions();
}

void ResultsWindow::UpdateReadout() {
    readout_->setText(curves_->Readout());
    // A line for the cursor and one for each curve, up to eight; more scroll.
    const int lines = std::clamp(static_cast<int>(curves_->Series().size()) + 1, 2, 9);
    readoutArea_->setFixedHeight(readout_->fontMetrics().lineSpacing() * lines + 8);
}

void ResultsWindow::UpdateSpans() {
    // An unreadable line's text runs across the columns of the record it is
    // not. (Many spans make the view slow; a file of nothing but garbage
    // shows its text elided in one column instead.)
    table_->clearSpans();
    if (log_.UnreadableCount() > 500) {
        return;
    }
    for (int row = 0; row < filter_->rowCount(); ++row) {
        if (!filter_->index(row, 0).data(RecordsModel::ReadableRole).toBool()) {
            table_->setSpan(row, RecordsModel::ModeColumn, 1, RecordsModel::ColumnCount - 1);
        }
    }
}

void ResultsWindow::UpdateCapacity() {
    const std::optional<std::size_t> pack =
        grouping_.Find(Std(capacityPack_->currentData().toString()));
    if (!pack) {
        capacity_->Show(QString(), {});
        capacitySummary_->setText(grouping_.Packs.empty()
                                      ? tr("No records yet: a pack's history starts with its "
                                           "first discharge in the main program.")
                                      : QString());
        return;
    }
    const Pack& p = grouping_.Packs[*pack];
    const std::vector<CapacityPoint> points = CapacityHistory(log_, p);
    capacity_->Show(Text(p.Name), points);
    if (points.empty()) {
        capacitySummary_->setText(
            tr("%1 has %2 but no discharge yet: a discharge measures what the pack holds.")
                .arg(Text(p.Name),
                     Counted(static_cast<long long>(p.Lines.size()), "record", "records")));
        return;
    }
    const CapacityPoint& last = points.back();
    const auto best = std::max_element(points.begin(), points.end(),
                                       [](const CapacityPoint& a, const CapacityPoint& b) {
                                           return a.MilliampHours < b.MilliampHours;
                                       });
    QString text = Counted(static_cast<long long>(points.size()), "discharge", "discharges");
    text +=
        tr(" from %1 to %2.")
            .arg(QLocale().toString(DateTimeOf(points.front().Time).date(), QLocale::ShortFormat),
                 QLocale().toString(DateTimeOf(last.Time).date(), QLocale::ShortFormat));
    text += tr(" Latest %1 mAh").arg(Text(Format("%.1f", last.MilliampHours)));
    if (last.Rated > 0) {
        text += Text(Format(" (%.1f %% of the rated %d mAh)",
                            100.0 * last.MilliampHours / last.Rated, last.Rated));
    }
    text += tr(", best %1 mAh; internal resistance %2 \u03A9 then, %3 \u03A9 now.")
                .arg(Text(Format("%.1f", best->MilliampHours)),
                     Text(Format("%.4f", points.front().Ohms)), Text(Format("%.4f", last.Ohms)));
    capacitySummary_->setText(text);
}

void ResultsWindow::UpdateStatus() {
    QString text;
    if (!log_.Exists) {
        text = tr("No %1 in this folder yet").arg(QString::fromLatin1(ResultsFileName));
    } else if (!log_.Error.empty()) {
        text =
            tr("%1 cannot be read: %2").arg(QString::fromLatin1(ResultsFileName), Text(log_.Error));
    } else {
        text = QStringLiteral("%1: %2").arg(QString::fromLatin1(ResultsFileName),
                                            Counted(log_.RecordCount(), "record", "records"));
        if (log_.UnreadableCount() > 0) {
            text +=
                tr(", <b>%1</b> (marked in the table)")
                    .arg(Counted(log_.UnreadableCount(), "unreadable line", "unreadable lines"));
        }
    }
    const std::vector<CurveFile>& curves = curveFolder_.Curves();
    const auto usable =
        std::count_if(curves.begin(), curves.end(), [](const CurveFile& c) { return c.Usable(); });
    text += QStringLiteral(" \u00B7 ") + Counted(usable, "curve file", "curve files");
    if (static_cast<std::size_t>(usable) != curves.size()) {
        text +=
            tr(" and %1 in curves/ that %2 no curve")
                .arg(Counted(static_cast<long long>(curves.size()) - usable, "file", "files"),
                     static_cast<long long>(curves.size()) - usable == 1 ? tr("is") : tr("are"));
    }
    if (!namesProblems_.empty()) {
        text += tr(" \u00B7 %1: %2")
                    .arg(QString::fromLatin1(PackNamesFileName), Text(namesProblems_.front()));
    }
    status_->setText(text);
    shownCount_->setText(tr("%1 of %2 shown").arg(filter_->rowCount()).arg(model_->rowCount()));
}

void ResultsWindow::UpdateActions() {
    const int tab = tabs_->currentIndex();
    const bool chart = tab == CapacityTab || tab == CurvesTab;
    exportPng_->setEnabled(chart);
    exportSvg_->setEnabled(chart);
    exportCsv_->setEnabled(!checked_.isEmpty());
    resetZoom_->setEnabled(tab == CurvesTab);
    const bool selection = !SelectedLines().empty();
    putIntoPack_->setEnabled(selection);
    takeOut_->setEnabled(selection);
    showCurves_->setEnabled(selection);
    renamePack_->setEnabled(!CurrentPackId().isEmpty());
    shownCount_->setText(tr("%1 of %2 shown").arg(filter_->rowCount()).arg(model_->rowCount()));
}

// ---------------------------------------------------------------------------
// Selections

std::vector<std::size_t> ResultsWindow::SelectedLines() const {
    std::vector<std::size_t> lines;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        lines.push_back(index.data(RecordsModel::LineRole).toULongLong());
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

void ResultsWindow::SelectLines(const std::vector<std::size_t>& lines) {
    QItemSelection selection;
    for (const std::size_t line : lines) {
        const QModelIndex index = filter_->mapFromSource(model_->index(static_cast<int>(line), 0));
        if (index.isValid()) {
            selection.select(index, index.siblingAtColumn(RecordsModel::ColumnCount - 1));
        }
    }
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    UpdateActions();
}

std::optional<std::size_t> ResultsWindow::CurrentLine() const {
    const QModelIndex index = table_->currentIndex();
    if (!index.isValid()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index.data(RecordsModel::LineRole).toULongLong());
}

QString ResultsWindow::CurrentPackId() const {
    if (tabs_->currentIndex() == CapacityTab) {
        return capacityPack_->currentData().toString();
    }
    if (tabs_->currentIndex() == CurvesTab) {
        return curvesPack_->currentData().toString();
    }
    const std::optional<std::size_t> line = CurrentLine();
    if (line && *line < grouping_.PackOfLine.size() && grouping_.PackOfLine[*line]) {
        return Text(grouping_.Packs[*grouping_.PackOfLine[*line]].Id);
    }
    return recordsPack_->currentData().toString();
}

void ResultsWindow::ShowCurvesOfLines(const std::vector<std::size_t>& lines) {
    QStringList names;
    int missing = 0;
    for (const std::size_t line : lines) {
        if (line < curveOfLine_.size() && curveOfLine_[line]) {
            names << Text(curveFolder_.Curves()[*curveOfLine_[line]].Name);
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
    const int index = capacityPack_->findData(packId);
    if (index >= 0) {
        capacityPack_->setCurrentIndex(index);
    }
    tabs_->setCurrentIndex(CapacityTab);
}

QChartView* ResultsWindow::CurrentChart() const {
    switch (tabs_->currentIndex()) {
        case CapacityTab:
            return capacity_;
        case CurvesTab:
            return curves_;
        default:
            return nullptr;
    }
}

// ---------------------------------------------------------------------------
// Commands

bool ResultsWindow::ExportChartPng(const QString& path, QString& error) {
    QChartView* view = CurrentChart();
    if (view == nullptr) {
        error = tr("The records table is no chart.");
        return false;
    }
    curves_->SetCursorShown(false);
    const bool saved = SaveChartPng(*view, path, error);
    curves_->SetCursorShown(true);
    return saved;
}

bool ResultsWindow::ExportChartSvg(const QString& path, QString& error) {
    QChartView* view = CurrentChart();
    if (view == nullptr) {
        error = tr("The records table is no chart.");
        return false;
    }
    const QString title = view == capacity_
                              ? tr("Capacity history: %1").arg(capacityPack_->currentText())
                              : tr("Voltage curves");
    curves_->SetCursorShown(false);
    const bool saved = SaveChartSvg(*view, path, title, error);
    curves_->SetCursorShown(true);
    return saved;
}

bool ResultsWindow::ExportCurvesCsv(const QString& path, QString& error) {
    std::vector<std::shared_ptr<const CurveFile>> whole;
    std::vector<const CurveFile*> curves;
    for (const CurveFile& curve : curveFolder_.Curves()) {
        if (curve.Usable() && checked_.contains(Text(curve.Name))) {
            whole.push_back(WholeCurve(curve));
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
    const QString path = QDir(folder_).filePath(QString::fromLatin1(PackNamesFileName));
    if (!names.Save(Std(path), reason)) {
        error = tr("The pack names could not be saved in %1: %2.")
                    .arg(QDir::toNativeSeparators(path), Text(reason));
        return false;
    }
    names_ = names;
    Reload();
    return true;
}

bool ResultsWindow::RenamePack(const QString& packId, const QString& name, QString& error) {
    const std::optional<std::size_t> index = grouping_.Find(Std(packId));
    if (!index) {
        error = tr("There is no such pack.");
        return false;
    }
    const Pack& pack = grouping_.Packs[*index];
    PackNames names = names_;
    if (pack.Named) {
        names.RenamePack(pack.Name, Std(name));
    } else if (!names.SetGroupName(*pack.Key, Std(name))) {
        error = tr("A pack of the cell type \"%1\" cannot be named.").arg(Text(pack.Key->Type));
        return false;
    }
    const std::string clean = CleanName(Std(name));
    const QString newId =
        Text(clean.empty() && pack.Key ? GroupPackId(*pack.Key) : NamedPackId(clean));
    // The boxes that showed the pack show it under its new name (the reload
    // keeps what they show by id).
    std::vector<QComboBox*> showing;
    for (QComboBox* box : {recordsPack_, capacityPack_, curvesPack_}) {
        if (box->currentData().toString() == packId) {
            box->setItemData(box->currentIndex(), newId);
            showing.push_back(box);
        }
    }
    if (!SaveNames(names, error)) {
        for (QComboBox* box : showing) {
            box->setItemData(box->currentIndex(), packId);
        }
        return false;
    }
    return true;
}

bool ResultsWindow::PutIntoPack(const std::vector<std::size_t>& lines, const QString& name,
                                QString& error) {
    PackNames names = names_;
    for (const std::size_t line : lines) {
        if (line < log_.Lines.size() && log_.Lines[line].Readable) {
            names.SetRecordPack(log_.Lines[line].Record.Id(), Std(name));
        }
    }
    return SaveNames(names, error);
}

QString ResultsWindow::SaveName(const QString& title, const QString& fileName,
                                const QString& filter) {
    return QFileDialog::getSaveFileName(this, title, QDir(folder_).filePath(fileName), filter);
}

void ResultsWindow::ShowError(const QString& text) {
    QMessageBox::critical(this, windowTitle(), text);
}

void ResultsWindow::ChooseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr("Open a Voltrex II Folder"), folder_.isEmpty() ? QDir::homePath() : folder_);
    if (!folder.isEmpty()) {
        OpenFolder(folder);
    }
}

void ResultsWindow::ExportPngClicked() {
    const QString name =
        CurrentChart() == capacity_
            ? QStringLiteral("capacity-%1.png").arg(FileNameOf(capacity_->chart()->title()))
            : QStringLiteral("curves.png");
    const QString path = SaveName(tr("Export Chart as PNG"), name, tr("PNG pictures (*.png)"));
    QString error;
    if (!path.isEmpty() && !ExportChartPng(path, error)) {
        ShowError(tr("The chart could not be saved as %1: %2").arg(path, error));
    }
}

void ResultsWindow::ExportSvgClicked() {
    const QString name =
        CurrentChart() == capacity_
            ? QStringLiteral("capacity-%1.svg").arg(FileNameOf(capacity_->chart()->title()))
            : QStringLiteral("curves.svg");
    const QString path = SaveName(tr("Export Chart as SVG"), name, tr("SVG drawings (*.svg)"));
    QString error;
    if (!path.isEmpty() && !ExportChartSvg(path, error)) {
        ShowError(tr("The chart could not be saved as %1: %2").arg(path, error));
    }
}

void ResultsWindow::ExportCsvClicked() {
    const QString path = SaveName(tr("Export Checked Curves as CSV"), QStringLiteral("curves.csv"),
                                  tr("Comma-separated values (*.csv)"));
    QString error;
    if (!path.isEmpty() && !ExportCurvesCsv(path, error)) {
        ShowError(tr("The curves could not be saved as %1: %2").arg(path, error));
    }
}

void ResultsWindow::RenamePackClicked() {
    const QString packId = CurrentPackId();
    const std::optional<std::size_t> index = grouping_.Find(Std(packId));
    if (!index) {
        return;
    }
    const Pack& pack = grouping_.Packs[*index];
    QString label = tr("A name for the pack %1 (empty for its cell type, capacity and cells):")
                        .arg(Text(pack.Name));
    if (!pack.Key) {
        label = tr("A new name for the pack %1, whose records you put together (empty gives "
                   "them back to their default packs):")
                    .arg(Text(pack.Name));
    }
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("Name Pack"), label, QLineEdit::Normal,
                                               pack.Named ? Text(pack.Name) : QString(), &ok);
    QString error;
    if (ok && !RenamePack(packId, name, error)) {
        ShowError(error);
    }
}

void ResultsWindow::PutIntoPackClicked() {
    const std::vector<std::size_t> lines = SelectedLines();
    if (lines.empty()) {
        return;
    }
    QStringList existing;
    for (const Pack& pack : grouping_.Packs) {
        if (pack.Named) {
            existing << Text(pack.Name);
        }
    }
    bool ok = false;
    const QString name = QInputDialog::getItem(
        this, tr("Put into Pack"),
        tr("The pack of the selected records (%1); a new name starts a pack:")
            .arg(Counted(static_cast<long long>(lines.size()), "record", "records")),
        existing, 0, true, &ok);
    QString error;
    if (ok && !CleanName(Std(name)).empty() && !PutIntoPack(lines, name, error)) {
        ShowError(error);
    }
}

void ResultsWindow::TakeOutOfPackClicked() {
    QString error;
    const std::vector<std::size_t> lines = SelectedLines();
    if (!lines.empty() && !PutIntoPack(lines, QString(), error)) {
        ShowError(error);
    }
}

void ResultsWindow::ShowCurvesClicked() {
    std::vector<std::size_t> lines = SelectedLines();
    if (lines.empty()) {
        if (const std::optional<std::size_t> line = CurrentLine()) {
            lines.push_back(*line);
        }
    }
    if (!lines.empty()) {
        ShowCurvesOfLines(lines);
    }
}

void ResultsWindow::ShowHistoryClicked() {
    const QString packId = CurrentPackId();
    if (!packId.isEmpty()) {
        ShowPackHistory(packId);
    } else {
        tabs_->setCurrentIndex(CapacityTab);
    }
}

void ResultsWindow::AboutClicked() {
    QMessageBox::about(
        this, tr("About Voltrex II Results"),
        tr("<h3>Voltrex II Results 1.0</h3>"
           "<p>The records of a Voltrex II folder: every finished discharge and charge in "
           "Voltrex2.csv, each pack's capacity over time, and the curves of its tests "
           "(curves/) overlaid.</p>"
           "<p>It reads the main program's files and never writes them; pack names are kept in "
           "Voltrex2Results.ini beside them.</p>"
           "<p>Free software under the GNU General Public License, version 3 or later.</p>"));
}

}  // namespace voltrex::results
