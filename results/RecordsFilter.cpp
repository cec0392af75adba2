#include "results/RecordsFilter.h"

#include "results/RecordsModel.h"

namespace voltrex::results {

RecordsFilter::RecordsFilter(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(RecordsModel::SortRole);
}

void RecordsFilter::SetPack(const QString& packId) {
    if (packId != pack_) {
        pack_ = packId;
        invalidateRowsFilter();
    }
}

void RecordsFilter::SetMode(const QString& mode) {
    if (mode != mode_) {
        mode_ = mode;
        invalidateRowsFilter();
    }
}

void RecordsFilter::SetText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed != text_) {
        text_ = trimmed;
        invalidateRowsFilter();
    }
}

bool RecordsFilter::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    const QAbstractItemModel* model = sourceModel();
    const QModelIndex first = model->index(sourceRow, 0, sourceParent);
    const bool readable = first.data(RecordsModel::ReadableRole).toBool();
    if (!pack_.isEmpty() && (!readable || first.data(RecordsModel::PackRole).toString() != pack_)) {
        return false;
    }
    if (!mode_.isEmpty() &&
        (!readable ||
         model->index(sourceRow, RecordsModel::ModeColumn, sourceParent).data().toString() !=
             mode_)) {
        return false;
    }
    if (text_.isEmpty()) {
        return true;
    }
    // The texts of the row's columns, apart, so that no text is found across
    // two of them.
    return first.data(RecordsModel::SearchRole).toString().contains(text_, Qt::CaseInsensitive);
}

bool RecordsFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(RecordsModel::SortRole);
    const QVariant b = right.data(RecordsModel::SortRole);
    if (a.typeId() == QMetaType::QString || b.typeId() == QMetaType::QString) {
        return QString::localeAwareCompare(a.toString(), b.toString()) < 0;
    }
    return a.toDouble() < b.toDouble();
}

}  // namespace voltrex::results
