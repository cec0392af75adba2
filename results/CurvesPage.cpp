#include "results/CurvesPage.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <map>

#include "platform/CFormat.h"
#include "records/CalendarTime.h"
#include "results/CurveChartView.h"
#include "results/PackBox.h"
#include "results/ResultsFolder.h"
#include "results/Widgets.h"

namespace voltrex::results {

namespace {

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
    // What the item shows of its curve, to tell when it must be made again:
    // the file's size and time, and the pack's name. Kept beside the item's
    // data rather than in it: thousands are compared at each listing.
    bool Shows(const CurveFile& curve, const QString& pack) const {
        return size_ == curve.FileSize && modified_ == curve.Modified && pack_ == pack;
    }
    void SetShown(const CurveFile& curve, const QString& pack) {
        size_ = curve.FileSize;
        modified_ = curve.Modified;
        pack_ = pack;
    }

  private:
    std::int64_t size_ = -2;  // no file's: a file not read has -1
    std::int64_t modified_ = 0;
    QString pack_;
};

// The item of a file that is no curve: listed with why, never checked.
void FillUnusableItem(QTreeWidgetItem* item, const CurveFile& curve) {
    const QString name = Text(curve.Name);
    item->setData(CurveStart, CurveNameRole, name);
    item->setToolTip(CurveStart, name);
    item->setText(CurveStart, name);
    item->setText(CurveEnd, CurvesPage::tr("not shown: %1").arg(Text(curve.Problem)));
    item->setToolTip(CurveEnd, item->text(CurveEnd));
    item->setFlags(Qt::ItemIsEnabled);
    item->setData(CurveStart, Qt::CheckStateRole, QVariant());
    item->setForeground(CurveStart, QApplication::palette().brush(QPalette::PlaceholderText));
    item->setData(CurveStart, CurveSortRole, -1.0);
    for (const int column : {CurveTest, CurvePack, CurveDuration, CurveCharge}) {
        item->setText(column, QString());
    }
}

void FillCurveItem(QTreeWidgetItem* item, const CurveFile& curve, const QString& packName,
                   bool checked) {
    const QString name = Text(curve.Name);
    item->setData(CurveStart, CurveNameRole, name);
    item->setToolTip(CurveStart, name);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(CurveStart, checked ? Qt::Checked : Qt::Unchecked);
    item->setForeground(CurveStart, QApplication::palette().brush(QPalette::Text));
    item->setText(CurveStart, Text(CalendarTimeText(*curve.Start)));
    item->setData(CurveStart, CurveSortRole, static_cast<double>(curve.StartSeconds));
    item->setText(
        CurveTest,
        curve.Cycle != 0
            ? QStringLiteral("%1 %2/%3").arg(Text(curve.Mode)).arg(curve.Cycle).arg(curve.Of)
            : Text(curve.Mode));
    item->setText(CurvePack, packName);
    item->setToolTip(CurvePack, packName);
    item->setText(CurveDuration, ElapsedText(curve.Duration()));
    item->setData(CurveDuration, CurveSortRole, static_cast<double>(curve.Duration()));
    const double charge = curve.LastRow ? curve.LastRow->MilliampHours : 0.0;
    item->setText(CurveCharge, curve.Mode == ModeCode(TestMode::Monitor)
                                   ? QString()
                                   : Text(Format("%.1f", charge)));
    item->setData(CurveCharge, CurveSortRole, charge);
    item->setTextAlignment(CurveDuration, Qt::AlignRight | Qt::AlignVCenter);
    item->setTextAlignment(CurveCharge, Qt::AlignRight | Qt::AlignVCenter);
    item->setText(CurveEnd,
                  curve.EndReason ? Text(*curve.EndReason) : CurvesPage::tr("unfinished"));
    item->setToolTip(CurveEnd, curve.EndReason
                                   ? Text(*curve.EndReason)
                                   : CurvesPage::tr("The file has no end line: the program ended "
                                                    "while the test ran. Its rows are shown."));
}

}  // namespace

CurvesPage::CurvesPage(ResultsFolder& folder, QWidget* parent) : QWidget(parent), folder_(folder) {
    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(BuildList());
    splitter->addWidget(BuildChart());
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({500, 620});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);

    replot_.setSingleShot(true);
    replot_.setInterval(0);
    connect(&replot_, &QTimer::timeout, this, &CurvesPage::Replot);
    connect(list_, &QTreeWidget::itemChanged, this, &CurvesPage::ItemChanged);
    connect(pack_, &QComboBox::currentIndexChanged, this, &CurvesPage::FilterList);
    connect(againstTime_, &QRadioButton::toggled, this, &CurvesPage::Replot);
    connect(chart_, &CurveChartView::CursorMoved, this, &CurvesPage::UpdateReadout);
    connect(chart_, &CurveChartView::Drawn, this, [this] {
        UpdateReadout();
        emit Replotted();
    });
    connect(byAge_, &QCheckBox::toggled, this, [this](bool byAge) {
        chart_->SetColouring(byAge ? CurveColouring::Age : CurveColouring::Distinct);
    });
    connect(back_, &QPushButton::clicked, chart_, &CurveChartView::UndoZoom);
    connect(chart_, &CurveChartView::ZoomChanged, this,
            [this] { back_->setEnabled(chart_->CanUndoZoom()); });
    chart_->SetStore(folder_.Store());
    UpdateReadout();
}

QWidget* CurvesPage::BuildList() {
    auto* left = new QWidget(this);
    pack_ = new QComboBox(left);
    pack_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    pack_->setMinimumContentsLength(16);
    list_ = new QTreeWidget(left);
    list_->setColumnCount(CurveColumnCount);
    list_->setHeaderLabels(
        {tr("Start"), tr("Test"), tr("Pack"), tr("Duration"), tr("mAh"), tr("End")});
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAlternatingRowColors(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSortingEnabled(true);
    list_->sortByColumn(CurveStart, Qt::DescendingOrder);
    const QFontMetrics metrics = list_->fontMetrics();
    const char* const widths[CurveColumnCount] = {
        "[x] 2026-12-08 14:15:03", "DIS 10/10", "NiMH 2000 mAh \xC3\x97 7", "10:00:00", "10000.0",
        "end voltage reached"};
    for (int column = 0; column < CurveColumnCount; ++column) {
        list_->header()->resizeSection(
            column, metrics.horizontalAdvance(QString::fromUtf8(widths[column])) + 16);
    }
    auto* checkAll = new QPushButton(tr("Check &All Shown"), left);
    auto* uncheck = new QPushButton(tr("U&ncheck All"), left);
    connect(checkAll, &QPushButton::clicked, this, [this] {
        QStringList names = CheckedCurves();
        for (int i = 0; i < list_->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = list_->topLevelItem(i);
            if (!item->isHidden() && (item->flags() & Qt::ItemIsUserCheckable)) {
                names << item->data(CurveStart, CurveNameRole).toString();
            }
        }
        SetCheckedCurves(names);
    });
    connect(uncheck, &QPushButton::clicked, this, [this] { SetCheckedCurves({}); });
    auto* layout = new QVBoxLayout(left);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Row(left, {BuddyLabel(tr("&Pack:"), pack_, left), pack_}));
    layout->addWidget(list_, 1);
    layout->addWidget(Row(left, {checkAll, uncheck}));
    return left;
}

QWidget* CurvesPage::BuildChart() {
    auto* right = new QWidget(this);
    againstTime_ = new QRadioButton(tr("&Time"), right);
    againstCharge_ = new QRadioButton(tr("Char&ge moved (mAh)"), right);
    againstTime_->setChecked(true);
    auto* axisGroup = new QButtonGroup(right);
    axisGroup->addButton(againstTime_);
    axisGroup->addButton(againstCharge_);
    byAge_ = new QCheckBox(tr("Colour by &age"), right);
    byAge_->setToolTip(tr("The oldest curve blue, the newest red"));
    back_ = new QPushButton(tr("&Back"), right);
    back_->setToolTip(tr("Back to the view before the last zoom (Backspace or the right button)"));
    back_->setEnabled(false);
    chart_ = new CurveChartView(right);
    readout_ = new QLabel(right);
    readout_->setTextFormat(Qt::RichText);
    // One line an entry, never wrapped: a wrapping label lays out its
    // hundreds of lines again for every width it is asked about, tens of
    // milliseconds each time the cursor moves. The area scrolls instead.
    readout_->setWordWrap(false);
    readout_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    readout_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* readoutArea = new QScrollArea(right);
    readoutArea->setWidget(readout_);
    readoutArea->setWidgetResizable(true);
    readoutArea->setFrameShape(QFrame::NoFrame);
    readoutArea_ = readoutArea;
    auto* layout = new QVBoxLayout(right);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Row(right, {new QLabel(tr("Voltage against:"), right), againstTime_,
                                  againstCharge_, byAge_, back_}));
    layout->addWidget(chart_, 1);
    layout->addWidget(readoutArea);
    return right;
}

void CurvesPage::Fill() {
    chartCurves_.clear();  // the curves or their packs may have changed
    FillPackBox(pack_, folder_.Grouping(), true, pack_->currentData().toString());
    FillList();
}

void CurvesPage::FillList() {
    // Only what changed: a folder of thousands of curves is listed again
    // after every test, and while its summaries are first read, four times a
    // second. New items are added a batch a turn of the event loop.
    filling_ = true;
    const std::vector<CurveFile>& curves = folder_.Curves();
    // Kept for the batches of AddItems until the folder is read again.
    indexOf_.clear();
    indexOf_.reserve(static_cast<qsizetype>(curves.size()));
    for (std::size_t i = 0; i < curves.size(); ++i) {
        indexOf_.insert(Text(curves[i].Name), i);
    }
    list_->setSortingEnabled(false);
    for (auto it = items_.begin(); it != items_.end();) {
        const auto found = indexOf_.constFind(it.key());
        if (found == indexOf_.constEnd()) {
            delete it.value();
            it = items_.erase(it);
            continue;
        }
        const CurveFile& curve = curves[*found];
        const QString pack = curve.Usable() ? PackName(*found) : QString();
        auto* item = static_cast<CurveItem*>(it.value());  // every item is one
        if (!item->Shows(curve, pack)) {
            if (curve.Usable()) {
                FillCurveItem(item, curve, pack, checked_.contains(it.key()));
            } else {
                FillUnusableItem(item, curve);
            }
            item->SetShown(curve, pack);
        }
        ++it;
    }
    toAdd_.clear();
    QSet<QString> usable;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const QString name = Text(curves[i].Name);
        if (curves[i].Usable()) {
            usable.insert(name);
        }
        if (!items_.contains(name)) {
            toAdd_.push_back(name);
        }
    }
    checked_.intersect(usable);
    filling_ = false;
    FilterList();
    AddItems();
}

void CurvesPage::AddItems() {
    const std::vector<CurveFile>& curves = folder_.Curves();
    const QHash<QString, std::size_t>& index = indexOf_;  // made by FillList
    const std::string pack = Std(pack_->currentData().toString());
    QList<QTreeWidgetItem*> items;
    while (!toAdd_.isEmpty() && items.size() < ItemsPerTurn) {
        const QString name = toAdd_.takeFirst();
        const auto found = index.constFind(name);
        if (found == index.constEnd() || items_.contains(name)) {
            continue;
        }
        const CurveFile& curve = curves[*found];
        auto* item = new CurveItem;
        const QString packName = curve.Usable() ? PackName(*found) : QString();
        if (curve.Usable()) {
            FillCurveItem(item, curve, packName, checked_.contains(name));
        } else {
            FillUnusableItem(item, curve);
        }
        item->SetShown(curve, packName);
        items_.insert(name, item);
        items << item;
    }
    if (!items.isEmpty()) {
        filling_ = true;
        list_->setSortingEnabled(false);
        list_->addTopLevelItems(items);
        checkFrom_ = 0;  // the rows have moved: the boxes still to set are looked for again
        for (QTreeWidgetItem* item : items) {
            const auto found = index.constFind(item->data(CurveStart, CurveNameRole).toString());
            item->setHidden(!pack.empty() && folder_.PackOfCurve(*found) != pack);
        }
        filling_ = false;
    }
    SortWhenDone();
    if (!toAdd_.isEmpty() && !adding_) {
        adding_ = true;
        QTimer::singleShot(0, this, [this] {
            adding_ = false;
            AddItems();
        });
    }
}

QString CurvesPage::PackName(std::size_t i) const {
    const PackGrouping& grouping = folder_.Grouping();
    const CurveFile& curve = folder_.Curves()[i];
    if (const std::optional<std::size_t> pack = grouping.Find(folder_.PackOfCurve(i))) {
        return Text(grouping.Packs[*pack].Name);
    }
    if (!curve.Type.empty()) {
        return Text(PackKey{curve.Type, curve.Rated, curve.Cells}.Label());
    }
    return QString();
}

void CurvesPage::FilterList() {
    const std::string pack = Std(pack_->currentData().toString());
    const std::vector<CurveFile>& curves = folder_.Curves();
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const auto found = items_.constFind(Text(curves[i].Name));
        if (found == items_.constEnd()) {
            continue;
        }
        const bool hidden = !pack.empty() && folder_.PackOfCurve(i) != pack;
        if ((*found)->isHidden() != hidden) {
            (*found)->setHidden(hidden);
        }
    }
}

void CurvesPage::ItemChanged(QTreeWidgetItem* item) {
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

void CurvesPage::SetCheckedCurves(const QStringList& names) {
    checked_ = QSet<QString>(names.begin(), names.end());
    QSet<QString> usable;
    for (const CurveFile& curve : folder_.Curves()) {
        if (curve.Usable()) {
            usable.insert(Text(curve.Name));
        }
    }
    checked_.intersect(usable);
    // The chart at once; the list's boxes a batch a turn, from the top.
    checkFrom_ = 0;
    SyncChecks();
    Replot();
}

void CurvesPage::SyncChecks() {
    filling_ = true;
    // Unsorted meanwhile: a check is data of the sorted column, and a sorted
    // list of thousands sorts itself again after each (SortWhenDone).
    list_->setSortingEnabled(false);
    const int count = list_->topLevelItemCount();
    int changed = 0;
    for (; checkFrom_ < count && changed < ItemsPerTurn; ++checkFrom_) {
        QTreeWidgetItem* item = list_->topLevelItem(checkFrom_);
        if (!(item->flags() & Qt::ItemIsUserCheckable)) {
            continue;
        }
        const Qt::CheckState state =
            checked_.contains(item->data(CurveStart, CurveNameRole).toString()) ? Qt::Checked
                                                                                : Qt::Unchecked;
        if (item->checkState(CurveStart) != state) {
            item->setCheckState(CurveStart, state);
            ++changed;
        }
    }
    filling_ = false;
    SortWhenDone();
    if (checkFrom_ < count && !syncing_) {
        syncing_ = true;
        QTimer::singleShot(0, this, [this] {
            syncing_ = false;
            SyncChecks();
        });
    }
}

void CurvesPage::SortWhenDone() {
    // Sorted again once, when the last batch of items or checks is in: each
    // sort of thousands of items holds the window's thread for tens of
    // milliseconds, and neither a check nor a batch still to come changes
    // where the items sorted so far belong.
    if (toAdd_.isEmpty() && checkFrom_ >= list_->topLevelItemCount() &&
        !list_->isSortingEnabled()) {
        list_->setSortingEnabled(true);
    }
}

QStringList CurvesPage::CheckedCurves() const {
    QStringList names;
    // In the order the folder lists them: by start.
    for (const CurveFile& curve : folder_.Curves()) {
        if (checked_.contains(Text(curve.Name))) {
            names << Text(curve.Name);
        }
    }
    return names;
}

void CurvesPage::Replot() {
    replot_.stop();
    // The chart reads them in its worker: the summaries are enough here.
    // Each summary is copied for the chart once after the folder was read,
    // when first checked: thousands copied again for every check would hold
    // the window's thread (the chart shares them with its worker).
    const std::vector<CurveFile>& curves = folder_.Curves();
    chartCurves_.resize(curves.size());
    std::vector<std::shared_ptr<const ChartCurve>> shown;
    shown.reserve(static_cast<std::size_t>(checked_.size()));
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (curves[i].Usable() && checked_.contains(Text(curves[i].Name))) {
            if (!chartCurves_[i]) {
                chartCurves_[i] =
                    std::make_shared<const ChartCurve>(ChartCurve{curves[i], PackName(i)});
            }
            shown.push_back(chartCurves_[i]);
        }
    }
    chart_->Plot(std::move(shown), againstTime_->isChecked() ? CurveAxis::Time : CurveAxis::Charge);
    UpdateReadout();
}

void CurvesPage::UpdateReadout() {
    readout_->setText(chart_->Readout());
    // A line for the cursor and one for each curve, up to eight; more scroll.
    const int lines = std::clamp(static_cast<int>(chart_->Curves().size()) + 1, 2, 9);
    readoutArea_->setFixedHeight(readout_->fontMetrics().lineSpacing() * lines + 8);
}

}  // namespace voltrex::results
