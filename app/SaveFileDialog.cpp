#include "app/SaveFileDialog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/MessageBoxes.h"

namespace voltrex {

namespace {

// A file the user may not write: the system says so (its permissions, a
// read-only mount), or no one at all has write permission, which root's
// right to write anyway does not change.
bool IsReadOnly(const QString& name) {
    const QByteArray path = QFile::encodeName(name);
    struct stat info = {};
    if (::stat(path.constData(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return false;
    }
    return ::access(path.constData(), W_OK) != 0 || (info.st_mode & 0222) == 0;
}

}  // namespace

SaveFileDialog::SaveFileDialog(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter)
    : QFileDialog(parent, caption, folder, filter) {
    // Only the toolkit's own dialog runs accept() below; a desktop's dialog
    // would return its name unchecked.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}

void SaveFileDialog::accept() {
    // The name as the dialog would return it: in the folder shown, with the
    // default extension added.
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
        const QFileInfo file(files.first());
        // A folder's name opens the folder: the dialog's own accept does that.
        if (!file.isDir()) {
            const QFileInfo folder(file.absolutePath());
            if (!folder.isDir()) {
                ShowErrorBox(this, QStringLiteral("The folder %1 does not exist.")
                                       .arg(QDir::toNativeSeparators(folder.filePath())));
                return;
            }
            if (IsReadOnly(file.filePath())) {
                ShowErrorBox(this, QStringLiteral("The file %1 is read-only.")
                                       .arg(QDir::toNativeSeparators(file.filePath())));
                return;
            }
        }
    }
    QFileDialog::accept();
}

}  // namespace voltrex
