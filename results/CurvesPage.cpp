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
};

// The item of a file that is no curve: listed with why, never checked.
QTreeWidgetItem* UnusableItem(const CurveFile& curve) {
    const QString name = Text(curve.Name);
    auto* item = new CurveItem;
    item->setData(CurveStart, CurveNameRole, name);
    item->setToolTip(CurveStart, name);
    item->setText(CurveStart, name);
    item->setText(CurveEnd, CurvesPage::tr("not shown: %1").arg(Text(curve.Problem)));
    item->setToolTip(CurveEnd, item->text(CurveEnd));
    item->setFlags(Qt::ItemIsEnabled);
    item->setForeground(CurveStart, QApplication::palette().brush(QPalette::PlaceholderText));
    item->setData(CurveStart, CurveSortRole, -1.0);
    return item;
}

QTreeWidgetItem* CurveListItem(const CurveFile& curve, const QString& packName, bool checked) {
    const QString name = Text(curve.Name);
    auto* item = new CurveItem;
    item->setData(CurveStart, CurveNameRole, name);
    item->setToolTip(CurveStart, name);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(CurveStart, checked ? Qt::Checked : Qt::Unchecked);
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
    return item;
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
    readout_->setWordWrap(true);
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
    FillPackBox(pack_, folder_.Grouping(), true, pack_->currentData().toString());
    FillList();
}

void CurvesPage::FillList() {
    filling_ = true;
    list_->setSortingEnabled(false);
    list_->clear();
    const std::vector<CurveFile>& curves = folder_.Curves();
    QSet<QString> present;
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const CurveFile& curve = curves[i];
        if (!curve.Usable()) {
            items << UnusableItem(curve);
            continue;
        }
        const QString name = Text(curve.Name);
        present.insert(name);
        items << CurveListItem(curve, PackName(i), checked_.contains(name));
    }
    list_->addTopLevelItems(items);
    checked_.intersect(present);
    list_->setSortingEnabled(true);
    filling_ = false;
    FilterList();
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
    std::map<QString, std::size_t> index;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        index.emplace(Text(curves[i].Name), i);
    }
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        const auto found = index.find(item->data(CurveStart, CurveNameRole).toString());
        const bool shown =
            pack.empty() || (found != index.end() && folder_.PackOfCurve(found->second) == pack);
        item->setHidden(!shown);
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
    filling_ = true;
    // Unsorted meanwhile: a check is data of the sorted column, and a sorted
    // list of thousands sorts itself again after each.
    list_->setSortingEnabled(false);
    QSet<QString> present;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list_->topLevelItem(i);
        if (!(item->flags() & Qt::ItemIsUserCheckable)) {
            continue;
        }
        const QString name = item->data(CurveStart, CurveNameRole).toString();
        present.insert(name);
        item->setCheckState(CurveStart, checked_.contains(name) ? Qt::Checked : Qt::Unchecked);
    }
    list_->setSortingEnabled(true);
    filling_ = false;
    checked_.intersect(present);
    Replot();
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
    std::vector<ChartCurve> shown;
    const std::vector<CurveFile>& curves = folder_.Curves();
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (curves[i].Usable() && checked_.contains(Text(curves[i].Name))) {
            shown.push_back(ChartCurve{curves[i], PackName(i)});
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
