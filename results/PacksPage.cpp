#include "results/PacksPage.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/CFormat.h"
#include "results/PacksModel.h"
#include "results/Plural.h"
#include "results/ResultsFolder.h"
#include "results/Widgets.h"

namespace voltrex::results {

namespace {

// The threshold is edited as a percentage of the rating.
class PercentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                          const QModelIndex& /*index*/) const override {
        auto* box = new QDoubleSpinBox(parent);
        box->setRange(1.0, 100.0);
        box->setDecimals(1);
        box->setSingleStep(1.0);
        box->setSuffix(QStringLiteral(" %"));
        box->setFrame(false);
        return box;
    }
};

QDoubleSpinBox* LimitBox(double percent, const QString& tip, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(0.0, 100.0);
    box->setDecimals(1);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" %"));
    box->setValue(percent);
    box->setToolTip(tip);
    return box;
}

}  // namespace

PacksPage::PacksPage(QWidget* parent) : QWidget(parent), model_(new PacksModel(this)) {
    sorted_ = new QSortFilterProxyModel(this);
    sorted_->setSourceModel(model_);
    sorted_->setSortRole(PacksModel::SortRole);
    // The retired packs are left out unless asked for.
    sorted_->setFilterRole(PacksModel::RetiredRole);
    sorted_->setFilterKeyColumn(0);
    sorted_->setFilterRegularExpression(QStringLiteral("^false$"));
    summary_ = new QLabel(this);
    summary_->setWordWrap(true);

    table_ = new QTableView(this);
    table_->setModel(sorted_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(PacksModel::HealthColumn, Qt::AscendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    // F2 names the pack, as on the records.
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked);
    table_->setItemDelegateForColumn(PacksModel::ReplaceAtColumn, new PercentDelegate(table_));
    table_->setAlternatingRowColors(true);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->horizontalHeader()->setStretchLastSection(true);
    // Double-click (or Enter) on a figure: the pack's history; on the
    // threshold or the note: edit it.
    connect(table_, &QTableView::activated, this, [this] {
        const QString pack = CurrentPackId();
        if (!pack.isEmpty()) {
            emit HistoryRequested(pack);
        }
    });
    connect(model_, &PacksModel::ReplaceAtEdited, this, &PacksPage::ReplaceAtEdited);
    connect(model_, &PacksModel::NoteEdited, this, &PacksPage::NoteEdited);

    auto* history = new QPushButton(tr("Capacity &History"), this);
    history->setToolTip(tr("The chosen pack's capacity over time (double-click a row)"));
    connect(history, &QPushButton::clicked, this, [this] {
        const QString pack = CurrentPackId();
        if (!pack.isEmpty()) {
            emit HistoryRequested(pack);
        }
    });
    auto* note = new QPushButton(tr("Pack &Note..."), this);
    note->setToolTip(tr("A note of the chosen pack, of several lines if need be"));
    connect(note, &QPushButton::clicked, this, &PacksPage::EditNoteClicked);
    retire_ = new QPushButton(tr("&Retire"), this);
    connect(retire_, &QPushButton::clicked, this, [this] {
        const QString pack = CurrentPackId();
        if (const std::optional<int> row = model_->RowOf(pack)) {
            emit RetiredEdited(pack, !model_->Retired(static_cast<std::size_t>(*row)));
        }
    });
    connect(table_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &PacksPage::UpdateRetireButton);
    showRetired_ = new QCheckBox(tr("Show retired &packs"), this);
    showRetired_->setToolTip(tr("Packs you no longer use, greyed, their history kept"));
    connect(showRetired_, &QCheckBox::toggled, this, [this](bool show) {
        sorted_->setFilterRegularExpression(show ? QString() : QStringLiteral("^false$"));
        UpdateRetireButton();
    });

    auto* top = new QWidget(this);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(summary_);
    topLayout->addWidget(table_, 1);
    topLayout->addWidget(Row(this, {history, note, retire_, showRetired_}));

    // Matching: packs of one type and rating that agree within the limits.
    capacityLimit_ = LimitBox(3.0, tr("Capacities agree within this share of the rating"), this);
    resistanceLimit_ =
        LimitBox(15.0, tr("Resistances per cell agree within this share of the lower"), this);
    sets_ = new QTreeWidget(this);
    sets_->setColumnCount(5);
    sets_->setHeaderLabels({tr("Set / pack"), tr("Capacity"), tr("Health"),
                            tr("Resistance per cell"), tr("Last test")});
    sets_->setRootIsDecorated(true);
    sets_->setAlternatingRowColors(true);
    sets_->header()->setStretchLastSection(true);
    auto* bottom = new QWidget(this);
    auto* bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    auto* heading = new QLabel(tr("<b>Matching sets</b>: packs to keep of one type and rating "
                                  "whose capacity and resistance agree"),
                               this);
    bottomLayout->addWidget(Row(
        this, {heading, BuddyLabel(tr("C&apacity within:"), capacityLimit_, this), capacityLimit_,
               BuddyLabel(tr("R&esistance within:"), resistanceLimit_, this), resistanceLimit_}));
    bottomLayout->addWidget(sets_, 1);
    connect(capacityLimit_, &QDoubleSpinBox::valueChanged, this, &PacksPage::ShowSets);
    connect(resistanceLimit_, &QDoubleSpinBox::valueChanged, this, &PacksPage::ShowSets);

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(top);
    splitter->addWidget(bottom);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter);
}

QString PacksPage::CurrentPackId() const {
    const QModelIndex current = table_->currentIndex();
    return current.isValid() ? current.data(PacksModel::PackRole).toString() : QString();
}

void PacksPage::SetCurrentPack(const QString& packId) {
    if (const std::optional<int> row = model_->RowOf(packId)) {
        table_->setCurrentIndex(sorted_->mapFromSource(model_->index(*row, 0)));
    }
}

void PacksPage::Show(const ResultsFolder& folder) {
    const QString current = CurrentPackId();
    model_->Show(folder);
    table_->resizeColumnsToContents();
    SetCurrentPack(current);
    ShowSummary();
    ShowSets();
    UpdateRetireButton();
}

void PacksPage::ShowSummary() {
    int due = 0;
    int near = 0;
    long long retired = 0;
    for (std::size_t i = 0; i < model_->Health().size(); ++i) {
        const QModelIndex index = model_->index(static_cast<int>(i), 0);
        const auto band = static_cast<HealthBand>(index.data(PacksModel::BandRole).toInt());
        due += band == HealthBand::Replace ? 1 : 0;
        near += band == HealthBand::Near ? 1 : 0;
        retired += model_->Retired(i) ? 1 : 0;
    }
    const auto packs = static_cast<long long>(model_->Health().size());
    if (packs == 0) {
        summary_->setText(tr("No packs yet: a pack shows up with its first record."));
        return;
    }
    QString text =
        tr("%1: %2 below the threshold, %3 close above it")
            .arg(retired == 0 ? Counted(packs, "pack", "packs")
                              : tr("%1 in use").arg(Counted(packs - retired, "pack", "packs")))
            .arg(due)
            .arg(near);
    if (retired > 0) {
        text += tr("; %1 retired").arg(retired);
    }
    summary_->setText(text + QStringLiteral("."));
}

void PacksPage::UpdateRetireButton() {
    const std::optional<int> row = model_->RowOf(CurrentPackId());
    const bool retired = row && model_->Retired(static_cast<std::size_t>(*row));
    retire_->setEnabled(row.has_value());
    retire_->setText(retired ? tr("Back in &Use") : tr("&Retire"));
    retire_->setToolTip(retired ? tr("Use the chosen pack again: judged and matched again")
                                : tr("The chosen pack is no longer used: left out of this "
                                     "table and the sets, its history kept"));
}

void PacksPage::ShowSets() {
    const std::vector<PackHealth>& packs = model_->Health();
    const MatchLimits limits{capacityLimit_->value() / 100.0, resistanceLimit_->value() / 100.0};
    const std::vector<std::vector<std::size_t>> sets =
        MatchPacks(packs, limits, model_->RetiredRows());
    sets_->clear();
    int number = 0;
    for (const std::vector<std::size_t>& set : sets) {
        const PackHealth& first = packs[set.front()];
        auto* item = new QTreeWidgetItem(sets_);
        item->setText(0, tr("Set %1: %2 %3, %4 mAh")
                             .arg(++number)
                             .arg(static_cast<int>(set.size()))
                             .arg(Text(first.Type))
                             .arg(first.Rated));
        item->setFirstColumnSpanned(true);
        for (const std::size_t member : set) {
            const PackHealth& p = packs[member];
            auto* child = new QTreeWidgetItem(item);
            child->setText(0, Text(p.Name));
            child->setData(0, Qt::UserRole, Text(p.PackId));
            child->setText(1, Text(Format("%.0f mAh", p.Capacity.value_or(0.0))));
            child->setText(
                2, p.StateOfHealth ? Text(Format("%.1f %%", *p.StateOfHealth * 100.0)) : QString());
            child->setText(3, Text(Format("%.1f m\xCE\xA9",
                                          p.Ohms.value_or(0.0) * 1000.0 / std::max(p.Cells, 1))));
            const QModelIndex row =
                model_->index(static_cast<int>(member), PacksModel::LastTestColumn);
            child->setText(4, row.data().toString());
            for (int column = 1; column < 4; ++column) {
                child->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
            }
        }
        item->setExpanded(true);
    }
    if (sets.empty()) {
        auto* none = new QTreeWidgetItem(sets_);
        none->setText(0, packs.empty() ? QString() : tr("No two packs agree within these limits."));
        none->setFirstColumnSpanned(true);
        none->setFlags(Qt::NoItemFlags);
    }
    for (int column = 0; column < 4; ++column) {
        sets_->resizeColumnToContents(column);
    }
}

void PacksPage::EditNoteClicked() {
    const QString pack = CurrentPackId();
    const std::optional<int> row = model_->RowOf(pack);
    if (!row) {
        return;
    }
    const QModelIndex index = model_->index(*row, PacksModel::NoteColumn);
    bool ok = false;
    const QString note = QInputDialog::getMultiLineText(
        this, tr("Pack Note"),
        tr("A note of %1:").arg(model_->index(*row, PacksModel::NameColumn).data().toString()),
        index.data(Qt::ToolTipRole).toString(), &ok);
    if (ok) {
        emit NoteEdited(pack, note);
    }
}

}  // namespace voltrex::results
