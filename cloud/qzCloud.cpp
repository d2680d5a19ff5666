#include "qzCloud.h"

#include "qzConfig.h"
#include "qzUtils.h"

#include <cmath>

std::unique_ptr<TAzureConnectionInfo> azConn;
std::unique_ptr<TAzureTableService> TableService;

namespace {
// The overrides for development, tests and scripts; an unset or empty variable keeps the
// compiled-in value.
QString overridden(const char *name, const char *compiled)
{
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? QString::fromUtf8(compiled) : v;
}

QString notStarted()
{
    return QStringLiteral("The cloud connection is not started.");
}

// ISO 8601 as the service writes it: UTC with Z (or an offset), fraction optional; a text
// without a zone is taken as UTC, as every stored value is. By hand: it runs twice for every
// entity of a query.
bool parseIso(const QString &text, qint64 *msSinceEpoch)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    auto isDigit = [&](qsizetype k) {
        return k < t.size() && t[k].unicode() >= '0' && t[k].unicode() <= '9';
    };
    auto digits = [&](int n, int *out) {
        int v = 0;
        for (int k = 0; k < n; ++k, ++i) {
            if (!isDigit(i))
                return false;
            v = v * 10 + (t[i].unicode() - '0');
        }
        *out = v;
        return true;
    };
    auto take = [&](char c) {
        if (i < t.size() && t[i].toUpper() == QLatin1Char(c)) {
            ++i;
            return true;
        }
        return false;
    };
    int y, mo, d, h, mi, sec = 0, ms = 0;
    if (!digits(4, &y) || !take('-') || !digits(2, &mo) || !take('-') || !digits(2, &d)
        || !take('T') || !digits(2, &h) || !take(':') || !digits(2, &mi))
        return false;
    if (take(':')) {
        if (!digits(2, &sec))
            return false;
        if (take('.') || take(',')) {
            // Fraction to the millisecond, cut rather than rounded, so it never rolls into
            // the next second.
            int n = 0;
            for (; isDigit(i); ++i, ++n)
                if (n < 3)
                    ms = ms * 10 + (t[i].unicode() - '0');
            if (n == 0)
                return false;
            for (; n < 3; ++n)
                ms *= 10;
        }
    }
    int offset = 0;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        const bool negative = t[i] == QLatin1Char('-');
        ++i;
        int oh = 0, om = 0;
        if (!digits(2, &oh))
            return false;
        if (i < t.size()) {
            take(':');
            if (!digits(2, &om))
                return false;
        }
        offset = (oh * 3600 + om * 60) * (negative ? -1 : 1);
    } else {
        take('Z');
    }
    if (i != t.size())
        return false;
    const QDate date(y, mo, d);
    const QTime time(h, mi, sec, ms);
    if (!date.isValid() || !time.isValid())
        return false;
    *msSinceEpoch = QDateTime(date, time, Qt::UTC).toMSecsSinceEpoch() - qint64(offset) * 1000;
    return true;
}

template<typename T>
std::vector<std::unique_ptr<T>> queryPartition(
    const QString &table, const QString &key, QString *error)
{
    std::vector<std::unique_ptr<T>> list;
    QString err;
    if (!TableService) {
        err = notStarted();
    } else {
        // Records are made page by page as the pages come in.
        const bool ok = TableService->queryAllPages(
            table, PartitionFilter(key),
            [&list](TCloudTableRows &&rows) {
                list.reserve(list.size() + rows.size());
                for (const TCloudTableRow &row : rows)
                    list.push_back(std::make_unique<T>(Create<T>(row)));
            },
            &err);
        // Part of a partition is no answer: Collect Scans would take it for all of it.
        if (!ok)
            list.clear();
    }
    if (error)
        *error = err;
    return list;
}

// Missing stays NullDate; a real service time loses its milliseconds.
TDateTime serviceTime(const TCloudTableRow &Row, const QString &Name)
{
    const TDateTime t = GetColDateTime(Row, Name, true);
    return t == NullDate ? t : truncateToSecond(t);
}

QString cloudDate(TDateTime local)
{
    return GetUTCTimeStr(local) + QLatin1Char('Z');
}

QString cloudDouble(double v)
{
    return QString::number(v, 'g', 15);
}

const QString kDateTime = QStringLiteral("Edm.DateTime");
const QString kInt32 = QStringLiteral("Edm.Int32");
const QString kDouble = QStringLiteral("Edm.Double");

template<typename T> bool store(const QString &table, const T &record, QString *error)
{
    QString err;
    bool ok = false;
    if (!TableService) {
        err = notStarted();
    } else {
        try {
            const TCloudTableRow row = ToTableRow(record);
            ok = TableService->InsertOrReplaceEntity(table, row, &err);
        } catch (const EConvertError &e) {
            err = QStringLiteral("The record's date cannot be written (%1).")
                      .arg(QString::fromUtf8(e.what()));
        }
    }
    if (error)
        *error = err;
    return ok;
}
} // namespace

void AzureStart(char WhichApp)
{
    azConn = std::make_unique<TAzureConnectionInfo>();
    azConn->Protocol = QStringLiteral("https");
    azConn->Endpoint = overridden("KESTRUN_TABLE_ENDPOINT", KESTRUN_TABLE_ENDPOINT);
    if (WhichApp == 'S') {
        azConn->AccountName = overridden("KESTRUN_TABLE_ACCOUNT", KESTRUN_ACCOUNT_NAME_SCAN);
        azConn->AccountKey = overridden("KESTRUN_TABLE_KEY", KESTRUN_ACCOUNT_KEY_SCAN);
    } else if (WhichApp == 'B') {
        azConn->AccountName = overridden("KESTRUN_TABLE_ACCOUNT", KESTRUN_ACCOUNT_NAME_PELLAM);
        azConn->AccountKey = overridden("KESTRUN_TABLE_KEY", KESTRUN_ACCOUNT_KEY_PELLAM);
    }
    TableService = std::make_unique<TAzureTableService>(*azConn);
}

void AzureStop()
{
    TableService.reset();
    azConn.reset();
}

TScanSessionList AzureQueryScanSessions(const QString &Email, QString *error)
{
    return queryPartition<TScanSession>(CloudTables::Sessions, Email, error);
}

TScanList AzureQueryScans(const QString &SessionID, QString *error)
{
    return queryPartition<TScan>(CloudTables::Scans, SessionID, error);
}

TVisIDLookupList AzureQueryLookups(const QString &Email, QString *error)
{
    return queryPartition<TVisIDLookup>(CloudTables::Lookups, Email, error);
}

std::optional<TCloudTableRows> QueryEntities(
    const QString &TableName, const QString &FilterS, QString *error)
{
    if (!TableService) {
        if (error)
            *error = notStarted();
        return std::nullopt;
    }
    return TableService->QueryEntities(TableName, FilterS, error);
}

bool EntityExists(const QString &TableName, const QString &PK, const QString &RK, QString *error)
{
    if (!TableService) {
        if (error)
            *error = notStarted();
        return false;
    }
    return TableService->QueryEntity(TableName, PK, RK, error).has_value();
}

QString ReQuote(const QString &S)
{
    return TableProtocol::quoteLiteral(S);
}

QString PartitionFilter(const QString &Key)
{
    if (Key.isEmpty())
        return {};
    return QStringLiteral("PartitionKey eq '") + ReQuote(Key) + QStringLiteral("' ");
}

QString GetColValue(const TCloudTableRow &Row, const QString &Name)
{
    const TCloudColumn *c = Row.GetColumn(Name);
    return c ? c->Value : QString();
}

int GetColIntValue(const TCloudTableRow &Row, const QString &Name)
{
    int v = 0;
    return parseStrictInt(GetColValue(Row, Name), v) ? v : 0;
}

double GetColFloatValue(const TCloudTableRow &Row, const QString &Name)
{
    bool ok = false;
    const double v = GetColValue(Row, Name).toDouble(&ok);
    // NaN and infinities would travel on as positions no map can show.
    return ok && std::isfinite(v) ? v : 0.0;
}

TDateTime GetColDateTime(const TCloudTableRow &Row, const QString &Name, bool isUTC)
{
    const TCloudColumn *c = Row.GetColumn(Name);
    if (!c || c->Value.size() < 16)
        return NullDate;
    qint64 ms = 0;
    if (!parseIso(c->Value, &ms))
        return NullDate;
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    return fromQDateTime(isUTC ? utc : utc.toLocalTime());
}

TScanSession CreateScanSession(const TCloudTableRow &Row)
{
    TScanSession s;
    s.Id = 0;
    s.Creator = GetColValue(Row, QStringLiteral("PartitionKey"));
    s.Uid = GetColValue(Row, QStringLiteral("RowKey"));
    s.Date = GetColDateTime(Row, QStringLiteral("Date"), false);
    s.Name = GetColValue(Row, QStringLiteral("Name"));
    s.Count = GetColIntValue(Row, QStringLiteral("Count"));
    s.PromptOption = GetColValue(Row, QStringLiteral("PromptOption"));
    s.Value1Name = GetColValue(Row, QStringLiteral("Value1Name"));
    s.Value1Format = GetColValue(Row, QStringLiteral("Value1Format"));
    s.Value1Default = GetColValue(Row, QStringLiteral("Value1Default"));
    s.Value2Name = GetColValue(Row, QStringLiteral("Value2Name"));
    s.Value2Format = GetColValue(Row, QStringLiteral("Value2Format"));
    s.Value2Default = GetColValue(Row, QStringLiteral("Value2Default"));
    s.Value3Name = GetColValue(Row, QStringLiteral("Value3Name"));
    s.Value3Format = GetColValue(Row, QStringLiteral("Value3Format"));
    s.Value3Default = GetColValue(Row, QStringLiteral("Value3Default"));
    s.MStatus = GetColValue(Row, QStringLiteral("MStatus"));
    s.DStatus = GetColValue(Row, QStringLiteral("DStatus"));
    // The service names it "Timestamp"; names match without regard to case.
    s.TimeStamp = serviceTime(Row, QStringLiteral("TimeStamp"));
    return s;
}

TScan CreateScan(const TCloudTableRow &Row)
{
    TScan s;
    s.Id = 0;
    s.SessionUid = GetColValue(Row, QStringLiteral("PartitionKey"));
    s.Uid = GetColValue(Row, QStringLiteral("RowKey"));
    s.Date = GetColDateTime(Row, QStringLiteral("Date"), false);
    s.Eid = GetColValue(Row, QStringLiteral("Eid"));
    s.Creator = GetColValue(Row, QStringLiteral("Creator"));
    s.Latitude = GetColFloatValue(Row, QStringLiteral("Latitude"));
    s.Longitude = GetColFloatValue(Row, QStringLiteral("Longitude"));
    s.PremiseId = GetColValue(Row, QStringLiteral("PremiseId"));
    s.Value1 = GetColValue(Row, QStringLiteral("Value1"));
    s.Value2 = GetColValue(Row, QStringLiteral("Value2"));
    s.Value3 = GetColValue(Row, QStringLiteral("Value3"));
    s.VisibleID = GetColValue(Row, QStringLiteral("VisibleID"));
    s.Sequence = GetColIntValue(Row, QStringLiteral("Sequence"));
    s.MStatus = GetColValue(Row, QStringLiteral("MStatus"));
    s.DStatus = GetColValue(Row, QStringLiteral("DStatus"));
    s.Herdcode = GetColValue(Row, QStringLiteral("Herdcode"));
    s.TimeStamp = serviceTime(Row, QStringLiteral("Timestamp"));
    return s;
}

TVisIDLookup CreateVisIDLookup(const TCloudTableRow &Row)
{
    TVisIDLookup l;
    l.Id = 0;
    l.Creator = GetColValue(Row, QStringLiteral("PartitionKey"));
    l.Eid = GetColValue(Row, QStringLiteral("RowKey"));
    l.Date = GetColDateTime(Row, QStringLiteral("Date"), false);
    l.Name = GetColValue(Row, QStringLiteral("Name"));
    l.VisibleID = GetColValue(Row, QStringLiteral("VisibleID"));
    l.MStatus = GetColValue(Row, QStringLiteral("MStatus"));
    l.DStatus = GetColValue(Row, QStringLiteral("DStatus"));
    l.TimeStamp = serviceTime(Row, QStringLiteral("Timestamp"));
    return l;
}

TCloudTableRow ToTableRow(const TScanSession &Session)
{
    TCloudTableRow r;
    r.SetColumn(QStringLiteral("PartitionKey"), Session.Creator);
    r.SetColumn(QStringLiteral("RowKey"), Session.Uid);
    r.SetColumn(QStringLiteral("Date"), cloudDate(Session.Date), kDateTime);
    r.SetColumn(QStringLiteral("Name"), Session.Name);
    r.SetColumn(QStringLiteral("Creator"), Session.Creator);
    r.SetColumn(QStringLiteral("Count"), QString::number(Session.Count), kInt32);
    r.SetColumn(QStringLiteral("PromptOption"), Session.PromptOption);
    r.SetColumn(QStringLiteral("Value1Name"), Session.Value1Name);
    r.SetColumn(QStringLiteral("Value1Format"), Session.Value1Format);
    r.SetColumn(QStringLiteral("Value1Default"), Session.Value1Default);
    r.SetColumn(QStringLiteral("Value2Name"), Session.Value2Name);
    r.SetColumn(QStringLiteral("Value2Format"), Session.Value2Format);
    r.SetColumn(QStringLiteral("Value2Default"), Session.Value2Default);
    r.SetColumn(QStringLiteral("Value3Name"), Session.Value3Name);
    r.SetColumn(QStringLiteral("Value3Format"), Session.Value3Format);
    r.SetColumn(QStringLiteral("Value3Default"), Session.Value3Default);
    r.SetColumn(QStringLiteral("MStatus"), Session.MStatus);
    r.SetColumn(QStringLiteral("DStatus"), Session.DStatus);
    return r;
}

TCloudTableRow ToTableRow(const TScan &Scan)
{
    TCloudTableRow r;
    r.SetColumn(QStringLiteral("PartitionKey"), Scan.SessionUid);
    r.SetColumn(QStringLiteral("RowKey"), Scan.Uid);
    r.SetColumn(QStringLiteral("Date"), cloudDate(Scan.Date), kDateTime);
    r.SetColumn(QStringLiteral("Uid"), Scan.Uid);
    r.SetColumn(QStringLiteral("Eid"), Scan.Eid);
    r.SetColumn(QStringLiteral("Creator"), Scan.Creator);
    r.SetColumn(QStringLiteral("Latitude"), cloudDouble(Scan.Latitude), kDouble);
    r.SetColumn(QStringLiteral("Longitude"), cloudDouble(Scan.Longitude), kDouble);
    r.SetColumn(QStringLiteral("PremiseId"), Scan.PremiseId);
    r.SetColumn(QStringLiteral("Value1"), Scan.Value1);
    r.SetColumn(QStringLiteral("Value2"), Scan.Value2);
    r.SetColumn(QStringLiteral("Value3"), Scan.Value3);
    r.SetColumn(QStringLiteral("VisibleID"), Scan.VisibleID);
    r.SetColumn(QStringLiteral("Sequence"), QString::number(Scan.Sequence), kInt32);
    r.SetColumn(QStringLiteral("MStatus"), Scan.MStatus);
    r.SetColumn(QStringLiteral("DStatus"), Scan.DStatus);
    r.SetColumn(QStringLiteral("Herdcode"), Scan.Herdcode);
    return r;
}

TCloudTableRow ToTableRow(const TVisIDLookup &Lookup)
{
    TCloudTableRow r;
    r.SetColumn(QStringLiteral("PartitionKey"), Lookup.Creator);
    r.SetColumn(QStringLiteral("RowKey"), Lookup.Eid);
    r.SetColumn(QStringLiteral("Date"), cloudDate(Lookup.Date), kDateTime);
    r.SetColumn(QStringLiteral("Name"), Lookup.Name);
    r.SetColumn(QStringLiteral("VisibleID"), Lookup.VisibleID);
    r.SetColumn(QStringLiteral("MStatus"), Lookup.MStatus);
    r.SetColumn(QStringLiteral("DStatus"), Lookup.DStatus);
    return r;
}

bool AzureStore(const TScanSession &Session, QString *error)
{
    return store(CloudTables::Sessions, Session, error);
}

bool AzureStore(const TScan &Scan, QString *error)
{
    return store(CloudTables::Scans, Scan, error);
}

bool AzureStore(const TVisIDLookup &Lookup, QString *error)
{
    return store(CloudTables::Lookups, Lookup, error);
}

bool AzureCreateTables(QString *error)
{
    if (!TableService) {
        if (error)
            *error = notStarted();
        return false;
    }
    for (const QString &t : {CloudTables::Sessions, CloudTables::Scans, CloudTables::Lookups})
        if (!TableService->CreateTable(t, error))
            return false;
    return true;
}
