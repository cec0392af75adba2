#include "results/RecordsPage.h"

#include <QComboBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "records/TestMode.h"
#include "results/PackBox.h"
#include "results/RecordsFilter.h"
#include "results/RecordsModel.h"
#include "results/Widgets.h"

namespace voltrex::results {

RecordsPage::RecordsPage(RecordsModel* model, RecordsFilter* filter, QWidget* parent)
    : QWidget(parent), model_(model), filter_(filter) {
    pack_ = new QComboBox(this);
    pack_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    pack_->setMinimumContentsLength(26);
    mode_ = new QComboBox(this);
    mode_->addItem(tr("Discharges and charges"), QString());
    mode_->addItem(tr("Discharges"), QString::fromLatin1(ModeCode(TestMode::Discharge)));
    mode_->addItem(tr("Charges"), QString::fromLatin1(ModeCode(TestMode::Charge)));
    find_ = new QLineEdit(this);
    find_->setPlaceholderText(tr("Text anywhere in the row"));
    find_->setClearButtonEnabled(true);
    find_->setMinimumWidth(200);
    shownCount_ = new QLabel(this);
    auto* top = Row(
        this, {BuddyLabel(tr("&Pack:"), pack_, this), pack_, BuddyLabel(tr("&Mode:"), mode_, this),
               mode_, BuddyLabel(tr("F&ind:"), find_, this), find_});
    static_cast<QHBoxLayout*>(top->layout())->addWidget(shownCount_);

    table_ = new QTableView(this);
    table_->setModel(filter_);
    table_->setSortingEnabled(true);
    table_->sortByColumn(RecordsModel::DateColumn, Qt::DescendingOrder);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Only a note is written in the table: F2, or a click on the chosen row
    // (a double-click shows the curves).
    table_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
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
        // The date's column has room for the mark of a line that is no
        // record or a record no pack can give.
        const int mark = column == RecordsModel::DateColumn ? table_->iconSize().width() + 20 : 0;
        header->resizeSection(
            column,
            table_->fontMetrics().horizontalAdvance(RecordsModel::WidestText(column)) + 18 + mark);
    }
    connect(table_, &QTableView::activated, this, &RecordsPage::ShowCurvesRequested);

    auto* showCurves = new QPushButton(tr("Show &Curves"), this);
    auto* showHistory = new QPushButton(tr("Capacity &History"), this);
    auto* rename = new QPushButton(tr("&Name Pack..."), this);
    auto* putInto = new QPushButton(tr("P&ut into Pack..."), this);
    showCurves->setToolTip(tr("The curves of the selected records, overlaid (Enter)"));
    showHistory->setToolTip(tr("The capacity history of the selected record's pack"));
    connect(showCurves, &QPushButton::clicked, this, &RecordsPage::ShowCurvesRequested);
    connect(showHistory, &QPushButton::clicked, this, &RecordsPage::ShowHistoryRequested);
    connect(rename, &QPushButton::clicked, this, &RecordsPage::RenameRequested);
    connect(putInto, &QPushButton::clicked, this, &RecordsPage::PutIntoPackRequested);
    auto* bottom = Row(this, {showCurves, showHistory, rename, putInto});

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(top);
    layout->addWidget(table_, 1);
    layout->addWidget(bottom);

    connect(pack_, &QComboBox::currentIndexChanged, this,
            [this] { filter_->SetPack(pack_->currentData().toString()); });
    connect(mode_, &QComboBox::currentIndexChanged, this,
            [this] { filter_->SetMode(mode_->currentData().toString()); });
    connect(find_, &QLineEdit::textChanged, filter_, &RecordsFilter::SetText);
    connect(filter_, &QAbstractItemModel::layoutChanged, this, &RecordsPage::RowsChanged);
    connect(filter_, &QAbstractItemModel::modelReset, this, &RecordsPage::RowsChanged);
    connect(filter_, &QAbstractItemModel::rowsInserted, this, &RecordsPage::RowsChanged);
    connect(filter_, &QAbstractItemModel::rowsRemoved, this, &RecordsPage::RowsChanged);
    // The count follows every change of the rows shown: the pack, the mode
    // and the text found.
    connect(this, &RecordsPage::RowsChanged, this, &RecordsPage::UpdateCount);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecordsPage::SelectionChanged);
}

void RecordsPage::FillPacks(const PackGrouping& grouping) {
    FillPackBox(pack_, grouping, true, pack_->currentData().toString());
    filter_->SetPack(pack_->currentData().toString());
}

void RecordsPage::UpdateSpans(int unreadable) {
    // (Many spans make the view slow; a file of nothing but garbage shows
    // its text elided in one column instead.)
    table_->clearSpans();
    if (unreadable > 500) {
        return;
    }
    for (int row = 0; row < filter_->rowCount(); ++row) {
        if (!filter_->index(row, 0).data(RecordsModel::ReadableRole).toBool()) {
            table_->setSpan(row, RecordsModel::ModeColumn, 1, RecordsModel::ColumnCount - 1);
        }
    }
}

void RecordsPage::UpdateCount() {
    shownCount_->setText(tr("%1 of %2 shown").arg(filter_->rowCount()).arg(model_->rowCount()));
}

void RecordsPage::Find() {
    find_->setFocus();
    find_->selectAll();
}

std::vector<std::size_t> RecordsPage::SelectedLines() const {
    std::vector<std::size_t> lines;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        lines.push_back(index.data(RecordsModel::LineRole).toULongLong());
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

void RecordsPage::SelectLines(const std::vector<std::size_t>& lines) {
    // The rows as runs of neighbours, one range each: a selection of
    // thousands of one-row ranges costs the table seconds to take in.
    std::vector<int> rows;
    rows.reserve(lines.size());
    for (const std::size_t line : lines) {
        const QModelIndex index = filter_->mapFromSource(model_->index(static_cast<int>(line), 0));
        if (index.isValid()) {
            rows.push_back(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QItemSelection selection;
    const int lastColumn = RecordsModel::ColumnCount - 1;
    for (std::size_t first = 0; first < rows.size();) {
        std::size_t last = first;
        while (last + 1 < rows.size() && rows[last + 1] == rows[last] + 1) {
            ++last;
        }
        selection.select(filter_->index(rows[first], 0), filter_->index(rows[last], lastColumn));
        first = last + 1;
    }
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

std::optional<std::size_t> RecordsPage::CurrentLine() const {
    const QModelIndex index = table_->currentIndex();
    if (!index.isValid()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(index.data(RecordsModel::LineRole).toULongLong());
}

void RecordsPage::SetCurrentLine(std::size_t line) {
    const QModelIndex index = filter_->mapFromSource(model_->index(static_cast<int>(line), 0));
    table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
}

}  // namespace voltrex::results
