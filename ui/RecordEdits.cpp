#include "RecordEdits.h"

#include "dbWriters.h"
#include "qzCloud.h"
#include "qzSQL.h"

QString archiveQuestion(const TScanSession &session)
{
    return QStringLiteral("Archive Session \"%1\", and remove it from mobile devices ? ")
        .arg(session.Name);
}

QString archiveFailedText(const TScanSession &session, const QString &reason)
{
    return QStringLiteral("Session \"%1\" was not archived: the cloud did not take the change "
                          "(%2). It stays active; try again later.")
        .arg(session.Name, reason);
}

QString visibleIdFailedText(const TVisIDLookup &lookup, const QString &reason)
{
    return QStringLiteral("The visible ID of %1 was not changed: the cloud did not take the "
                          "change (%2). Try again later.")
        .arg(lookup.Eid, reason);
}

EditResult archiveSession(TScanSessionList &list, TScanSession &session, const QString &dbFileName)
{
    const QString before = session.DStatus;
    session.DStatus = QStringLiteral("D");
    QString error;
    if (!AzureStore(session, &error)) {
        session.DStatus = before;
        return {EditStatus::CloudFailed, error};
    }
    if (!dbOpenScans(dbFileName))
        return {EditStatus::LocalStoreClosed, {}};
    dbUpdate(session);
    FreeScanSessionList(list);
    list = QueryScanSessions();
    dbClose();
    return {};
}

EditResult setVisibleId(TVisIDLookupList &list, TVisIDLookup &lookup, const QString &visibleId,
    const QString &dbFileName)
{
    const QString before = lookup.VisibleID;
    lookup.VisibleID = visibleId;
    if (!dbOpenScans(dbFileName))
        return {EditStatus::LocalStoreClosed, {}};
    QString error;
    if (!AzureStore(lookup, &error)) {
        lookup.VisibleID = before;
        dbClose();
        return {EditStatus::CloudFailed, error};
    }
    dbUpdate(lookup);
    FreeLookupList(list);
    list = QueryLookups();
    dbClose();
    return {};
}
