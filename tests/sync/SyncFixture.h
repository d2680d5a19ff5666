#pragma once

#include "AzuriteFixture.h"
#include "TestHome.h"
#include "dbWriters.h"
#include "qzCloud.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QTest>
#include <QUuid>

// Cloud records made and stored for one test, in partitions of its own.
namespace SyncFixture {

inline QString unique(const QString &prefix)
{
    return prefix + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
}

inline TScanSession makeSession(const QString &email, const QString &uid, const QString &name)
{
    TScanSession s;
    s.Creator = email;
    s.Uid = uid;
    s.Name = name;
    s.Date = encodeDate(2026, 5, 4) + 0.375;
    s.Value1Name = QStringLiteral("Pen");
    s.Value2Name = QStringLiteral("Weight");
    s.Value3Name = QStringLiteral("Note");
    return s;
}

inline TScan makeScan(const TScanSession &s, int i, const QString &value1 = QStringLiteral("v1"))
{
    TScan c;
    c.SessionUid = s.Uid;
    c.Uid = QStringLiteral("%1-%2").arg(s.Uid).arg(i, 5, 10, QLatin1Char('0'));
    c.Eid = QString::number(982000420100000LL + i);
    c.Creator = s.Creator;
    c.Date = s.Date + i / 1440.0;
    c.Latitude = -33.86 + i * 1e-5;
    c.Longitude = 151.2 - i * 1e-5;
    c.Value1 = value1;
    c.Sequence = i;
    return c;
}

// Stores a session with `count` scans in the cloud; returns the session as the cloud now
// holds it (with the service's time stamp).
inline TScanSession storeSession(
    TScanSession s, int count, const QString &value1 = QStringLiteral("v1"), int from = 0)
{
    s.Count = count;
    for (int i = from; i < from + count; ++i) {
        QString error;
        if (!AzureStore(makeScan(s, i, value1), &error))
            qFatal("cannot store a scan: %s", qPrintable(error));
    }
    QString error;
    if (!AzureStore(s, &error))
        qFatal("cannot store a session: %s", qPrintable(error));
    for (const auto &c : AzureQueryScanSessions(s.Creator))
        if (c->Uid == s.Uid)
            return *c;
    qFatal("stored session not found");
    return s;
}

inline TVisIDLookup makeLookup(const QString &email, const QString &eid, const QString &vis)
{
    TVisIDLookup l;
    l.Creator = email;
    l.Eid = eid;
    l.VisibleID = vis;
    l.Date = encodeDate(2026, 5, 4);
    return l;
}

// Local rows of one session's scans: "Uid=Value1" texts, sorted.
inline QStringList localScans(const QString &sessionUid)
{
    QStringList rows;
    TSQLQuery q;
    const SqlParam p[] = {sessionUid};
    if (!DoQuery(q, QStringLiteral("SELECT Uid, Value1 FROM Scan WHERE SessionUid=?1"), p))
        return {QStringLiteral("<query failed>")};
    for (; !q.eof(); q.next())
        rows << q.asString(0) + QLatin1Char('=') + q.asString(1);
    rows.sort();
    return rows;
}

inline QStringList expectedScans(
    const TScanSession &s, int count, const QString &value1, int from = 0)
{
    QStringList rows;
    for (int i = from; i < from + count; ++i)
        rows << makeScan(s, i, value1).Uid + QLatin1Char('=') + value1;
    rows.sort();
    return rows;
}

} // namespace SyncFixture
