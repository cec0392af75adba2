#include "app/Pictures.h"

// The pictures are compiled into the static window library, whose resource
// registration the linker would drop as unreferenced; registering them by hand
// keeps them in every program that uses the windows.
static void RegisterProgramPictures() {
    Q_INIT_RESOURCE(voltrex);
}

namespace voltrex {

namespace {

void EnsurePicturesRegistered() {
    static const bool registered = (RegisterProgramPictures(), true);
    (void)registered;
}

}  // namespace

QIcon Picture(const QString& name) {
    EnsurePicturesRegistered();
    return QIcon(QStringLiteral(":/pictures/") + name + QStringLiteral(".png"));
}

QIcon ProgramIcon() {
    EnsurePicturesRegistered();
    QIcon icon;
    for (const char* size : {"32", "64", "128"}) {
        icon.addFile(QStringLiteral(":/pictures/voltrex2-") + QLatin1String(size) +
                     QStringLiteral(".png"));
    }
    return icon;
}

}  // namespace voltrex
