#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>
#include <QTimer>

namespace voltrex::results {

// Says when the folder's files change: the results file (a test finished in
// the main program), the curves/ folder (a test started) and the names file.
// A burst of changes (the main program appends a line, then closes the curve
// file) comes out as one Changed, a moment after the last of them.
class FolderWatcher : public QObject {
    Q_OBJECT

  public:
    explicit FolderWatcher(QObject* parent = nullptr);

    void Watch(const QString& folder);
    // How long the files must be quiet before Changed; the tests shorten it.
    void SetQuietMilliseconds(int milliseconds) { quiet_.setInterval(milliseconds); }

  signals:
    void Changed();

  private:
    void Touched();
    // Watches what exists now: a file created or replaced since (a file
    // renamed over another one is a new file to the system) is added again.
    void AddPaths();

    QFileSystemWatcher watcher_;
    QTimer quiet_;
    QString folder_;
};

}  // namespace voltrex::results
