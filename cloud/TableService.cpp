#include "TableService.h"

#include "qzUtils.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QUrl>
#include <QXmlStreamReader>

#include <cmath>
#include <thread>

using namespace std::chrono_literals;

namespace {
const QLatin1String kTypeSuffix("@odata.type");

QString trimmedBase(const TAzureConnectionInfo &c)
{
    QString base = c.Endpoint.trimmed();
    if (base.isEmpty())
        base = c.Protocol + QStringLiteral("://") + c.AccountName
            + QStringLiteral(".table.core.windows.net");
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

// Whole numbers that fit come back untyped from Int32 properties; the rest are Doubles.
TCloudColumn numberColumn(const QString &name, double v)
{
    const bool whole = std::isfinite(v) && v == std::floor(v) && std::fabs(v) < 2147483648.0;
    if (whole)
        return {name, QString::number(qint64(v)), QStringLiteral("Edm.Int32")};
    return {name, QString::number(v, 'g', QLocale::FloatingPointShortest),
        QStringLiteral("Edm.Double")};
}

// One pass over the object: QJsonObject looks keys up by a linear search, and this runs for
// every entity of a query.
TCloudTableRow rowFromJson(const QJsonObject &o)
{
    QList<TCloudColumn> columns;
    columns.reserve(o.size());
    QList<QPair<QString, QString>> declared;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString name = it.key();
        if (name.startsWith(QLatin1String("odata.")))
            continue;
        const QJsonValue v = it.value();
        if (name.endsWith(kTypeSuffix)) {
            declared.append({name.chopped(kTypeSuffix.size()), v.toString()});
            continue;
        }
        switch (v.type()) {
        case QJsonValue::String:
            columns.append({name, v.toString(), {}});
            break;
        case QJsonValue::Double:
            columns.append(numberColumn(name, v.toDouble()));
            break;
        case QJsonValue::Bool:
            columns.append({name, v.toBool() ? QStringLiteral("true") : QStringLiteral("false"),
                QStringLiteral("Edm.Boolean")});
            break;
        default:
            break; // null, arrays and objects are no property values of this service
        }
    }
    for (const auto &[name, type] : declared) {
        for (TCloudColumn &c : columns) {
            if (c.Name == name) {
                // A typed number keeps its type (a whole Double stays a Double).
                if (type != QLatin1String("Edm.Int32") && c.DataType == QLatin1String("Edm.Int32"))
                    c.Value = QString::number(c.Value.toLongLong());
                c.DataType = type;
                break;
            }
        }
    }
    return TCloudTableRow(std::move(columns));
}

QString firstLine(const QString &s)
{
    const QString t = s.trimmed();
    const qsizetype nl = t.indexOf(QLatin1Char('\n'));
    return (nl < 0 ? t : t.left(nl)).trimmed();
}

// The service's error code and message, from its JSON or (Azurite's auth errors) XML.
void serviceError(const HttpResponse &r, QString *code, QString *message)
{
    *code = QString::fromUtf8(r.header("x-ms-error-code"));
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(r.body, &pe);
    if (pe.error == QJsonParseError::NoError && doc.isObject()) {
        const QJsonObject err = doc.object().value(QLatin1String("odata.error")).toObject();
        if (!err.isEmpty()) {
            if (code->isEmpty())
                *code = err.value(QLatin1String("code")).toString();
            const QJsonValue m = err.value(QLatin1String("message"));
            *message
                = firstLine(m.isObject() ? m.toObject().value(QLatin1String("value")).toString()
                                         : m.toString());
        }
        return;
    }
    if (r.body.trimmed().startsWith("<?xml") || r.body.trimmed().startsWith("<Error")) {
        QXmlStreamReader xml(r.body);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("Code") && code->isEmpty())
                *code = xml.readElementText();
            else if (xml.name() == QLatin1String("Message"))
                *message = firstLine(xml.readElementText());
        }
    }
}
} // namespace

QString TAzureConnectionInfo::baseUrl() const
{
    return trimmedBase(*this);
}

void TCloudTableRow::SetColumn(
    const QString &Name, const QString &Value, const QString &DataType, bool ReplaceIfExists)
{
    for (TCloudColumn &c : m_columns) {
        if (c.Name.compare(Name, Qt::CaseInsensitive) == 0) {
            if (ReplaceIfExists)
                c = {Name, Value, DataType};
            return;
        }
    }
    m_columns.append({Name, Value, DataType});
}

const TCloudColumn *TCloudTableRow::GetColumn(const QString &Name) const
{
    // The exact name first: it is the usual case and much cheaper.
    for (const TCloudColumn &c : m_columns)
        if (c.Name == Name)
            return &c;
    for (const TCloudColumn &c : m_columns)
        if (c.Name.compare(Name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

namespace TableProtocol {

QByteArray stringToSign(const QByteArray &verb, const QByteArray &contentMd5,
    const QByteArray &contentType, const QByteArray &date, const QByteArray &canonicalResource)
{
    return verb + '\n' + contentMd5 + '\n' + contentType + '\n' + date + '\n' + canonicalResource;
}

QByteArray signature(const QByteArray &decodedKey, const QByteArray &toSign)
{
    return QMessageAuthenticationCode::hash(toSign, decodedKey, QCryptographicHash::Sha256)
        .toBase64();
}

QByteArray canonicalizedResource(
    const QString &account, const QByteArray &encodedPath, const QByteArray &query)
{
    QByteArray r = '/' + account.toUtf8() + encodedPath;
    for (const QByteArray &part : query.split('&')) {
        if (part.startsWith("comp=")) {
            r += "?" + part;
            break;
        }
    }
    return r;
}

QByteArray httpDate(const QDateTime &utc)
{
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDateTime t = utc.toUTC();
    const QDate d = t.date();
    const QTime tm = t.time();
    return QString::asprintf("%s, %02d %s %04d %02d:%02d:%02d GMT", days[d.dayOfWeek() - 1],
        d.day(), months[d.month() - 1], d.year(), tm.hour(), tm.minute(), tm.second())
        .toLatin1();
}

QString quoteLiteral(const QString &s)
{
    QString r = s;
    r.replace(QLatin1Char('\''), QLatin1String("''"));
    return r;
}

QByteArray encode(const QString &s)
{
    return QUrl::toPercentEncoding(s);
}

QByteArray entityKeyPath(const QString &partitionKey, const QString &rowKey)
{
    return "(PartitionKey='" + encode(quoteLiteral(partitionKey)) + "',RowKey='"
        + encode(quoteLiteral(rowKey)) + "')";
}

std::optional<TCloudTableRows> parseEntities(const QByteArray &body, QString *error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &pe);
    if (pe.error != QJsonParseError::NoError) {
        *error = QStringLiteral("The table service's answer could not be read (%1).")
                     .arg(pe.errorString());
        return std::nullopt;
    }
    const QJsonValue value = doc.object().value(QLatin1String("value"));
    if (!doc.isObject() || !value.isArray()) {
        *error = QStringLiteral("The table service's answer could not be read (no entity list).");
        return std::nullopt;
    }
    const QJsonArray list = value.toArray();
    TCloudTableRows rows;
    rows.reserve(size_t(list.size()));
    for (const QJsonValue &e : list) {
        if (!e.isObject()) {
            *error = QStringLiteral("The table service's answer could not be read (an entity "
                                    "is not an object).");
            return std::nullopt;
        }
        rows.push_back(rowFromJson(e.toObject()));
    }
    return rows;
}

std::optional<TCloudTableRow> parseEntity(const QByteArray &body, QString *error)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("The table service's answer could not be read (%1).")
                     .arg(pe.error != QJsonParseError::NoError ? pe.errorString()
                                                               : QStringLiteral("not an entity"));
        return std::nullopt;
    }
    return rowFromJson(doc.object());
}

QByteArray entityBody(const TCloudTableRow &Row)
{
    QJsonObject o;
    for (const TCloudColumn &c : Row.Columns()) {
        const QString &type = c.DataType;
        if (type.isEmpty() || type == QLatin1String("Edm.String")) {
            o.insert(c.Name, c.Value);
        } else if (type == QLatin1String("Edm.Int32")) {
            int v = 0;
            if (parseStrictInt(c.Value, v))
                o.insert(c.Name, v);
            else // the service refuses it, as it should
                o.insert(c.Name, c.Value);
        } else if (type == QLatin1String("Edm.Boolean")) {
            o.insert(c.Name, c.Value.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0);
        } else if (type == QLatin1String("Edm.Double")) {
            // Typed explicitly: an untyped whole number would be taken for an Int32.
            bool ok = false;
            const double v = c.Value.toDouble(&ok);
            if (ok && std::isfinite(v))
                o.insert(c.Name, v);
            else if (ok && std::isnan(v))
                o.insert(c.Name, QStringLiteral("NaN"));
            else if (ok)
                o.insert(c.Name, v > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity"));
            else
                o.insert(c.Name, c.Value);
            o.insert(c.Name + kTypeSuffix, type);
        } else {
            o.insert(c.Name, c.Value);
            o.insert(c.Name + kTypeSuffix, type);
        }
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QString describeFailure(const HttpResponse &r, const QByteArray &what)
{
    const QString op = QString::fromUtf8(what);
    if (!r.answered())
        return QStringLiteral("No connection to the table service for the %1 (%2).")
            .arg(op, r.transportError);
    QString code, message;
    serviceError(r, &code, &message);
    QString detail = code;
    if (!message.isEmpty())
        detail += (detail.isEmpty() ? QString() : QStringLiteral(": ")) + message;
    if (detail.isEmpty())
        detail = QStringLiteral("no reason given");
    if (r.status == 403)
        return QStringLiteral("The table service refused the storage account's credentials for "
                              "the %1 (status 403, %2).")
            .arg(op, detail);
    return QStringLiteral("The table service answered the %1 with status %2 (%3).")
        .arg(op)
        .arg(r.status)
        .arg(detail);
}

} // namespace TableProtocol

TAzureTableService::TAzureTableService(const TAzureConnectionInfo &conn) : m_conn(conn)
{
    const QString base = m_conn.baseUrl();
    m_base = base.toUtf8();
    m_basePath = QUrl(base).path(QUrl::FullyEncoded).toUtf8();
    while (m_basePath.endsWith('/'))
        m_basePath.chop(1);
    m_key = QByteArray::fromBase64(m_conn.AccountKey.toLatin1());
    m_http.setTimeouts(10s, 60s);
    // Transient failures get a few tries with growing waits, as the service's SDKs do.
    m_http.setRetryPolicy({4, 250ms, 2.0});
}

TAzureTableService::SignedRequest TAzureTableService::prepare(const QByteArray &verb,
    const QByteArray &resource, const QByteArray &query, const QByteArray &contentType,
    const QDateTime &when) const
{
    using namespace TableProtocol;
    SignedRequest r;
    r.url = m_base + '/' + resource;
    if (!query.isEmpty())
        r.url += '?' + query;
    const QByteArray date = httpDate(when);
    const QByteArray toSign = stringToSign(verb, {}, contentType, date,
        canonicalizedResource(m_conn.AccountName, m_basePath + '/' + resource, query));
    r.headers = {
        "x-ms-date: " + date,
        QByteArray("x-ms-version: ") + Version,
        "DataServiceVersion: 3.0",
        "MaxDataServiceVersion: 3.0;NetFx",
        "Accept: application/json;odata=minimalmetadata",
    };
    if (!contentType.isEmpty())
        r.headers.append("Content-Type: " + contentType);
    r.headers.append(
        "Authorization: SharedKey " + m_conn.AccountName.toUtf8() + ':' + signature(m_key, toSign));
    return r;
}

HttpResponse TAzureTableService::send(const QByteArray &verb, const QByteArray &resource,
    const QByteArray &query, const QByteArray &body, const QList<QByteArray> &extraHeaders)
{
    if (m_conn.AccountName.isEmpty()) {
        HttpResponse r;
        r.transportError = QStringLiteral("no storage account is set");
        return r;
    }
    SignedRequest req
        = prepare(verb, resource, query, body.isEmpty() ? QByteArray() : "application/json");
    req.headers += extraHeaders;
    return m_http.request(verb, req.url, req.headers, body);
}

namespace {
QByteArray pageQuery(const QString &Filter, const TableContinuation &from)
{
    using TableProtocol::encode;
    QList<QByteArray> params;
    if (!Filter.isEmpty())
        params.append("$filter=" + encode(Filter));
    if (!from.NextPartitionKey.isEmpty())
        params.append("NextPartitionKey=" + encode(from.NextPartitionKey));
    if (!from.NextRowKey.isEmpty())
        params.append("NextRowKey=" + encode(from.NextRowKey));
    return params.join('&');
}

TableContinuation continuationOf(const HttpResponse &r)
{
    return {QString::fromUtf8(r.header("x-ms-continuation-nextpartitionkey")),
        QString::fromUtf8(r.header("x-ms-continuation-nextrowkey"))};
}
} // namespace

bool TAzureTableService::queryPage(const QString &TableName, const QString &Filter,
    const TableContinuation &from, TCloudTableRows *rows, TableContinuation *next, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    err.clear();
    const HttpResponse r
        = send("GET", TableProtocol::encode(TableName) + "()", pageQuery(Filter, from));
    if (!r.answered() || r.status != 200) {
        err = TableProtocol::describeFailure(r, "query of table " + TableName.toUtf8());
        return false;
    }
    auto page = TableProtocol::parseEntities(r.body, &err);
    if (!page)
        return false;
    rows->insert(
        rows->end(), std::make_move_iterator(page->begin()), std::make_move_iterator(page->end()));
    *next = continuationOf(r);
    return true;
}

bool TAzureTableService::queryAllPages(
    const QString &TableName, const QString &Filter, const PageSink &sink, QString *error)
{
    QString dummy;
    QString &err = error ? *error : dummy;
    err.clear();
    // At most one page is being read while the next request runs.
    std::thread reader;
    QString readError;
    bool readFailed = false;
    auto finishReading = [&] {
        if (reader.joinable())
            reader.join();
        if (readFailed)
            err = readError;
        return !readFailed;
    };
    TableContinuation from;
    for (;;) {
        const HttpResponse r
            = send("GET", TableProtocol::encode(TableName) + "()", pageQuery(Filter, from));
        if (!finishReading())
            return false;
        if (!r.answered() || r.status != 200) {
            err = TableProtocol::describeFailure(r, "query of table " + TableName.toUtf8());
            return false;
        }
        reader = std::thread([&sink, &readError, &readFailed, body = r.body] {
            auto rows = TableProtocol::parseEntities(body, &readError);
            if (rows)
                sink(std::move(*rows));
            else
                readFailed = true;
        });
        const TableContinuation next = continuationOf(r);
        if (next.isEmpty())
            return finishReading();
        // A service that hands back the same place again would keep us here for ever.
        if (next == from) {
            finishReading();
            err = QStringLiteral("The table service repeated a continuation of the query of "
                                 "table %1.")
                      .arg(TableName);
            return false;
        }
        from = next;
    }
}

std::optional<TCloudTableRows> TAzureTableService::QueryEntities(
    const QString &TableName, const QString &Filter, QString *error)
{
    TCloudTableRows rows;
    const bool ok = queryAllPages(
        TableName, Filter,
        [&rows](TCloudTableRows &&page) {
            rows.insert(rows.end(), std::make_move_iterator(page.begin()),
                std::make_move_iterator(page.end()));
        },
        error);
    if (!ok)
        return std::nullopt;
    return rows;
}

std::optional<TCloudTableRow> TAzureTableService::QueryEntity(
    const QString &TableName, const QString &PartitionKey, const QString &RowKey, QString *error)
{
    using namespace TableProtocol;
    QString dummy;
    QString &err = error ? *error : dummy;
    err.clear();
    const HttpResponse r = send("GET", encode(TableName) + entityKeyPath(PartitionKey, RowKey), {});
    if (r.answered() && r.status == 404) {
        QString code, message;
        serviceError(r, &code, &message);
        // A missing entity is an answer; a missing table or a stray 404 page is a failure.
        if (code == QLatin1String("ResourceNotFound"))
            return std::nullopt;
    }
    if (!r.answered() || r.status != 200) {
        err = describeFailure(r, "look-up in table " + TableName.toUtf8());
        return std::nullopt;
    }
    return parseEntity(r.body, &err);
}

namespace {
bool writeResult(const HttpResponse &r, long wanted, const QByteArray &what, QString *error)
{
    if (r.answered() && r.status == wanted) {
        if (error)
            error->clear();
        return true;
    }
    if (error)
        *error = TableProtocol::describeFailure(r, what);
    return false;
}

QString keyOf(const TCloudTableRow &row, const char *name)
{
    const TCloudColumn *c = row.GetColumn(QLatin1String(name));
    return c ? c->Value : QString();
}
} // namespace

bool TAzureTableService::InsertEntity(
    const QString &TableName, const TCloudTableRow &Row, QString *error)
{
    // A retried insert whose first try did arrive answers 409: reported, never taken as done.
    const HttpResponse r = send("POST", TableProtocol::encode(TableName), {},
        TableProtocol::entityBody(Row), {"Prefer: return-no-content"});
    return writeResult(r, 204, "insert into table " + TableName.toUtf8(), error);
}

bool TAzureTableService::UpdateEntity(
    const QString &TableName, const TCloudTableRow &Row, QString *error)
{
    const HttpResponse r = send("PUT",
        TableProtocol::encode(TableName)
            + TableProtocol::entityKeyPath(keyOf(Row, "PartitionKey"), keyOf(Row, "RowKey")),
        {}, TableProtocol::entityBody(Row), {"If-Match: *"});
    return writeResult(r, 204, "update in table " + TableName.toUtf8(), error);
}

bool TAzureTableService::InsertOrReplaceEntity(
    const QString &TableName, const TCloudTableRow &Row, QString *error)
{
    // No If-Match: the service inserts or replaces in one step.
    const HttpResponse r = send("PUT",
        TableProtocol::encode(TableName)
            + TableProtocol::entityKeyPath(keyOf(Row, "PartitionKey"), keyOf(Row, "RowKey")),
        {}, TableProtocol::entityBody(Row));
    return writeResult(r, 204, "write to table " + TableName.toUtf8(), error);
}

bool TAzureTableService::DeleteEntity(
    const QString &TableName, const QString &PartitionKey, const QString &RowKey, QString *error)
{
    const HttpResponse r = send("DELETE",
        TableProtocol::encode(TableName) + TableProtocol::entityKeyPath(PartitionKey, RowKey), {},
        {}, {"If-Match: *"});
    return writeResult(r, 204, "delete from table " + TableName.toUtf8(), error);
}

bool TAzureTableService::CreateTable(const QString &TableName, QString *error)
{
    QJsonObject o;
    o.insert(QLatin1String("TableName"), TableName);
    const HttpResponse r = send("POST", "Tables", {},
        QJsonDocument(o).toJson(QJsonDocument::Compact), {"Prefer: return-no-content"});
    if (r.answered() && r.status == 409) {
        QString code, message;
        serviceError(r, &code, &message);
        if (code == QLatin1String("TableAlreadyExists")) {
            if (error)
                error->clear();
            return true;
        }
    }
    return writeResult(r, 204, "creation of table " + TableName.toUtf8(), error);
}
