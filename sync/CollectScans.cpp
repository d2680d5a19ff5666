#include "CollectScans.h"

#include "dbWriters.h"
#include "qzBackendless.h"
#include "qzCloud.h"
#include "qzLog.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QElapsedTimer>
#include <QHash>

#include <cmath>
#include <future>

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

// The next cloud read runs while the current session is written to the local store. Only one
// request is ever in flight, so the one cloud connection is never shared.
class CloudPrefetch
{
public:
    explicit CloudPrefetch(QString email) : m_email(std::move(email)) { }
    ~CloudPrefetch()
    {
        if (m_scans.valid())
            m_scans.wait();
        if (m_lookups.valid())
            m_lookups.wait();
    }
    void startScans(const QString &uid)
    {
        m_uid = uid;
        m_scans = std::async(std::launch::async, [uid] {
            std::pair<TScanList, QString> r;
            r.first = AzureQueryScans(uid, &r.second);
            return r;
        });
    }
    std::pair<TScanList, QString> takeScans(const QString &uid)
    {
        if (m_scans.valid() && m_uid == uid)
            return m_scans.get();
        std::pair<TScanList, QString> r;
        r.first = AzureQueryScans(uid, &r.second);
        return r;
    }
    void startLookups()
    {
        m_lookups = std::async(std::launch::async, [email = m_email] {
            std::pair<TVisIDLookupList, QString> r;
            r.first = AzureQueryLookups(email, &r.second);
            return r;
        });
    }
    std::pair<TVisIDLookupList, QString> takeLookups()
    {
        if (m_lookups.valid())
            return m_lookups.get();
        std::pair<TVisIDLookupList, QString> r;
        r.first = AzureQueryLookups(m_email, &r.second);
        return r;
    }

private:
    QString m_email;
    QString m_uid;
    std::future<std::pair<TScanList, QString>> m_scans;
    std::future<std::pair<TVisIDLookupList, QString>> m_lookups;
};

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
    QElapsedTimer total, cloud;
    total.start();
    auto timed = [&](auto query) {
        cloud.start();
        auto result = query();
        out.cloudNs += cloud.nsecsElapsed();
        return result;
    };
    out.resultLine = QStringLiteral("No new scans");
    TDateTime LatestDate = NullDate;

    // Nothing is read from the cloud when there is nowhere to put it.
    if (!dbOpenScans(dbFileName)) {
        out.failures << QStringLiteral("The local database %1 cannot be opened.").arg(dbFileName);
        out.resultLine = out.failures.join(QLatin1Char(' '));
        return out;
    }

    QString error;
    TScanSessionList AzureScanSessionList
        = timed([&] { return AzureQueryScanSessions(TagSettings.Email, &error); });
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

    // Every decision rests on the lists read before the run, so they are known up front and
    // the next changed session's scans can be on their way while one is written.
    std::vector<char> actions(AzureScanSessionList.size(), 0);
    std::vector<const TScanSession *> locals(AzureScanSessionList.size(), nullptr);
    for (size_t i = 0; i < AzureScanSessionList.size(); ++i) {
        const TScanSession &cloudSession = *AzureScanSessionList[i];
        const auto found = localByUid.constFind(cloudSession.Uid);
        if (found == localByUid.cend()) {
            actions[i] = 'I';
        } else {
            locals[i] = ScanSessionList[size_t(*found)].get();
            if (laterByMoreThanTwoSeconds(cloudSession.TimeStamp, locals[i]->TimeStamp))
                actions[i] = 'U';
        }
    }
    CloudPrefetch prefetch(TagSettings.Email);
    bool lookupsStarted = false;
    auto startNextRead = [&](size_t after) {
        for (size_t j = after; j < actions.size(); ++j)
            if (actions[j]) {
                prefetch.startScans(AzureScanSessionList[j]->Uid);
                return;
            }
        prefetch.startLookups();
        lookupsStarted = true;
    };
    startNextRead(0);

    SyncProgress step;
    step.sessionsTotal = int(AzureScanSessionList.size());
    int failedSessions = 0;
    bool unreachable = false;
    QString firstSessionError;
    for (size_t i = 0; i < AzureScanSessionList.size(); ++i) {
        const auto &SessionA = AzureScanSessionList[i];
        debugLog(QStringLiteral("%1 %2 %3 ")
                     .arg(SessionA->Name, SessionA->DStatus, stamp(SessionA->TimeStamp, false)));
        const bool advances = laterByMoreThanTwoSeconds(SessionA->TimeStamp, TagSettings.LastSync)
            && laterByMoreThanTwoSeconds(SessionA->TimeStamp, LatestDate);
        const char Action = actions[i];
        if (Action == 'U') {
            debugLog(QStringLiteral("Azure Is Newer"));
            debugLog(QStringLiteral("A %1").arg(stamp(SessionA->TimeStamp, true)));
            debugLog(QStringLiteral("L %1").arg(stamp(locals[i]->TimeStamp, true)));
        }
        debugLog(QStringLiteral("Action : ") + QChar(char16_t(Action)));

        bool ok = true;
        if (Action && unreachable) {
            ok = false; // no use asking again: the rest is left for the next run
        } else if (Action) {
            auto [AzureScanList, scanError]
                = timed([&] { return prefetch.takeScans(SessionA->Uid); });
            if (!scanError.isEmpty()) {
                ok = false;
                unreachable = isNoConnection(scanError);
                if (firstSessionError.isEmpty())
                    firstSessionError = scanError;
            } else {
                startNextRead(i + 1);
                if (!storeSession(*SessionA, Action, AzureScanList)) {
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
        if (!lookupsStarted)
            prefetch.startLookups();
        auto [lookups, lookupError] = timed([&] { return prefetch.takeLookups(); });
        AzureLookupList = std::move(lookups);
        if (!lookupError.isEmpty())
            out.failures << QStringLiteral("Your visible IDs could not be read from the cloud: %1")
                                .arg(lookupError);
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
    out.totalNs = total.nsecsElapsed();
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
