#include "results/PackBox.h"

#include <QComboBox>
#include <QSignalBlocker>

#include "results/Plural.h"
#include "results/Widgets.h"

namespace voltrex::results {

void FillPackBox(QComboBox* box, const PackGrouping& grouping, bool withAll, const QString& keep) {
    const QSignalBlocker blocker(box);
    box->clear();
    if (withAll) {
        box->addItem(QComboBox::tr("All packs"), QString());
    }
    for (const Pack& pack : grouping.Packs) {
        box->addItem(QStringLiteral("%1 (%2)").arg(
                         Text(pack.Name),
                         Counted(static_cast<long long>(pack.Lines.size()), "record", "records")),
                     Text(pack.Id));
    }
    const int index = box->findData(keep);
    box->setCurrentIndex(index >= 0 ? index : 0);
}

}  // namespace voltrex::results
