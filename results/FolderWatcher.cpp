#include "results/FolderWatcher.h"

#include <QDir>
#include <QFileInfo>

#include "records/CurveFile.h"
#include "records/ResultsFile.h"
#include "results/PackNames.h"

namespace voltrex::results {

FolderWatcher::FolderWatcher(QObject* parent) : QObject(parent) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(400);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        AddPaths();
        emit Changed();
    });
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, &FolderWatcher::Touched);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, &FolderWatcher::Touched);
}

void FolderWatcher::Watch(const QString& folder) {
    quiet_.stop();
    if (!watcher_.files().isEmpty()) {
        watcher_.removePaths(watcher_.files());
    }
    if (!watcher_.directories().isEmpty()) {
        watcher_.removePaths(watcher_.directories());
    }
    folder_ = folder;
    AddPaths();
}

void FolderWatcher::Touched() {
    AddPaths();
    quiet_.start();
}

void FolderWatcher::AddPaths() {
    if (folder_.isEmpty()) {
        return;
    }
    const QDir dir(folder_);
    const QString candidates[] = {
        folder_,
        dir.filePath(QString::fromLatin1(ResultsFileName)),
        dir.filePath(QString::fromLatin1(CurvesFolderName)),
        dir.filePath(QString::fromLatin1(PackNamesFileName)),
    };
    const QStringList watched = watcher_.files() + watcher_.directories();
    for (const QString& path : candidates) {
        if (!watched.contains(path) && QFileInfo::exists(path)) {
            watcher_.addPath(path);
        }
    }
}

}  // namespace voltrex::results
