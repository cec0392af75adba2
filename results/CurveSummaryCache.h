#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/CurveFile.h"
#include "results/CurveFolder.h"

class QSqlQuery;

namespace voltrex::results {

// The curve summaries of every folder the results window has shown, kept in
// an SQLite database among the window's own files (never in the working
// folder): a summary is read from the whole file once, then taken from here
// while the file keeps its size and modification time.
//
// The database is never trusted blindly: one that cannot be opened, is no
// SQLite file, was written by another program or by another version of
// this one, or fails a query is moved aside (".damaged") and started anew;
// every answer is checked against the file's size and time, and an envelope
// that is not whole points is no envelope.
//
// Qt's SQL connections belong to the thread that made them: each cache is
// used on one thread only.
class CurveSummaryCache final : public SummaryStore {
  public:
    // The database's place: "voltrex2-results/curve-summaries.sqlite" in the
    // user's cache folder.
    static QString DefaultPath();
    // The layout of the tables and of an envelope's bytes, and what a
    // summary counts: 2 leaves glitch rows out of the voltage range, 3 keeps
    // envelopes in 16 bytes a point (CurveEnvelopeBlob.h).
    static constexpr int SchemaVersion = 3;

    // ReadOnly: only asks (the chart's worker, beside the loader that
    // writes); a database it cannot use is left as it is, never set aside.
    enum class Access { ReadWrite, ReadOnly };

    explicit CurveSummaryCache(const QString& path = DefaultPath(),
                               Access access = Access::ReadWrite);
    ~CurveSummaryCache() override;
    CurveSummaryCache(const CurveSummaryCache&) = delete;
    CurveSummaryCache& operator=(const CurveSummaryCache&) = delete;

    // Whether the database is in use; without it nothing is kept.
    bool Usable() const { return usable_; }
    // What was wrong with the database found, when it was set aside.
    const QString& SetAside() const { return setAside_; }

    std::optional<CurveFile> Find(const std::string& path, std::int64_t size,
                                  std::int64_t modified) override;
    void Store(const CurveFile& summary) override;
    void Flush() override;

    // The envelope of the file of that size and time; empty when unknown
    // or when the bytes kept are no envelope of it (then its summary is
    // forgotten, to be read again at the next listing).
    std::vector<CurveEnvelopePoint> Envelope(const std::string& path, std::int64_t size,
                                             std::int64_t modified);

    // Forgets the summaries of the files in folder (a curves/ folder) that
    // are not among present (their paths): files deleted or renamed would
    // otherwise be kept for ever.
    void Prune(const std::string& folder, const std::vector<std::string>& present);
    // The files of folder it holds a summary of (for the tests).
    std::vector<std::string> PathsIn(const std::string& folder);

  private:
    bool Open();
    bool Prepare();
    bool Tune();
    void Fail(const QString& what);
    void Forget(const std::string& path);

    QString path_;
    QString connection_;
    // The statements asked most, prepared once.
    std::unique_ptr<QSqlQuery> find_;
    std::unique_ptr<QSqlQuery> store_;
    std::unique_ptr<QSqlQuery> envelope_;
    Access access_;
    bool usable_ = false;
    bool inTransaction_ = false;
    bool outdated_ = false;  // the database found is an older one of ours
    QString setAside_;
};

}  // namespace voltrex::results
