#pragma once

#include <QString>

#include "results/PackGrouping.h"

class QComboBox;

namespace voltrex::results {

// Fills a box with the packs, "All packs" first when withAll, each with its
// number of records and its id as data; the pack with the id keep stays
// chosen (the first entry when it is gone). Sends no signal of the box.
void FillPackBox(QComboBox* box, const PackGrouping& grouping, bool withAll, const QString& keep);

}  // namespace voltrex::results
