#include "results/CurveSummaryCache.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <atomic>
#include <cstring>
#include <set>

#include "results/CurveEnvelopeBlob.h"

namespace voltrex::results {

namespace {

// What the meta table names this database's writer.
constexpr const char* Application = "voltrex2-results curve summaries";

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

// The header lines and the end line as the file has them, for the reader
// to read again.
QString HeaderText(const CurveFile& curve) {
    std::string text;
    for (const auto& [key, value] : curve.Header) {
        text += "# " + key + ": " + value + "\n";
    }
    if (curve.EndReason) {
        text += "# End: " + *curve.EndReason + "\n";
    }
    return Text(text);
}

QVariant Optional(const std::optional<double>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::Double));
}

std::optional<double> OptionalDouble(const QVariant& value) {
    return value.isNull() ? std::nullopt : std::optional<double>(value.toDouble());
}

QString NewConnectionName() {
    static std::atomic<int> next{0};
    return QStringLiteral("voltrex2-curve-summaries-%1").arg(next++);
}

}  // namespace

QString CurveSummaryCache::DefaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/voltrex2-results/curve-summaries.sqlite");
}

CurveSummaryCache::CurveSummaryCache(const QString& path, Access access)
    : path_(path), connection_(NewConnectionName()), access_(access) {
    if (access_ == Access::ReadOnly) {
        if (!QFileInfo::exists(path_) || !Open()) {
            usable_ = false;
        }
        return;
    }
    QDir().mkpath(QFileInfo(path_).absolutePath());
    if (!Open()) {
        // Whatever was there is set aside, and a new database started.
        QSqlDatabase::removeDatabase(connection_);
        // One of an older version of ours is only out of date: removed, so
        // that the old summaries do not lie beside the new ones for ever.
        const QString aside = path_ + QStringLiteral(".damaged");
        QFile::remove(aside);
        if (outdated_) {
            QFile::remove(path_);
        } else {
            QFile::rename(path_, aside);
        }
        QFile::remove(path_ + QStringLiteral("-wal"));
        QFile::remove(path_ + QStringLiteral("-shm"));
        connection_ = NewConnectionName();
        if (!Open()) {
            QSqlDatabase::removeDatabase(connection_);
            usable_ = false;
        }
    }
}

CurveSummaryCache::~CurveSummaryCache() {
    Flush();
    find_.reset();
    store_.reset();
    envelope_.reset();
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

bool CurveSummaryCache::Open() {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(path_);
    if (access_ == Access::ReadOnly) {
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    }
    if (!db.open()) {
        setAside_ = db.lastError().text();
        return false;
    }
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"))) {
        setAside_ = query.lastError().text();
        return false;
    }
    QStringList tables;
    while (query.next()) {
        tables << query.value(0).toString();
    }
    if (tables.isEmpty()) {
        if (access_ == Access::ReadOnly) {
            return false;
        }
        usable_ = Prepare();
        return usable_ && Tune();
    }
    // A database of ours, of this layout; anything else is set aside.
    if (!tables.contains(QStringLiteral("meta")) || !tables.contains(QStringLiteral("summaries")) ||
        !query.exec(QStringLiteral("SELECT key, value FROM meta"))) {
        setAside_ = QStringLiteral("not a curve summary database");
        return false;
    }
    QString application;
    int version = 0;
    while (query.next()) {
        if (query.value(0).toString() == QLatin1String("application")) {
            application = query.value(1).toString();
        } else if (query.value(0).toString() == QLatin1String("schema")) {
            version = query.value(1).toInt();
        }
    }
    if (application != QLatin1String(Application) || version != SchemaVersion) {
        outdated_ =
            application == QLatin1String(Application) && version > 0 && version < SchemaVersion;
        setAside_ = outdated_ ? QStringLiteral("written by an older version")
                              : QStringLiteral("written by another program or version");
        return false;
    }
    usable_ = true;
    return Tune();
}

bool CurveSummaryCache::Tune() {
    // Once the database is known to be ours: a journal that survives a
    // crash without waiting for the disk at every batch.
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    return true;
}

bool CurveSummaryCache::Prepare() {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery query(db);
    const char* const statements[] = {
        "CREATE TABLE meta (key TEXT PRIMARY KEY, value TEXT)",
        "CREATE TABLE summaries ("
        " path TEXT PRIMARY KEY, size INTEGER NOT NULL, modified INTEGER NOT NULL,"
        " header TEXT NOT NULL, problem TEXT NOT NULL,"
        " readable INTEGER NOT NULL, unreadable INTEGER NOT NULL, first_unreadable INTEGER NOT "
        "NULL,"
        " glitches INTEGER NOT NULL, lowest REAL, highest REAL,"
        " last_seconds INTEGER, last_volts REAL, last_amperes REAL, last_rate INTEGER,"
        " last_mah REAL, last_mwh REAL,"
        " envelope BLOB)",
    };
    for (const char* statement : statements) {
        if (!query.exec(QLatin1String(statement))) {
            setAside_ = query.lastError().text();
            return false;
        }
    }
    query.prepare(QStringLiteral("INSERT INTO meta (key, value) VALUES (?, ?)"));
    for (const auto& [key, value] :
         {std::pair<QString, QString>(QStringLiteral("application"), QLatin1String(Application)),
          std::pair<QString, QString>(QStringLiteral("schema"), QString::number(SchemaVersion))}) {
        query.addBindValue(key);
        query.addBindValue(value);
        if (!query.exec()) {
            setAside_ = query.lastError().text();
            return false;
        }
    }
    return true;
}

void CurveSummaryCache::Fail(const QString& what) {
    // A database that fails now is no longer trusted: it is set aside at
    // the next start, and nothing more is asked of it meanwhile.
    usable_ = false;
    setAside_ = what;
    if (access_ == Access::ReadOnly) {
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery query(db);
    query.exec(QStringLiteral("DELETE FROM meta WHERE key = 'schema'"));
}

std::optional<CurveFile> CurveSummaryCache::Find(const std::string& path, std::int64_t size,
                                                 std::int64_t modified) {
    if (!usable_) {
        return std::nullopt;
    }
    if (!find_) {
        find_ = std::make_unique<QSqlQuery>(QSqlDatabase::database(connection_, false));
        find_->setForwardOnly(true);
        find_->prepare(QStringLiteral(
            "SELECT header, problem, readable, unreadable, first_unreadable, glitches, lowest, "
            "highest, last_seconds, last_volts, last_amperes, last_rate, last_mah, last_mwh "
            "FROM summaries WHERE path = ? AND size = ? AND modified = ?"));
    }
    QSqlQuery& query = *find_;
    int at = 0;
    query.bindValue(at++, Text(path));
    query.bindValue(at++, static_cast<qlonglong>(size));
    query.bindValue(at++, static_cast<qlonglong>(modified));
    if (!query.exec()) {
        Fail(query.lastError().text());
        return std::nullopt;
    }
    if (!query.next()) {
        query.finish();
        return std::nullopt;
    }
    CurveFile curve = ParseCurveText(query.value(0).toString().toStdString(), false);
    curve.Problem = query.value(1).toString().toStdString();
    curve.ReadableRows = query.value(2).toInt();
    curve.UnreadableRows = query.value(3).toInt();
    curve.FirstUnreadableLine = query.value(4).toInt();
    curve.GlitchRowCount = query.value(5).toInt();
    curve.LowestVolts = OptionalDouble(query.value(6));
    curve.HighestVolts = OptionalDouble(query.value(7));
    if (!query.value(8).isNull()) {
        curve.LastRow = CurveRow{query.value(8).toInt(),     query.value(9).toDouble(),
                                 query.value(10).toDouble(), query.value(11).toInt(),
                                 query.value(12).toDouble(), query.value(13).toDouble()};
    }
    curve.Path = path;
    const std::size_t slash = path.rfind('/');
    curve.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    curve.FileSize = size;
    curve.Modified = modified;
    query.finish();
    return curve;
}

void CurveSummaryCache::Store(const CurveFile& summary) {
    if (!usable_ || access_ == Access::ReadOnly) {
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!inTransaction_) {
        inTransaction_ = db.transaction();
    }
    if (!store_) {
        store_ = std::make_unique<QSqlQuery>(db);
        store_->prepare(QStringLiteral(
            "INSERT OR REPLACE INTO summaries (path, size, modified, header, problem, readable, "
            "unreadable, first_unreadable, glitches, lowest, highest, last_seconds, last_volts, "
            "last_amperes, last_rate, last_mah, last_mwh, envelope) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    }
    QSqlQuery& query = *store_;
    int at = 0;
    query.bindValue(at++, Text(summary.Path));
    query.bindValue(at++, static_cast<qlonglong>(summary.FileSize));
    query.bindValue(at++, static_cast<qlonglong>(summary.Modified));
    query.bindValue(at++, HeaderText(summary));
    query.bindValue(at++, Text(summary.Problem));
    query.bindValue(at++, summary.ReadableRows);
    query.bindValue(at++, summary.UnreadableRows);
    query.bindValue(at++, summary.FirstUnreadableLine);
    query.bindValue(at++, summary.GlitchRowCount);
    query.bindValue(at++, Optional(summary.LowestVolts));
    query.bindValue(at++, Optional(summary.HighestVolts));
    const std::optional<CurveRow>& last = summary.LastRow;
    const QVariant none;
    query.bindValue(at++, last ? QVariant(last->Seconds) : QVariant(QMetaType(QMetaType::Int)));
    query.bindValue(at++, last ? QVariant(last->Volts) : none);
    query.bindValue(at++, last ? QVariant(last->Amperes) : none);
    query.bindValue(at++, last ? QVariant(last->Rate) : none);
    query.bindValue(at++, last ? QVariant(last->MilliampHours) : none);
    query.bindValue(at++, last ? QVariant(last->MilliwattHours) : none);
    const std::string envelope = EncodeEnvelope(summary.Envelope);
    query.bindValue(at++, QByteArray(envelope.data(), static_cast<qsizetype>(envelope.size())));
    if (!query.exec()) {
        Fail(query.lastError().text());
    }
}

void CurveSummaryCache::Flush() {
    if (inTransaction_) {
        inTransaction_ = false;
        if (!QSqlDatabase::database(connection_, false).commit()) {
            Fail(QSqlDatabase::database(connection_, false).lastError().text());
        }
    }
}

std::vector<CurveEnvelopePoint> CurveSummaryCache::Envelope(const std::string& path,
                                                            std::int64_t size,
                                                            std::int64_t modified) {
    if (!usable_) {
        return {};
    }
    if (!envelope_) {
        envelope_ = std::make_unique<QSqlQuery>(QSqlDatabase::database(connection_, false));
        envelope_->setForwardOnly(true);
        envelope_->prepare(
            QStringLiteral("SELECT envelope, last_seconds FROM summaries WHERE path = ? AND "
                           "size = ? AND modified = ?"));
    }
    QSqlQuery& query = *envelope_;
    query.bindValue(0, Text(path));
    query.bindValue(1, static_cast<qlonglong>(size));
    query.bindValue(2, static_cast<qlonglong>(modified));
    if (!query.exec()) {
        Fail(query.lastError().text());
        return {};
    }
    if (!query.next()) {
        query.finish();
        return {};
    }
    const QByteArray bytes = query.value(0).toByteArray();
    const QVariant lastSeconds = query.value(1);
    query.finish();
    std::optional<std::vector<CurveEnvelopePoint>> envelope =
        DecodeEnvelope(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    // An envelope ends with the file's last row, and a file without rows
    // has none.
    const bool whole =
        envelope && (lastSeconds.isNull()
                         ? envelope->empty()
                         : !envelope->empty() && envelope->back().ToSeconds == lastSeconds.toInt());
    if (!whole) {
        Forget(path);
        return {};
    }
    return std::move(*envelope);
}

void CurveSummaryCache::Forget(const std::string& path) {
    if (access_ == Access::ReadOnly) {
        return;
    }
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare(QStringLiteral("DELETE FROM summaries WHERE path = ?"));
    query.addBindValue(Text(path));
    if (!query.exec()) {
        Fail(query.lastError().text());
    }
}

namespace {

// The paths of a folder's files in the table, by a range of the primary
// key: from "folder/" up to "folder0" ('0' follows '/').
QString FolderFrom(const std::string& folder) {
    return QString::fromStdString(folder + "/");
}
QString FolderTo(const std::string& folder) {
    return QString::fromStdString(folder + "0");
}

}  // namespace

std::vector<std::string> CurveSummaryCache::PathsIn(const std::string& folder) {
    std::vector<std::string> paths;
    if (!usable_) {
        return paths;
    }
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT path FROM summaries WHERE path >= ? AND path < ?"));
    query.addBindValue(FolderFrom(folder));
    query.addBindValue(FolderTo(folder));
    if (!query.exec()) {
        Fail(query.lastError().text());
        return paths;
    }
    while (query.next()) {
        const std::string path = query.value(0).toString().toStdString();
        // Only the folder's own files, not those of a folder within it.
        if (path.find('/', folder.size() + 1) == std::string::npos) {
            paths.push_back(path);
        }
    }
    return paths;
}

void CurveSummaryCache::Prune(const std::string& folder, const std::vector<std::string>& present) {
    if (!usable_ || access_ == Access::ReadOnly) {
        return;
    }
    const std::set<std::string> keep(present.begin(), present.end());
    std::vector<std::string> gone;
    for (std::string& path : PathsIn(folder)) {
        if (keep.count(path) == 0) {
            gone.push_back(std::move(path));
        }
    }
    if (gone.empty()) {
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!inTransaction_) {
        inTransaction_ = db.transaction();
    }
    for (const std::string& path : gone) {
        Forget(path);
    }
    Flush();
}

}  // namespace voltrex::results
