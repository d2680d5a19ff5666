#include "dbWriters.h"

#include "qzSQL.h"

#include <charconv>

template<> QString TableCreate<TScanSession>()
{
    return QStringLiteral(
        "CREATE TABLE ScanSession ( Id INT,  Creator TEXT,  Date REAL,  Name TEXT,  Uid TEXT,  "
        "LastUpdate REAL,  Count INT,  PromptOption TEXT,  Value1Name TEXT,  Value1Format TEXT,  "
        "Value1Default TEXT,  Value2Name TEXT,  Value2Format TEXT,  Value2Default TEXT,  "
        "Value3Name TEXT,  Value3Format TEXT,  Value3Default TEXT,  MStatus TEXT,  DStatus TEXT,  "
        "TimeStamp REAL )");
}

template<> QString TableCreate<TScan>()
{
    return QStringLiteral(
        "CREATE TABLE Scan ( Id INT,  SessionUid TEXT,  Uid TEXT,  Eid TEXT,  Date REAL,  "
        "Creator TEXT,  Latitude REAL,  Longitude REAL,  PremiseId TEXT,  Sequence INT,  "
        "Value1 TEXT,  Value2 TEXT,  Value3 TEXT,  VisibleID TEXT,  MStatus TEXT,  DStatus TEXT,  "
        "Herdcode TEXT )");
}

template<> QString TableCreate<TVisIDLookup>()
{
    return QStringLiteral(
        "CREATE TABLE Lookup ( Id INT,  Creator TEXT,  Eid TEXT,  Date REAL,  TimeStamp REAL,  "
        "VisibleID TEXT,  Name TEXT,  MStatus TEXT,  DStatus TEXT )");
}

double round15(double v)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    double out = v;
    std::from_chars(buf, res.ptr, out);
    return out;
}

namespace {
const QString kSessionColumns = QStringLiteral(
    "Id=?1, Creator=?2, Date=?3, Name=?4, Uid=?5, Count=?6, PromptOption=?7, Value1Name=?8, "
    "Value1Format=?9, Value1Default=?10, Value2Name=?11, Value2Format=?12, Value2Default=?13, "
    "Value3Name=?14, Value3Format=?15, Value3Default=?16, MStatus=?17, DStatus=?18, "
    "TimeStamp=?19");

const QString kInsertSession = QStringLiteral(
    "REPLACE INTO ScanSession (Id, Creator, Date, Name, Uid, Count, PromptOption, Value1Name, "
    "Value1Format, Value1Default, Value2Name, Value2Format, Value2Default, Value3Name, "
    "Value3Format, Value3Default, MStatus, DStatus, TimeStamp) VALUES (?1, ?2, ?3, ?4, ?5, ?6, "
    "?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17, ?18, ?19)");
const QString kUpdateSession = QStringLiteral("UPDATE ScanSession SET ") + kSessionColumns
    + QStringLiteral(" WHERE uid=?20");

const QString kInsertScan = QStringLiteral(
    "REPLACE INTO Scan (Id, SessionUid, Uid, Date, Creator, Eid, Latitude, Longitude, "
    "PremiseId, Value1, Value2, Value3, VisibleID, Sequence, MStatus, DStatus, Herdcode) VALUES "
    "(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, ?16, ?17)");

const QString kInsertLookup = QStringLiteral(
    "REPLACE INTO Lookup (Id, Creator, Eid, Date, VisibleID, Name, MStatus, DStatus, TimeStamp) "
    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
const QString kUpdateLookup = QStringLiteral(
    "UPDATE Lookup SET Id=?1, Creator=?2, Date=?3, Eid=?4, VisibleID=?5, Name=?6, MStatus=?7, "
    "DStatus=?8, TimeStamp=?9 WHERE Creator=?10 AND Eid=?11");

SqlParam num(double v)
{
    return round15(v);
}

SqlParam num(int v)
{
    return qint64(v);
}

template<size_t N> bool run(const QString &sql, const SqlParam (&params)[N])
{
    return runCached(sql, std::span<const SqlParam>(params, N));
}
} // namespace

bool dbInsert(const TScanSession &s)
{
    const SqlParam p[] = {num(s.Id), s.Creator, num(s.Date), s.Name, s.Uid, num(s.Count),
        s.PromptOption, s.Value1Name, s.Value1Format, s.Value1Default, s.Value2Name, s.Value2Format,
        s.Value2Default, s.Value3Name, s.Value3Format, s.Value3Default, s.MStatus, s.DStatus,
        num(s.TimeStamp)};
    return run(kInsertSession, p);
}

bool dbUpdate(const TScanSession &s)
{
    const SqlParam p[] = {num(s.Id), s.Creator, num(s.Date), s.Name, s.Uid, num(s.Count),
        s.PromptOption, s.Value1Name, s.Value1Format, s.Value1Default, s.Value2Name, s.Value2Format,
        s.Value2Default, s.Value3Name, s.Value3Format, s.Value3Default, s.MStatus, s.DStatus,
        num(s.TimeStamp), s.Uid};
    return run(kUpdateSession, p);
}

bool dbInsert(const TScan &s)
{
    const SqlParam p[] = {num(s.Id), s.SessionUid, s.Uid, num(s.Date), s.Creator, s.Eid,
        num(s.Latitude), num(s.Longitude), s.PremiseId, s.Value1, s.Value2, s.Value3, s.VisibleID,
        num(s.Sequence), s.MStatus, s.DStatus, s.Herdcode};
    return run(kInsertScan, p);
}

bool dbInsert(const TVisIDLookup &l)
{
    const SqlParam p[] = {num(l.Id), l.Creator, l.Eid, num(l.Date), l.VisibleID, l.Name, l.MStatus,
        l.DStatus, num(l.TimeStamp)};
    return run(kInsertLookup, p);
}

bool dbUpdate(const TVisIDLookup &l)
{
    const SqlParam p[] = {num(l.Id), l.Creator, num(l.Date), l.Eid, l.VisibleID, l.Name, l.MStatus,
        l.DStatus, num(l.TimeStamp), l.Creator, l.Eid};
    return run(kUpdateLookup, p);
}
