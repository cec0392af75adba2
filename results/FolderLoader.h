#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <atomic>
#include <memory>
#include <vector>

#include "records/CurveFile.h"
#include "records/ResultsFile.h"
#include "results/ResultsFolder.h"

namespace voltrex::results {

class FolderReader;

// Reads a working folder's files on a thread of its own, so that no file of
// any size holds the window: first the results file and the names (handed
// over at once, the records shown while the curves are read), then the
// curves, from the summary cache where it knows them and read whole where
// it does not, handed over as they come (every quarter of a second) until
// the list is complete. A new Load abandons the reading under way; what it
// would still have handed over is dropped.
class FolderLoader : public QObject {
    Q_OBJECT

  public:
    // cachePath: where the summary cache is (CurveSummaryCache::DefaultPath).
    explicit FolderLoader(const QString& cachePath, QObject* parent = nullptr);
    ~FolderLoader() override;

    void Load(const QString& folder, ResultsFormat format);
    bool Busy() const { return busy_; }

  signals:
    void FilesRead(std::shared_ptr<FolderFiles> files);
    // The curves known so far: done of total files.
    void CurvesRead(std::shared_ptr<std::vector<CurveFile>> curves, int done, int total);
    void Finished();

  private:
    friend class FolderReader;
    // Called on the window's thread with what the reader found.
    void Deliver(int generation, const std::function<void()>& hand);

    QThread thread_;
    FolderReader* reader_;
    std::shared_ptr<std::atomic<int>> latest_;
    int generation_ = 0;
    bool busy_ = false;
};

}  // namespace voltrex::results
