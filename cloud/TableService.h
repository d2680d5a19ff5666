#pragma once

#include "HttpClient.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// Where and as whom table requests go.
struct TAzureConnectionInfo
{
    QString Protocol = QStringLiteral("https");
    QString AccountName;
    QString AccountKey; // Base64 of the shared key
    // Base URL without a trailing slash; empty means Protocol://AccountName.table.core.windows.net.
    // A path-style local endpoint carries the account in its path.
    QString Endpoint;

    QString baseUrl() const;
};

// One property of an entity: name, text value and Edm type (empty for a string).
struct TCloudColumn
{
    QString Name;
    QString Value;
    QString DataType;
};

// An entity as named, typed text values; names are looked up without regard to case.
class TCloudTableRow
{
public:
    TCloudTableRow() = default;
    // Columns with distinct names, as a service answer holds them.
    explicit TCloudTableRow(QList<TCloudColumn> columns) : m_columns(std::move(columns)) { }
    void SetColumn(const QString &Name, const QString &Value, const QString &DataType = {},
        bool ReplaceIfExists = true);
    const TCloudColumn *GetColumn(const QString &Name) const;
    const QList<TCloudColumn> &Columns() const { return m_columns; }

private:
    QList<TCloudColumn> m_columns;
};

using TCloudTableRows = std::vector<TCloudTableRow>;

// Where a query page left off; both empty once the service sends no more.
struct TableContinuation
{
    QString NextPartitionKey;
    QString NextRowKey;
    bool isEmpty() const { return NextPartitionKey.isEmpty() && NextRowKey.isEmpty(); }
    bool operator==(const TableContinuation &) const = default;
};

// A client of the Table service REST protocol (JSON, Shared Key). Every request goes through
// one HttpClient, so the connection is kept alive between them. Failing calls return
// false / nothing and put a plain-language reason into *error.
class TAzureTableService
{
public:
    explicit TAzureTableService(const TAzureConnectionInfo &conn);

    const TAzureConnectionInfo &connection() const { return m_conn; }
    HttpClient &http() { return m_http; }

    // Every entity matching the filter (empty: the whole table), following continuations.
    std::optional<TCloudTableRows> QueryEntities(
        const QString &TableName, const QString &Filter, QString *error = nullptr);
    // The same, handing each page's rows to sink in order. A page is read while the next one
    // is on its way, so sink runs on a helper thread, one page at a time; the call returns
    // when all is done. False when any page failed: what sink was given is then incomplete.
    using PageSink = std::function<void(TCloudTableRows &&rows)>;
    bool queryAllPages(const QString &TableName, const QString &Filter, const PageSink &sink,
        QString *error = nullptr);
    // One page: rows appended to *rows, the continuation returned in *next.
    bool queryPage(const QString &TableName, const QString &Filter, const TableContinuation &from,
        TCloudTableRows *rows, TableContinuation *next, QString *error = nullptr);
    // The entity, or nothing: then *error is empty when the service has no such entity.
    std::optional<TCloudTableRow> QueryEntity(const QString &TableName, const QString &PartitionKey,
        const QString &RowKey, QString *error = nullptr);

    bool InsertEntity(
        const QString &TableName, const TCloudTableRow &Row, QString *error = nullptr);
    bool UpdateEntity(
        const QString &TableName, const TCloudTableRow &Row, QString *error = nullptr);
    bool InsertOrReplaceEntity(
        const QString &TableName, const TCloudTableRow &Row, QString *error = nullptr);
    bool DeleteEntity(const QString &TableName, const QString &PartitionKey, const QString &RowKey,
        QString *error = nullptr);
    // True when the table was made or is there already.
    bool CreateTable(const QString &TableName, QString *error = nullptr);

    // The request as sent: the URL and its signed headers.
    struct SignedRequest
    {
        QByteArray url;
        QList<QByteArray> headers;
    };
    // resource is the percent-encoded path below the base URL, query the text after '?'.
    SignedRequest prepare(const QByteArray &verb, const QByteArray &resource,
        const QByteArray &query, const QByteArray &contentType,
        const QDateTime &when = QDateTime::currentDateTimeUtc()) const;
    HttpResponse send(const QByteArray &verb, const QByteArray &resource, const QByteArray &query,
        const QByteArray &body = {}, const QList<QByteArray> &extraHeaders = {});

private:
    TAzureConnectionInfo m_conn;
    QByteArray m_base; // base URL, no trailing slash
    QByteArray m_basePath; // its encoded path, e.g. "/devstoreaccount1" or ""
    QByteArray m_key; // decoded account key
    HttpClient m_http;
};

namespace TableProtocol {
inline constexpr char Version[] = "2019-02-02";

// The Shared Key string to sign of the Table service.
QByteArray stringToSign(const QByteArray &verb, const QByteArray &contentMd5,
    const QByteArray &contentType, const QByteArray &date, const QByteArray &canonicalResource);
// Base64 of HMAC-SHA256 with the decoded key.
QByteArray signature(const QByteArray &decodedKey, const QByteArray &stringToSign);
// "/account" + the encoded path as sent, plus "?comp=..." when the query has one.
QByteArray canonicalizedResource(
    const QString &account, const QByteArray &encodedPath, const QByteArray &query);
// RFC 1123 date in GMT with English names, whatever the locale.
QByteArray httpDate(const QDateTime &utc);
// A text inside an OData string literal: every ' doubled.
QString quoteLiteral(const QString &s);
// Percent-encoding of everything but the unreserved characters.
QByteArray encode(const QString &s);
// "(PartitionKey='..',RowKey='..')" with the keys quoted and encoded.
QByteArray entityKeyPath(const QString &partitionKey, const QString &rowKey);

// Entities of a query answer; nothing when the body is not the expected JSON.
std::optional<TCloudTableRows> parseEntities(const QByteArray &body, QString *error);
std::optional<TCloudTableRow> parseEntity(const QByteArray &body, QString *error);
QByteArray entityBody(const TCloudTableRow &Row);
// A plain-language reason for a failed answer: no connection, refused key, status and message.
QString describeFailure(const HttpResponse &r, const QByteArray &what);
} // namespace TableProtocol
