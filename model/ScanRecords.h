#pragma once

#include <QString>

#include <memory>
#include <vector>

// Days since 1899-12-30 00:00; the fraction is the time of day.
using TDateTime = double;

struct TScanSession
{
    int Id = 0;
    TDateTime Date = 0.0;
    TDateTime TimeStamp = 0.0;
    QString Name;
    QString Uid;
    int Count = 0;
    QString Creator;
    QString PromptOption;
    QString Value1Name;
    QString Value1Format;
    QString Value1Default;
    QString Value2Name;
    QString Value2Format;
    QString Value2Default;
    QString Value3Name;
    QString Value3Format;
    QString Value3Default;
    QString MStatus;
    QString DStatus;
};

struct TScan
{
    int Id = 0;
    TDateTime TimeStamp = 0.0;
    QString Eid;
    QString VisibleID;
    QString SessionUid;
    QString Uid;
    TDateTime Date = 0.0;
    double Latitude = 0.0;
    double Longitude = 0.0;
    QString Value1;
    QString Value2;
    QString Value3;
    QString PremiseId;
    QString Creator;
    int Sequence = 0;
    QString MStatus;
    QString DStatus;
    QString Herdcode;
};

struct TVisIDLookup
{
    int Id = 0;
    QString Creator;
    QString Eid;
    QString Name;
    TDateTime TimeStamp = 0.0;
    TDateTime Date = 0.0;
    QString VisibleID;
    QString MStatus;
    QString DStatus;
};

// Owning lists: a query hands one to its caller, which releases it with its records.
using TScanSessionList = std::vector<std::unique_ptr<TScanSession>>;
using TScanList = std::vector<std::unique_ptr<TScan>>;
using TVisIDLookupList = std::vector<std::unique_ptr<TVisIDLookup>>;

// Selections built from records of an owning list; they own nothing.
using TScanSessionRefs = std::vector<TScanSession *>;
using TScanRefs = std::vector<TScan *>;
using TVisIDLookupRefs = std::vector<TVisIDLookup *>;

// Release a list's records, last first, leaving the list empty.
void FreeScanSessionList(TScanSessionList &list);
void FreeScanList(TScanList &list);
void FreeLookupList(TVisIDLookupList &list);

// Only "D" marks an archived session; the comparison is exact.
inline bool isArchived(const TScanSession &s)
{
    return s.DStatus == QLatin1String("D");
}

// The Home page's figures: the sum of the sessions' own counts (sessions without a Uid
// skipped) and the number of sessions in the list.
struct ScanCounts
{
    int ScanCount = 0;
    int SessionCount = 0;
};
ScanCounts countScans(const TScanSessionList &sessions);
QString statusLine(const ScanCounts &counts);
