#pragma once

#include "ScanRecords.h"
#include "TableService.h"

#include <QString>

#include <memory>
#include <optional>

// The cloud connection: one of each from AzureStart to AzureStop.
extern std::unique_ptr<TAzureConnectionInfo> azConn;
extern std::unique_ptr<TAzureTableService> TableService;

namespace CloudTables {
inline const QString Sessions = QStringLiteral("sessions");
inline const QString Scans = QStringLiteral("scans");
inline const QString Lookups = QStringLiteral("lookups");
} // namespace CloudTables

// 'S' or 'B' select a compiled-in storage account; anything else leaves the credentials
// empty. KESTRUN_TABLE_ENDPOINT, KESTRUN_TABLE_ACCOUNT and KESTRUN_TABLE_KEY override the
// compiled-in values. No network traffic happens here.
void AzureStart(char WhichApp);
void AzureStop();

// One partition each, every page of it. A failed query gives an empty list and sets *error
// to the reason; *error is empty on success, so an empty partition is told apart.
TScanSessionList AzureQueryScanSessions(const QString &Email, QString *error = nullptr);
TScanList AzureQueryScans(const QString &SessionID, QString *error = nullptr);
TVisIDLookupList AzureQueryLookups(const QString &Email, QString *error = nullptr);

// Every row matching the filter, or nothing when the query failed.
std::optional<TCloudTableRows> QueryEntities(
    const QString &TableName, const QString &FilterS, QString *error = nullptr);
// False for a missing entity and for a failed request; *error tells them apart.
bool EntityExists(
    const QString &TableName, const QString &PK, const QString &RK, QString *error = nullptr);
// S ready to stand between single quotes of an OData literal: every ' doubled.
QString ReQuote(const QString &S);
// "PartitionKey eq 'key' ", or the empty text (the whole table) for an empty key.
QString PartitionFilter(const QString &Key);

QString GetColValue(const TCloudTableRow &Row, const QString &Name);
int GetColIntValue(const TCloudTableRow &Row, const QString &Name);
double GetColFloatValue(const TCloudTableRow &Row, const QString &Name);
TDateTime GetColDateTime(const TCloudTableRow &Row, const QString &Name, bool isUTC);

// Create(Row): a record from one entity.
TScanSession CreateScanSession(const TCloudTableRow &Row);
TScan CreateScan(const TCloudTableRow &Row);
TVisIDLookup CreateVisIDLookup(const TCloudTableRow &Row);
template<typename T> T Create(const TCloudTableRow &Row);
template<> inline TScanSession Create<TScanSession>(const TCloudTableRow &Row)
{
    return CreateScanSession(Row);
}
template<> inline TScan Create<TScan>(const TCloudTableRow &Row)
{
    return CreateScan(Row);
}
template<> inline TVisIDLookup Create<TVisIDLookup>(const TCloudTableRow &Row)
{
    return CreateVisIDLookup(Row);
}

// The record as an entity. Raises EConvertError for a local Date inside a skipped hour.
TCloudTableRow ToTableRow(const TScanSession &Session);
TCloudTableRow ToTableRow(const TScan &Scan);
TCloudTableRow ToTableRow(const TVisIDLookup &Lookup);

// Insert or replace the record's entity in one request; true when the service confirmed it.
bool AzureStore(const TScanSession &Session, QString *error = nullptr);
bool AzureStore(const TScan &Scan, QString *error = nullptr);
bool AzureStore(const TVisIDLookup &Lookup, QString *error = nullptr);

// Creates the three tables where they are missing (demo data and tests).
bool AzureCreateTables(QString *error = nullptr);
