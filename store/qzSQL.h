#pragma once

#include "ScanRecords.h"

#include <QHash>
#include <QString>

#include <memory>
#include <span>
#include <stdexcept>
#include <unordered_map>
#include <variant>

struct sqlite3;
struct sqlite3_stmt;

// Raised by ColumnExists when its statement cannot run.
class ESQLError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A value bound to a statement parameter; texts never enter the statement text.
using SqlParam = std::variant<qint64, double, QString>;

// The one process-wide connection to the local database file.
class SqlConnection
{
public:
    explicit SqlConnection(QString path);
    ~SqlConnection();
    SqlConnection(const SqlConnection &) = delete;
    SqlConnection &operator=(const SqlConnection &) = delete;

    const QString &path() const { return m_path; }
    sqlite3 *handle() const { return m_db; }
    // Opens the file (created 0600 when missing), keyed; a plain SQLite file opens unkeyed.
    bool open();
    // A statement prepared once and kept for the life of the connection.
    sqlite3_stmt *cached(const QString &sql);
    bool encrypted() const { return m_encrypted; }

private:
    bool openHandle(bool keyed);
    void closeHandle();

    QString m_path;
    sqlite3 *m_db = nullptr;
    bool m_encrypted = false;
    std::unordered_map<QString, sqlite3_stmt *> m_cache;
};

extern std::unique_ptr<SqlConnection> Connection;

// A statement's result rows, walked from the first. Columns are found by name without
// regard to case.
class TSQLQuery
{
public:
    TSQLQuery() = default;
    ~TSQLQuery();
    TSQLQuery(const TSQLQuery &) = delete;
    TSQLQuery &operator=(const TSQLQuery &) = delete;

    bool open(const QString &sql, std::span<const SqlParam> params = {});
    void close();
    bool isOpen() const { return m_stmt != nullptr; }
    bool eof() const { return m_eof; }
    void next();

    int fieldIndex(const QString &name) const; // -1 when there is no such column
    int asInteger(int index) const;
    double asFloat(int index) const;
    QString asString(int index) const; // NULL and absent columns give the empty text
    bool isNull(int index) const;

private:
    sqlite3_stmt *m_stmt = nullptr;
    bool m_eof = true;
};

bool dbOpenScans(const QString &dbName);
void dbClose();
bool dbIsOpen(const QString &dbName);
void dbInit();
bool DoSQL(const QString &SqlStr);
bool DoSQL(const QString &SqlStr, std::span<const SqlParam> params);
bool DoQuery(TSQLQuery &aQuery, const QString &SqlStr, std::span<const SqlParam> params = {});
bool TableExists(const QString &tableName);
bool ColumnExists(const QString &TableName, const QString &FieldName);
QString StringValue(const TSQLQuery &Query, const QString &Field);

TScanSessionList QueryScanSessions();
TScanList QueryScans(const QString &SessionID, const QString &EID);
TVisIDLookupList QueryLookups();

// Runs a kept statement with its parameters; used by the record writers.
bool runCached(const QString &sql, std::span<const SqlParam> params);

// Batches of writes: one commit instead of one per statement.
bool dbBeginTransaction();
bool dbCommit();
bool dbRollback();

// Rolls back unless committed.
class DbTransaction
{
public:
    DbTransaction();
    ~DbTransaction();
    DbTransaction(const DbTransaction &) = delete;
    DbTransaction &operator=(const DbTransaction &) = delete;
    bool active() const { return m_active; }
    bool commit();

private:
    bool m_active = false;
};

// scans.db directly in the application-data folder (created with the folder when missing).
QString scansDbFileName();
