#include "CollectScans.h"

#include "dbWriters.h"
#include "qzBackendless.h"
#include "qzCloud.h"
#include "qzLog.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QHash>

#include <cmath>

namespace {
qint64 wholeMs(TDateTime dt)
{
    return std::llround(dt * 86400000.0);
}

QString stamp(TDateTime dt, bool withMs)
{
    return toQDateTime(dt, Qt::UTC)
        .toString(withMs ? QStringLiteral("yyyy-MM-dd HH:mm:ss:zzz")
                         : QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

struct LookupKey
{
    QString creator;
    QString eid;
    bool operator==(const LookupKey &o) const { return creator == o.creator && eid == o.eid; }
};

size_t qHash(const LookupKey &k, size_t seed = 0)
{
    return qHashMulti(seed, k.creator, k.eid);
}

// The service did not answer at all (after its retries): every further request would wait
// as long and fail the same way.
bool isNoConnection(const QString &error)
{
    return error.startsWith(QLatin1String("No connection to the table service"));
}

// Writes one changed session and its cloud scans in one transaction.
bool storeSession(const TScanSession &session, char action, const TScanList &scans)
{
    DbTransaction tx;
    if (!tx.active())
        return false;
    if (!(action == 'I' ? dbInsert(session) : dbUpdate(session)))
        return false;
    const SqlParam uid[] = {session.Uid};
    if (!DoSQL(QStringLiteral("delete from scan where SessionUid=?1"), uid))
        return false;
    for (const auto &scan : scans)
        if (!dbInsert(*scan))
            return false;
    return tx.commit();
}

bool mergeLookups(const TVisIDLookupList &cloud, const TVisIDLookupList &local)
{
    QSet<LookupKey> known;
    known.reserve(qsizetype(local.size()));
    for (const auto &l : local)
        known.insert({l->Creator, l->Eid});
    DbTransaction tx;
    if (!tx.active())
        return false;
    for (const auto &lookup : cloud) {
        // One update rewrites every local row of that Creator and Eid.
        const bool ok = known.contains({lookup->Creator, lookup->Eid}) ? dbUpdate(*lookup)
                                                                       : dbInsert(*lookup);
        if (!ok)
            return false;
    }
    return tx.commit();
}
} // namespace

bool laterByMoreThanTwoSeconds(TDateTime a, TDateTime b)
{
    return wholeMs(a) - wholeMs(b) >= 3000;
}

SyncOutcome SyncWithAzure(TScanSessionList &ScanSessionList, TVisIDLookupList &VisIdLookupList,
    const QString &dbFileName, const SyncProgressFn &progress)
{
    SyncOutcome out;
    out.resultLine = QStringLiteral("No new scans");
    TDateTime LatestDate = NullDate;

    // Nothing is read from the cloud when there is nowhere to put it.
    if (!dbOpenScans(dbFileName)) {
        out.failures << QStringLiteral("The local database %1 cannot be opened.").arg(dbFileName);
        out.resultLine = out.failures.join(QLatin1Char(' '));
        return out;
    }

    QString error;
    TScanSessionList AzureScanSessionList = AzureQueryScanSessions(TagSettings.Email, &error);
    if (!error.isEmpty()) {
        dbClose();
        out.failures
            << QStringLiteral("Your sessions could not be read from the cloud: %1").arg(error);
        out.resultLine = out.failures.join(QLatin1Char(' '));
        return out;
    }

    // Uid -> position of its last local copy.
    QHash<QString, qsizetype> localByUid;
    localByUid.reserve(qsizetype(ScanSessionList.size()));
    for (qsizetype i = 0; i < qsizetype(ScanSessionList.size()); ++i)
        localByUid.insert(ScanSessionList[size_t(i)]->Uid, i);

    SyncProgress step;
    step.sessionsTotal = int(AzureScanSessionList.size());
    int failedSessions = 0;
    bool unreachable = false;
    QString firstSessionError;
    for (const auto &SessionA : AzureScanSessionList) {
        debugLog(QStringLiteral("%1 %2 %3 ")
                     .arg(SessionA->Name, SessionA->DStatus, stamp(SessionA->TimeStamp, false)));
        const bool advances = laterByMoreThanTwoSeconds(SessionA->TimeStamp, TagSettings.LastSync)
            && laterByMoreThanTwoSeconds(SessionA->TimeStamp, LatestDate);

        char Action = 0;
        const auto found = localByUid.constFind(SessionA->Uid);
        if (found == localByUid.cend()) {
            Action = 'I';
        } else {
            const TScanSession &local = *ScanSessionList[size_t(*found)];
            if (laterByMoreThanTwoSeconds(SessionA->TimeStamp, local.TimeStamp)) {
                Action = 'U';
                debugLog(QStringLiteral("Azure Is Newer"));
                debugLog(QStringLiteral("A %1").arg(stamp(SessionA->TimeStamp, true)));
                debugLog(QStringLiteral("L %1").arg(stamp(local.TimeStamp, true)));
            }
        }
        debugLog(QStringLiteral("Action : ") + QChar(char16_t(Action)));

        bool ok = true;
        if (Action && unreachable) {
            ok = false; // no use asking again: the rest is left for the next run
        } else if (Action) {
            TScanList AzureScanList = AzureQueryScans(SessionA->Uid, &error);
            if (!error.isEmpty()) {
                ok = false;
                unreachable = isNoConnection(error);
                if (firstSessionError.isEmpty())
                    firstSessionError = error;
            } else if (!storeSession(*SessionA, Action, AzureScanList)) {
                ok = false;
                if (firstSessionError.isEmpty())
                    firstSessionError = QStringLiteral("writing to the local database failed");
            } else {
                ++out.NewSessions;
                for (const auto &scan : AzureScanList) {
                    if (scan->TimeStamp > TagSettings.LastSync)
                        ++out.NewScans;
                    if (scan->TimeStamp > LatestDate)
                        LatestDate = scan->TimeStamp;
                }
                step.scansWritten += int(AzureScanList.size());
            }
            FreeScanList(AzureScanList);
        }
        // A session left for the next run must not move LastSync past its changes.
        if (ok && advances && SessionA->TimeStamp > LatestDate)
            LatestDate = SessionA->TimeStamp;
        if (!ok)
            ++failedSessions;
        ++step.sessionsDone;
        if (progress)
            progress(step);
    }
    if (failedSessions > 0)
        out.failures << QStringLiteral("%1 changed sessions could not be collected and will be "
                                       "tried again next time: %2")
                            .arg(failedSessions)
                            .arg(firstSessionError);

    TVisIDLookupList AzureLookupList;
    if (unreachable) {
        out.failures << QStringLiteral("Your visible IDs were not collected.");
    } else {
        AzureLookupList = AzureQueryLookups(TagSettings.Email, &error);
        if (!error.isEmpty())
            out.failures << QStringLiteral("Your visible IDs could not be read from the cloud: %1")
                                .arg(error);
        else if (!mergeLookups(AzureLookupList, VisIdLookupList))
            out.failures << QStringLiteral("Your visible IDs could not be written to the local "
                                           "database.");
    }

    FreeLookupList(AzureLookupList);
    FreeScanSessionList(AzureScanSessionList);
    FreeLookupList(VisIdLookupList);
    FreeScanSessionList(ScanSessionList);
    ScanSessionList = QueryScanSessions();
    VisIdLookupList = QueryLookups();
    dbClose();

    if (out.NewScans > 0 || out.NewSessions > 0) {
        out.resultLine
            = QString::asprintf("Updated %d sessions and %d scans", out.NewSessions, out.NewScans);
        TagSettings.LastSync = LatestDate;
        try {
            TagSettings.Save();
        } catch (const ESettingsWriteError &e) {
            out.failures << QStringLiteral("The settings file could not be written: %1")
                                .arg(QString::fromStdString(e.what()));
        }
    }
    if (out.failed())
        out.resultLine += QStringLiteral(". ") + out.failures.join(QLatin1Char(' '));
    return out;
}

CollectResult CollectScans(TScanSessionList &ScanSessionList, TVisIDLookupList &VisIdLookupList,
    const QString &dbFileName, const std::function<void()> &askLogin,
    const SyncProgressFn &progress, const std::function<void()> &merging)
{
    CollectResult r;
    if (TagSettings.NewUser) {
        if (askLogin)
            askLogin();
        TagSettings.Load();
        if (TagSettings.NewUser) {
            r.status = CollectStatus::NoAccount;
            return r;
        }
    }
    const QString refused = BackendlessLogon(TagSettings.Email, TagSettings.Password);
    if (!refused.isEmpty()) {
        r.status = CollectStatus::LoginRefused;
        r.text = refused;
        return r;
    }
    if (merging)
        merging();
    r.outcome = SyncWithAzure(ScanSessionList, VisIdLookupList, dbFileName, progress);
    r.status = r.outcome.failed() ? CollectStatus::Failed : CollectStatus::Done;
    r.text = r.outcome.resultLine;
    return r;
}
