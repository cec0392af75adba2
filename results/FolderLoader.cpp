#include "results/FolderLoader.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include "records/CurveGlitches.h"
#include "results/CurveSummaryCache.h"

namespace voltrex::results {

// The part that lives on the loader's thread: the curve folder as last
// listed and the cache's connection belong to that thread alone.
class FolderReader : public QObject {
  public:
    FolderReader(FolderLoader* loader, QString cachePath, std::shared_ptr<std::atomic<int>> latest)
        : loader_(loader), cachePath_(std::move(cachePath)), latest_(std::move(latest)) {}

    void Read(int generation, const QString& folder, ResultsFormat format) {
        const auto stale = [&] { return latest_->load() != generation; };
        if (stale()) {
            return;
        }
        if (!cache_) {
            cache_ = std::make_unique<CurveSummaryCache>(cachePath_);
        }
        const std::string path = folder.toStdString();
        auto files = std::make_shared<FolderFiles>(ReadFolderFiles(path, format));
        Hand(generation, [loader = loader_, files] { emit loader->FilesRead(files); });

        const std::string curvesFolder = InFolder(path, CurvesFolderName);
        curves_.List(curvesFolder, cache_.get());
        const int total = curves_.Listed();
        HandCurves(generation, total);
        QElapsedTimer sinceHanded;
        sinceHanded.start();
        while (curves_.Left() > 0) {
            if (stale()) {
                return;
            }
            // A few files at a time, so that a new Load is not kept waiting.
            curves_.ReadSome(4, cache_.get(), GlitchRows);
            if (sinceHanded.elapsed() >= 250 || curves_.Left() == 0) {
                HandCurves(generation, total);
                sinceHanded.restart();
            }
        }
        // The summaries of files that are gone are forgotten, once every
        // file there is known.
        std::vector<std::string> present;
        present.reserve(curves_.Curves().size());
        for (const CurveFile& curve : curves_.Curves()) {
            present.push_back(curve.Path);
        }
        cache_->Prune(curvesFolder, present);
        Hand(generation, [loader = loader_] { emit loader->Finished(); });
    }

  private:
    void HandCurves(int generation, int total) {
        auto curves = std::make_shared<std::vector<CurveFile>>(curves_.Curves());
        const int done = total - curves_.Left();
        Hand(generation, [loader = loader_, curves, done, total] {
            emit loader->CurvesRead(curves, done, total);
        });
    }
    void Hand(int generation, std::function<void()> hand) {
        QMetaObject::invokeMethod(
            loader_,
            [loader = loader_, generation, hand = std::move(hand)] {
                loader->Deliver(generation, hand);
            },
            Qt::QueuedConnection);
    }

    FolderLoader* loader_;
    QString cachePath_;
    std::shared_ptr<std::atomic<int>> latest_;
    std::unique_ptr<CurveSummaryCache> cache_;
    CurveFolder curves_;
};

FolderLoader::FolderLoader(const QString& cachePath, QObject* parent)
    : QObject(parent), latest_(std::make_shared<std::atomic<int>>(0)) {
    reader_ = new FolderReader(this, cachePath, latest_);
    reader_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, reader_, &QObject::deleteLater);
    connect(this, &FolderLoader::Finished, this, [this] { busy_ = false; });
    thread_.start(QThread::LowPriority);
}

FolderLoader::~FolderLoader() {
    // Whatever is being read is abandoned at its next step.
    latest_->store(-1);
    thread_.quit();
    thread_.wait();
}

void FolderLoader::Load(const QString& folder, ResultsFormat format) {
    const int generation = ++generation_;
    latest_->store(generation);
    busy_ = true;
    QMetaObject::invokeMethod(
        reader_,
        [reader = reader_, generation, folder, format] {
            reader->Read(generation, folder, format);
        },
        Qt::QueuedConnection);
}

void FolderLoader::Deliver(int generation, const std::function<void()>& hand) {
    if (generation != generation_) {
        return;
    }
    // Finished is the last thing a reading hands over.
    hand();
}

}  // namespace voltrex::results
