// The curve summaries kept between runs: given back only for the file of
// the same size and time, and a database that is not ours set aside.

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "CurveTestData.h"
#include "results/CurveFolder.h"
#include "results/CurveSummaryCache.h"

using namespace voltrex;
using namespace voltrex::results;

namespace {

void WriteFile(const QString& path, const std::string& text) {
    std::ofstream(path.toStdString(), std::ios::binary) << text;
}

// A database of someone else's at path, made through its own connection.
void MakeDatabase(const QString& path, const QStringList& statements) {
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        for (const QString& statement : statements) {
            QVERIFY2(query.exec(statement), qPrintable(statement));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
}

}  // namespace

class CurveSummaryCacheTest : public QObject {
    Q_OBJECT

  private slots:
    void aSummaryComesBackOnlyForTheSameSizeAndTime() {
        QTemporaryDir dir;
        const QString curvePath = dir.filePath(QStringLiteral("20261208-141503-DIS.csv"));
        testing::CurvePlan plan;
        plan.Seconds = 3000;
        WriteFile(curvePath, testing::CurveText(plan) + "3001,garbage\n");
        CurveFile summary = ReadCurveSummary(curvePath.toStdString());
        summary.FileSize = 123456;
        summary.Modified = 1796739303000000000;
        QVERIFY(!summary.Envelope.empty());

        const QString database = dir.filePath(QStringLiteral("cache/summaries.sqlite"));
        {
            CurveSummaryCache cache(database);
            QVERIFY(cache.Usable());
            QVERIFY(!cache.Find(summary.Path, summary.FileSize, summary.Modified));
            cache.Store(summary);
            cache.Flush();
        }
        CurveSummaryCache cache(database);
        QVERIFY(cache.Usable());
        QVERIFY(cache.SetAside().isEmpty());
        const std::optional<CurveFile> found =
            cache.Find(summary.Path, summary.FileSize, summary.Modified);
        QVERIFY(found);
        QCOMPARE(found->Name, summary.Name);
        QCOMPARE(found->Header, summary.Header);
        QCOMPARE(found->Mode, std::string("DIS"));
        QCOMPARE(found->StartSeconds, summary.StartSeconds);
        QCOMPARE(found->EndReason, summary.EndReason);
        QCOMPARE(found->ReadableRows, 3001);
        QCOMPARE(found->UnreadableRows, 1);
        QCOMPARE(found->FirstUnreadableLine, summary.FirstUnreadableLine);
        QCOMPARE(found->LowestVolts, summary.LowestVolts);
        QCOMPARE(found->HighestVolts, summary.HighestVolts);
        QVERIFY(found->LastRow);
        QCOMPARE(found->LastRow->Seconds, 3000);
        QCOMPARE(found->LastRow->MilliampHours, summary.LastRow->MilliampHours);
        QVERIFY(found->Envelope.empty());

        const std::vector<CurveEnvelopePoint> envelope =
            cache.Envelope(summary.Path, summary.FileSize, summary.Modified);
        QCOMPARE(envelope.size(), summary.Envelope.size());
        QCOMPARE(envelope.back().ToSeconds, 3000);
        QCOMPARE(envelope[17].MaxVolts, summary.Envelope[17].MaxVolts);

        // The file grew, or was touched: read again.
        QVERIFY(!cache.Find(summary.Path, summary.FileSize + 1, summary.Modified));
        QVERIFY(!cache.Find(summary.Path, summary.FileSize, summary.Modified + 1));
        QVERIFY(cache.Envelope(summary.Path, summary.FileSize + 1, summary.Modified).empty());
        QVERIFY(!cache.Find(summary.Path + "x", summary.FileSize, summary.Modified));
    }

    void aDatabaseThatIsNotOursIsSetAsideAndStartedAnew() {
        const auto ours = [](int version) {
            return QStringList{
                QStringLiteral("CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)"),
                QStringLiteral("CREATE TABLE summaries (path TEXT)"),
                QStringLiteral("INSERT INTO meta VALUES ('application', "
                               "'voltrex2-results curve summaries')"),
                QStringLiteral("INSERT INTO meta VALUES ('schema', '%1')").arg(version)};
        };
        const struct {
            const char* What;
            QStringList Statements;  // empty: garbage bytes
            bool Kept;               // set aside rather than removed
        } cases[] = {
            {"garbage", {}, true},
            {"another program's", {QStringLiteral("CREATE TABLE notes (text TEXT)")}, true},
            {"a later version's", ours(CurveSummaryCache::SchemaVersion + 1), true},
            // Only out of date: removed, not kept beside the new one.
            {"an older version's", ours(CurveSummaryCache::SchemaVersion - 1), false},
        };
        for (const auto& c : cases) {
            QTemporaryDir dir;
            const QString database = dir.filePath(QStringLiteral("summaries.sqlite"));
            if (c.Statements.isEmpty()) {
                WriteFile(database, std::string(5000, '\x5A'));
            } else {
                MakeDatabase(database, c.Statements);
            }
            const QByteArray before = [&] {
                QFile file(database);
                return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            }();
            CurveSummaryCache cache(database);
            QVERIFY2(cache.Usable(), c.What);
            QVERIFY2(!cache.SetAside().isEmpty(), c.What);
            QFile aside(database + QStringLiteral(".damaged"));
            QCOMPARE(aside.exists(), c.Kept);
            if (c.Kept) {
                QVERIFY2(aside.open(QIODevice::ReadOnly), c.What);
                QCOMPARE(aside.readAll(), before);
            }

            CurveFile summary =
                ReadCurveSummary(dir.filePath(QStringLiteral("none.csv")).toStdString());
            summary.FileSize = 1;
            cache.Store(summary);
            cache.Flush();
            QVERIFY2(cache.Find(summary.Path, 1, 0), c.What);
        }
    }

    void anEnvelopeThatIsNotTheFilesIsForgotten() {
        QTemporaryDir dir;
        const QString curvePath = dir.filePath(QStringLiteral("20261208-141503-DIS.csv"));
        testing::CurvePlan plan;
        plan.Seconds = 3000;
        WriteFile(curvePath, testing::CurveText(plan));
        CurveFile summary = ReadCurveSummary(curvePath.toStdString());
        summary.FileSize = 1;
        const QString database = dir.filePath(QStringLiteral("summaries.sqlite"));
        const struct {
            const char* What;
            const char* Statement;  // on the stored row; none: as stored
            bool Kept;
        } cases[] = {
            {"as stored", nullptr, true},
            {"a byte short",
             "UPDATE summaries SET envelope = substr(envelope, 1, length(envelope) - 1)", false},
            {"a point short",
             "UPDATE summaries SET envelope = substr(envelope, 1, length(envelope) - 16)", false},
            {"ending a second before the file", "UPDATE summaries SET last_seconds = 3001", false},
            {"ending a second after it", "UPDATE summaries SET last_seconds = 2999", false},
            {"no envelope for rows", "UPDATE summaries SET envelope = NULL", false},
            {"text for bytes", "UPDATE summaries SET envelope = 'VXE1'", false},
        };
        for (const auto& c : cases) {
            QFile::remove(database);
            {
                CurveSummaryCache cache(database);
                cache.Store(summary);
                cache.Flush();
            }
            if (c.Statement != nullptr) {
                MakeDatabase(database, {QLatin1String(c.Statement)});
            }
            CurveSummaryCache cache(database);
            const std::vector<CurveEnvelopePoint> envelope =
                cache.Envelope(summary.Path, 1, summary.Modified);
            QCOMPARE(envelope.empty(), !c.Kept);
            // Forgotten: read again from the file at the next listing.
            QCOMPARE(bool(cache.Find(summary.Path, 1, summary.Modified)), c.Kept);
        }
        // A reader that only asks leaves a missing database missing and a
        // damaged one where it is.
        QFile::remove(database);
        QVERIFY(!CurveSummaryCache(database, CurveSummaryCache::Access::ReadOnly).Usable());
        QVERIFY(!QFile::exists(database));
        WriteFile(database, std::string(5000, '\x5A'));
        QVERIFY(!CurveSummaryCache(database, CurveSummaryCache::Access::ReadOnly).Usable());
        QVERIFY(!QFile::exists(database + QStringLiteral(".damaged")));
    }

    void theSummariesOfFilesGoneArePruned() {
        QTemporaryDir dir;
        const QString database = dir.filePath(QStringLiteral("summaries.sqlite"));
        CurveSummaryCache cache(database);
        // The folder's files, one in a folder within it, and a neighbour
        // whose name starts with the folder's.
        const std::string folder = "/data/curves";
        for (const std::string path :
             {"/data/curves/a.csv", "/data/curves/b.csv", "/data/curves/c.csv",
              "/data/curves/old/d.csv", "/data/curves2/a.csv", "/data/curve/a.csv"}) {
            CurveFile summary;
            summary.Path = path;
            cache.Store(summary);
        }
        cache.Flush();
        QCOMPARE(cache.PathsIn(folder),
                 (std::vector<std::string>{"/data/curves/a.csv", "/data/curves/b.csv",
                                           "/data/curves/c.csv"}));
        cache.Prune(folder, {"/data/curves/b.csv"});
        QCOMPARE(cache.PathsIn(folder), (std::vector<std::string>{"/data/curves/b.csv"}));
        for (const std::string path : {"/data/curves/b.csv", "/data/curves/old/d.csv",
                                       "/data/curves2/a.csv", "/data/curve/a.csv"}) {
            QVERIFY2(cache.Find(path, -1, 0), path.c_str());
        }
        QVERIFY(!cache.Find("/data/curves/a.csv", -1, 0));
    }

    void aFolderListedAgainReadsOnlyWhatChanged() {
        QTemporaryDir dir;
        testing::CurvePlan plan;
        plan.End.clear();
        WriteFile(dir.filePath(QStringLiteral("20261208-141503-DIS.csv")),
                  testing::CurveText(plan));
        testing::CurvePlan other;
        other.Start = "2026-12-09 10:00:00";
        WriteFile(dir.filePath(QStringLiteral("20261209-100000-DIS.csv")),
                  testing::CurveText(other));
        const QString database = dir.filePath(QStringLiteral("summaries.sqlite"));
        {
            CurveSummaryCache cache(database);
            CurveFolder folder;
            folder.Refresh(dir.path().toStdString(), &cache);
            QCOMPARE(folder.FilesRead(), 2);
            QVERIFY(folder.Curves()[0].Envelope.empty());
        }
        // Another run: nothing read; then the running test has grown.
        CurveSummaryCache cache(database);
        CurveFolder folder;
        folder.Refresh(dir.path().toStdString(), &cache);
        QCOMPARE(folder.FilesRead(), 0);
        QCOMPARE(folder.Curves().size(), std::size_t{2});
        QCOMPARE(folder.Curves()[0].Duration(), 60);
        std::ofstream(dir.filePath(QStringLiteral("20261208-141503-DIS.csv")).toStdString(),
                      std::ios::app)
            << "61,8.3,-1.500,9,25.4167,210.0000\n";
        folder.Refresh(dir.path().toStdString(), &cache);
        QCOMPARE(folder.FilesRead(), 1);
        QCOMPARE(folder.Curves()[0].Duration(), 61);
    }
};

QTEST_GUILESS_MAIN(CurveSummaryCacheTest)
#include "CurveSummaryCacheTest.moc"
