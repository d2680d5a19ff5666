#include "qzSQL.h"

#include "dbWriters.h"
#include "qzConfig.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <sqlite3.h>

#include <fcntl.h>
#include <unistd.h>

std::unique_ptr<SqlConnection> Connection;

namespace {
const void *utf16(const QString &s)
{
    return s.utf16();
}

int bytes16(const QString &s)
{
    return int(s.size() * sizeof(char16_t));
}

sqlite3_stmt *prepare(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare16_v2(db, utf16(sql), bytes16(sql), &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    return stmt;
}

// Writers bind texts without a copy (their params outlive the run); queries copy them.
bool bindAll(sqlite3_stmt *stmt, std::span<const SqlParam> params, bool copyTexts = false)
{
    int i = 1;
    for (const SqlParam &p : params) {
        int rc;
        if (const auto *n = std::get_if<qint64>(&p))
            rc = sqlite3_bind_int64(stmt, i, *n);
        else if (const auto *d = std::get_if<double>(&p))
            rc = sqlite3_bind_double(stmt, i, *d);
        else {
            const QString &s = std::get<QString>(p);
            // An empty text is stored as '' and not NULL.
            rc = sqlite3_bind_text16(stmt, i, s.isNull() ? u"" : utf16(s), bytes16(s),
                copyTexts ? SQLITE_TRANSIENT : SQLITE_STATIC);
        }
        if (rc != SQLITE_OK)
            return false;
        ++i;
    }
    return true;
}

bool stepToEnd(sqlite3_stmt *stmt)
{
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) { }
    return rc == SQLITE_DONE;
}

bool isPlainSqliteFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    return f.read(16) == QByteArray("SQLite format 3\0", 16);
}

QString escapeSqlText(const QString &s)
{
    QString r = s;
    return r.replace(QLatin1Char('\''), QLatin1String("''"));
}

QString quoteIdentifier(const QString &s)
{
    QString r = s;
    return QLatin1Char('"') + r.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

// Lookups the queries and updates filter on; they change no result.
const char *const kIndexes[] = {
    "CREATE INDEX IF NOT EXISTS ScanSession_Uid ON ScanSession(Uid)",
    "CREATE INDEX IF NOT EXISTS Scan_SessionUid ON Scan(SessionUid)",
    "CREATE INDEX IF NOT EXISTS Scan_Eid ON Scan(Eid)",
    "CREATE INDEX IF NOT EXISTS Lookup_Creator_Eid ON Lookup(Creator, Eid)",
};
} // namespace

SqlConnection::SqlConnection(QString path) : m_path(std::move(path)) { }

SqlConnection::~SqlConnection()
{
    closeHandle();
}

void SqlConnection::closeHandle()
{
    for (auto &entry : m_cache)
        sqlite3_finalize(entry.second);
    m_cache.clear();
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

bool SqlConnection::openHandle(bool keyed)
{
    closeHandle();
    const QByteArray native = QFile::encodeName(m_path);
    if (sqlite3_open_v2(
            native.constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
        != SQLITE_OK)
        return false;
    if (keyed) {
        const QString key = QStringLiteral("PRAGMA key = '%1'")
                                .arg(escapeSqlText(QString::fromLatin1(KESTRUN_DB_PASSWORD)));
        if (!DoSQL(key))
            return false;
    }
    m_encrypted = keyed;
    // Only takes effect on a new file, before its first table.
    DoSQL(QStringLiteral("PRAGMA encoding = \"UTF-16\""));
    // A wrong key or a file that is no database shows at the first read.
    sqlite3_stmt *probe = prepare(m_db, QStringLiteral("SELECT count(*) FROM sqlite_master"));
    const bool ok = probe && sqlite3_step(probe) == SQLITE_ROW;
    sqlite3_finalize(probe);
    return ok;
}

bool SqlConnection::open()
{
    if (!QFile::exists(m_path)) {
        // Created readable by the user only; an empty file is a new database.
        const QByteArray native = QFile::encodeName(m_path);
        const int fd = ::open(native.constData(), O_CREAT | O_EXCL | O_WRONLY, 0600);
        if (fd < 0)
            return false;
        ::close(fd);
    }
    if (openHandle(true))
        return true;
    // A file whose encryption was removed must still open.
    if (isPlainSqliteFile(m_path) && openHandle(false))
        return true;
    closeHandle();
    return false;
}

sqlite3_stmt *SqlConnection::cached(const QString &sql)
{
    auto it = m_cache.find(sql);
    if (it != m_cache.end())
        return it->second;
    sqlite3_stmt *stmt = prepare(m_db, sql);
    if (stmt)
        m_cache.emplace(sql, stmt);
    return stmt;
}

TSQLQuery::~TSQLQuery()
{
    close();
}

void TSQLQuery::close()
{
    sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    m_eof = true;
}

bool TSQLQuery::open(const QString &sql, std::span<const SqlParam> params)
{
    close();
    if (!Connection || !Connection->handle())
        return false;
    m_stmt = prepare(Connection->handle(), sql);
    if (!m_stmt)
        return false;
    if (!bindAll(m_stmt, params, true)) {
        close();
        return false;
    }
    const int rc = sqlite3_step(m_stmt);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        close();
        return false;
    }
    m_eof = rc != SQLITE_ROW;
    return true;
}

void TSQLQuery::next()
{
    if (!m_stmt || m_eof)
        return;
    m_eof = sqlite3_step(m_stmt) != SQLITE_ROW;
}

int TSQLQuery::fieldIndex(const QString &name) const
{
    if (!m_stmt)
        return -1;
    const int n = sqlite3_column_count(m_stmt);
    for (int i = 0; i < n; ++i) {
        const auto *col = static_cast<const char16_t *>(sqlite3_column_name16(m_stmt, i));
        if (col && QStringView(col).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int TSQLQuery::asInteger(int index) const
{
    return (m_stmt && !m_eof && index >= 0) ? sqlite3_column_int(m_stmt, index) : 0;
}

double TSQLQuery::asFloat(int index) const
{
    return (m_stmt && !m_eof && index >= 0) ? sqlite3_column_double(m_stmt, index) : 0.0;
}

QString TSQLQuery::asString(int index) const
{
    if (!m_stmt || m_eof || index < 0)
        return {};
    const void *text = sqlite3_column_text16(m_stmt, index);
    if (!text)
        return {};
    const int n = sqlite3_column_bytes16(m_stmt, index);
    return QString(reinterpret_cast<const QChar *>(text), n / int(sizeof(char16_t)));
}

bool TSQLQuery::isNull(int index) const
{
    return !m_stmt || m_eof || index < 0 || sqlite3_column_type(m_stmt, index) == SQLITE_NULL;
}

void dbInit()
{
    Connection.reset();
}

bool dbIsOpen(const QString &dbName)
{
    return Connection && Connection->path() == dbName;
}

void dbClose()
{
    Connection.reset();
}

bool dbOpenScans(const QString &dbName)
{
    if (dbIsOpen(dbName))
        return true;
    dbClose();
    dbInit();
    Connection = std::make_unique<SqlConnection>(dbName);
    // Any failure leaves no connection, so the next call tries again.
    auto fail = [] {
        dbClose();
        return false;
    };
    if (!Connection->open())
        return fail();
    if (!DoSQL(QStringLiteral("PRAGMA synchronous = NORMAL"))
        || !DoSQL(QStringLiteral("PRAGMA journal_mode = WAL")))
        return fail();
    try {
        const std::pair<const char *, QString> tables[] = {
            {"ScanSession", TableCreate<TScanSession>()},
            {"Scan", TableCreate<TScan>()},
            {"Lookup", TableCreate<TVisIDLookup>()},
        };
        for (const auto &[name, create] : tables)
            if (!TableExists(QString::fromLatin1(name)) && !DoSQL(create))
                return fail();
        if (!ColumnExists(QStringLiteral("Scan"), QStringLiteral("Herdcode")))
            DoSQL(QStringLiteral("ALTER TABLE Scan add column Herdcode TEXT"));
    } catch (const ESQLError &) {
        return fail();
    }
    for (const char *index : kIndexes)
        DoSQL(QString::fromLatin1(index));
    return true;
}

bool DoSQL(const QString &SqlStr)
{
    return DoSQL(SqlStr, {});
}

bool DoSQL(const QString &SqlStr, std::span<const SqlParam> params)
{
    if (!Connection || !Connection->handle())
        return false;
    sqlite3_stmt *stmt = prepare(Connection->handle(), SqlStr);
    if (!stmt)
        return false;
    const bool ok = bindAll(stmt, params) && stepToEnd(stmt);
    sqlite3_finalize(stmt);
    return ok;
}

bool runCached(const QString &sql, std::span<const SqlParam> params)
{
    if (!Connection || !Connection->handle())
        return false;
    sqlite3_stmt *stmt = Connection->cached(sql);
    if (!stmt)
        return false;
    const bool ok = bindAll(stmt, params) && stepToEnd(stmt);
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    return ok;
}

bool DoQuery(TSQLQuery &aQuery, const QString &SqlStr, std::span<const SqlParam> params)
{
    return aQuery.open(SqlStr, params);
}

bool TableExists(const QString &tableName)
{
    TSQLQuery q;
    const SqlParam p[] = {tableName};
    return DoQuery(q,
               QStringLiteral("SELECT name FROM sqlite_master WHERE type IN ('table', 'view') "
                              "AND name = ?1 COLLATE NOCASE"),
               p)
        && !q.eof();
}

bool ColumnExists(const QString &TableName, const QString &FieldName)
{
    TSQLQuery q;
    if (!DoQuery(q, QStringLiteral("PRAGMA table_info(%1)").arg(quoteIdentifier(TableName))))
        throw ESQLError("cannot read the columns of " + TableName.toStdString());
    const int name = q.fieldIndex(QStringLiteral("name"));
    for (; !q.eof(); q.next())
        if (q.asString(name).compare(FieldName, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString StringValue(const TSQLQuery &Query, const QString &Field)
{
    return Query.asString(Query.fieldIndex(Field));
}

TScanSessionList QueryScanSessions()
{
    TScanSessionList list;
    TSQLQuery q;
    if (!DoQuery(q, QStringLiteral("SELECT * FROM ScanSession ORDER BY TimeStamp DESC")))
        return list;
    auto f = [&q](const char *name) { return q.fieldIndex(QString::fromLatin1(name)); };
    const int id = f("Id"), count = f("Count"), date = f("Date"), ts = f("TimeStamp"),
              name = f("Name"), uid = f("Uid"), prompt = f("PromptOption"), creator = f("Creator"),
              v1n = f("Value1Name"), v1f = f("Value1Format"), v1d = f("Value1Default"),
              v2n = f("Value2Name"), v2f = f("Value2Format"), v2d = f("Value2Default"),
              v3n = f("Value3Name"), v3f = f("Value3Format"), v3d = f("Value3Default"),
              dstatus = f("DStatus"), mstatus = f("MStatus");
    for (; !q.eof(); q.next()) {
        auto s = std::make_unique<TScanSession>();
        s->Id = q.asInteger(id);
        s->Count = q.asInteger(count);
        s->Date = q.asFloat(date);
        s->TimeStamp = q.asFloat(ts);
        s->Name = q.asString(name);
        s->Uid = q.asString(uid);
        s->PromptOption = q.asString(prompt);
        s->Creator = q.asString(creator);
        s->Value1Name = q.asString(v1n);
        s->Value1Format = q.asString(v1f);
        s->Value1Default = q.asString(v1d);
        s->Value2Name = q.asString(v2n);
        s->Value2Format = q.asString(v2f);
        s->Value2Default = q.asString(v2d);
        s->Value3Name = q.asString(v3n);
        s->Value3Format = q.asString(v3f);
        s->Value3Default = q.asString(v3d);
        s->DStatus = q.asString(dstatus);
        s->MStatus = q.asString(mstatus);
        list.push_back(std::move(s));
    }
    return list;
}

TScanList QueryScans(const QString &SessionID, const QString &EID)
{
    TScanList list;
    QString sql = QStringLiteral("SELECT * FROM Scan ");
    SqlParam filter[1];
    std::span<const SqlParam> params;
    if (!EID.isEmpty()) {
        sql += QStringLiteral(" WHERE EID=?1");
        filter[0] = EID;
        params = filter;
    } else if (!SessionID.isEmpty()) {
        sql += QStringLiteral(" WHERE SessionUid=?1");
        filter[0] = SessionID;
        params = filter;
    }
    sql += QStringLiteral(" ORDER BY Date DESC");
    TSQLQuery q;
    if (!DoQuery(q, sql, params))
        return list;
    auto f = [&q](const char *name) { return q.fieldIndex(QString::fromLatin1(name)); };
    const int id = f("Id"), seq = f("Sequence"), date = f("Date"), lat = f("Latitude"),
              lon = f("Longitude"), eid = f("Eid"), vis = f("VisibleID"), suid = f("SessionUid"),
              v1 = f("Value1"), v2 = f("Value2"), v3 = f("Value3"), premise = f("PremiseId"),
              creator = f("Creator"), herd = f("Herdcode");
    for (; !q.eof(); q.next()) {
        auto s = std::make_unique<TScan>();
        s->Id = q.asInteger(id);
        s->Sequence = q.asInteger(seq);
        s->Date = q.asFloat(date);
        s->Latitude = q.asFloat(lat);
        s->Longitude = q.asFloat(lon);
        s->Eid = q.asString(eid);
        s->VisibleID = q.asString(vis);
        s->SessionUid = q.asString(suid);
        s->Value1 = q.asString(v1);
        s->Value2 = q.asString(v2);
        s->Value3 = q.asString(v3);
        s->PremiseId = q.asString(premise);
        s->Creator = q.asString(creator);
        s->Herdcode = q.asString(herd);
        list.push_back(std::move(s));
    }
    return list;
}

TVisIDLookupList QueryLookups()
{
    TVisIDLookupList list;
    TSQLQuery q;
    if (!DoQuery(q, QStringLiteral("SELECT * FROM Lookup")))
        return list;
    const int id = q.fieldIndex(QStringLiteral("Id")), date = q.fieldIndex(QStringLiteral("Date")),
              ts = q.fieldIndex(QStringLiteral("TimeStamp")),
              eid = q.fieldIndex(QStringLiteral("Eid")),
              vis = q.fieldIndex(QStringLiteral("VisibleID")),
              creator = q.fieldIndex(QStringLiteral("Creator"));
    for (; !q.eof(); q.next()) {
        auto l = std::make_unique<TVisIDLookup>();
        l->Id = q.asInteger(id);
        l->Date = q.asFloat(date);
        l->TimeStamp = q.asFloat(ts);
        l->Eid = q.asString(eid);
        l->VisibleID = q.asString(vis);
        l->Creator = q.asString(creator);
        list.push_back(std::move(l));
    }
    return list;
}

bool dbBeginTransaction()
{
    return DoSQL(QStringLiteral("BEGIN"));
}

bool dbCommit()
{
    return DoSQL(QStringLiteral("COMMIT"));
}

bool dbRollback()
{
    return DoSQL(QStringLiteral("ROLLBACK"));
}

DbTransaction::DbTransaction() : m_active(dbBeginTransaction()) { }

DbTransaction::~DbTransaction()
{
    if (m_active)
        dbRollback();
}

bool DbTransaction::commit()
{
    if (!m_active)
        return false;
    m_active = false;
    return dbCommit();
}

QString scansDbFileName()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dir);
    QFile::setPermissions(
        dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir + QStringLiteral("scans.db");
}
