#pragma once

#include <QIcon>
#include <QString>

namespace voltrex {

// A picture of the program's own set (app/resources), by name without the
// extension: "discharge", "charge", "autocycle", "resistance", "monitor",
// "setup", "save", "exit", "stop", "stop-32", "start", "cancel".
QIcon Picture(const QString& name);

// The program's icon in all the sizes it ships.
QIcon ProgramIcon();

}  // namespace voltrex
