// Collect Scans on a large account: a first run into an empty store, then a second with
// nothing changed. Prints for each the total time, the time spent waiting on the table
// service and the local work, beside the floor measured in the same run: a bare libcurl loop
// paging the same entities plus a bare sqlite3 loop writing the same rows.
//   sync_bench [--sessions N] [--scans M] [--lookups L]
// Uses the table service of KESTRUN_TABLE_ENDPOINT / _ACCOUNT / _KEY when set, otherwise a
// local one (the test run's, or one started for the bench).
#include "AzuriteFixture.h"
#include "BenchTables.h"
#include "CollectScans.h"
#include "dbWriters.h"
#include "qzCloud.h"
#include "qzConfig.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QUuid>

#include <sqlite3.h>

#include <cstdio>

namespace {
struct Figures
{
    double totalMs = 0, cloudMs = 0;
    double localMs() const { return totalMs - cloudMs; }
};

void report(const char *what, const Figures &ours, const Figures &floor)
{
    std::printf("%-22s total %8.0f ms  service %8.0f ms  local %8.0f ms\n", what, ours.totalMs,
        ours.cloudMs, ours.localMs());
    std::printf("%-22s total %8.0f ms  paging  %8.0f ms  local %8.0f ms\n", "  floor",
        floor.totalMs, floor.cloudMs, floor.localMs());
    std::printf("%-22s %.2fx (service %.2fx, local %.2fx)\n", "  ours / floor",
        ours.totalMs / floor.totalMs, ours.cloudMs / floor.cloudMs,
        ours.localMs() / std::max(0.001, floor.localMs()));
}

sqlite3 *openBare(const QString &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toLocal8Bit().constData(), &db);
    const QByteArray key = QByteArray("PRAGMA key = '") + KESTRUN_DB_PASSWORD + "'";
    sqlite3_exec(db, key.constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(db,
        "PRAGMA encoding = \"UTF-16\"; PRAGMA synchronous = NORMAL; "
        "PRAGMA journal_mode = WAL;",
        nullptr, nullptr, nullptr);
    for (const QString &create :
        {TableCreate<TScanSession>(), TableCreate<TScan>(), TableCreate<TVisIDLookup>()})
        sqlite3_exec(db, create.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(db,
        "CREATE INDEX a ON ScanSession(Uid); CREATE INDEX b ON Scan(SessionUid); "
        "CREATE INDEX c ON Scan(Eid); CREATE INDEX d ON Lookup(Creator, Eid);",
        nullptr, nullptr, nullptr);
    return db;
}

void bindText(sqlite3_stmt *st, int i, const QString &s)
{
    sqlite3_bind_text16(st, i, s.isNull() ? static_cast<const void *>(u"") : s.utf16(),
        int(s.size() * 2), SQLITE_STATIC);
}

// The same columns our writers fill, one transaction per session as ours, lookups in one.
double bareFirstRun(sqlite3 *db, const TScanSessionList &sessions,
    const std::vector<TScanList> &scans, const TVisIDLookupList &lookups)
{
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *ss = nullptr, *sc = nullptr, *lk = nullptr;
    sqlite3_prepare_v2(db,
        "INSERT INTO ScanSession (Id, Creator, Date, Name, Uid, Count, PromptOption, "
        "Value1Name, Value1Format, Value1Default, Value2Name, Value2Format, "
        "Value2Default, Value3Name, Value3Format, Value3Default, MStatus, DStatus, "
        "TimeStamp) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        -1, &ss, nullptr);
    sqlite3_prepare_v2(db,
        "INSERT INTO Scan (Id, SessionUid, Uid, Date, Creator, Eid, Latitude, "
        "Longitude, PremiseId, Value1, Value2, Value3, VisibleID, Sequence, "
        "MStatus, DStatus, Herdcode) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)",
        -1, &sc, nullptr);
    sqlite3_prepare_v2(db,
        "INSERT INTO Lookup (Id, Creator, Eid, Date, VisibleID, Name, MStatus, "
        "DStatus, TimeStamp) VALUES (?,?,?,?,?,?,?,?,?)",
        -1, &lk, nullptr);
    for (size_t i = 0; i < sessions.size(); ++i) {
        const TScanSession &s = *sessions[i];
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_bind_int(ss, 1, s.Id);
        bindText(ss, 2, s.Creator);
        sqlite3_bind_double(ss, 3, s.Date);
        bindText(ss, 4, s.Name);
        bindText(ss, 5, s.Uid);
        sqlite3_bind_int(ss, 6, s.Count);
        const QString *texts[] = {&s.PromptOption, &s.Value1Name, &s.Value1Format, &s.Value1Default,
            &s.Value2Name, &s.Value2Format, &s.Value2Default, &s.Value3Name, &s.Value3Format,
            &s.Value3Default, &s.MStatus, &s.DStatus};
        for (int k = 0; k < 12; ++k)
            bindText(ss, 7 + k, *texts[k]);
        sqlite3_bind_double(ss, 19, s.TimeStamp);
        sqlite3_step(ss);
        sqlite3_reset(ss);
        for (const auto &c : scans[i]) {
            sqlite3_bind_int(sc, 1, c->Id);
            bindText(sc, 2, c->SessionUid);
            bindText(sc, 3, c->Uid);
            sqlite3_bind_double(sc, 4, c->Date);
            bindText(sc, 5, c->Creator);
            bindText(sc, 6, c->Eid);
            sqlite3_bind_double(sc, 7, c->Latitude);
            sqlite3_bind_double(sc, 8, c->Longitude);
            bindText(sc, 9, c->PremiseId);
            bindText(sc, 10, c->Value1);
            bindText(sc, 11, c->Value2);
            bindText(sc, 12, c->Value3);
            bindText(sc, 13, c->VisibleID);
            sqlite3_bind_int(sc, 14, c->Sequence);
            bindText(sc, 15, c->MStatus);
            bindText(sc, 16, c->DStatus);
            bindText(sc, 17, c->Herdcode);
            sqlite3_step(sc);
            sqlite3_reset(sc);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const auto &l : lookups) {
        sqlite3_bind_int(lk, 1, l->Id);
        bindText(lk, 2, l->Creator);
        bindText(lk, 3, l->Eid);
        sqlite3_bind_double(lk, 4, l->Date);
        bindText(lk, 5, l->VisibleID);
        bindText(lk, 6, l->Name);
        bindText(lk, 7, l->MStatus);
        bindText(lk, 8, l->DStatus);
        sqlite3_bind_double(lk, 9, l->TimeStamp);
        sqlite3_step(lk);
        sqlite3_reset(lk);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(ss);
    sqlite3_finalize(sc);
    sqlite3_finalize(lk);
    return t.nsecsElapsed() / 1e6;
}

// A run with nothing changed still rewrites every lookup.
double bareSecondRun(sqlite3 *db, const TVisIDLookupList &lookups)
{
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *up = nullptr;
    sqlite3_prepare_v2(db,
        "UPDATE Lookup SET Id=?, Creator=?, Date=?, Eid=?, VisibleID=?, Name=?, "
        "MStatus=?, DStatus=?, TimeStamp=? WHERE Creator=? AND Eid=?",
        -1, &up, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    for (const auto &l : lookups) {
        sqlite3_bind_int(up, 1, l->Id);
        bindText(up, 2, l->Creator);
        sqlite3_bind_double(up, 3, l->Date);
        bindText(up, 4, l->Eid);
        bindText(up, 5, l->VisibleID);
        bindText(up, 6, l->Name);
        bindText(up, 7, l->MStatus);
        bindText(up, 8, l->DStatus);
        sqlite3_bind_double(up, 9, l->TimeStamp);
        bindText(up, 10, l->Creator);
        bindText(up, 11, l->Eid);
        sqlite3_step(up);
        sqlite3_reset(up);
    }
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(up);
    return t.nsecsElapsed() / 1e6;
}

double pageAll(CURL *curl, const TAzureConnectionInfo &conn, const QString &email,
    const TScanSessionList &sessions, bool withScans)
{
    QElapsedTimer t;
    t.start();
    qint64 bytes = 0;
    BenchTables::bareLoop(curl, conn, CloudTables::Sessions, PartitionFilter(email), &bytes);
    if (withScans)
        for (const auto &s : sessions)
            BenchTables::bareLoop(curl, conn, CloudTables::Scans, PartitionFilter(s->Uid), &bytes);
    BenchTables::bareLoop(curl, conn, CloudTables::Lookups, PartitionFilter(email), &bytes);
    return t.nsecsElapsed() / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kestrun"));
    int nSessions = 1000, nScans = 200000, nLookups = 100000;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--sessions"))
            nSessions = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--scans"))
            nScans = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--lookups"))
            nLookups = args[i + 1].toInt();
    }
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit()); // the settings file goes here, not to yours
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    qputenv("TZ", "UTC");

    std::unique_ptr<AzuriteFixture> local;
    if (qEnvironmentVariableIsEmpty("KESTRUN_TABLE_ENDPOINT")) {
        local = std::make_unique<AzuriteFixture>();
        if (!local->ok()) {
            std::fprintf(stderr, "sync_bench: no table service: %s\n", qPrintable(local->error()));
            return 1;
        }
        local->exportEnv();
    }
    AzureStart('S');
    QString error;
    if (!AzureCreateTables(&error)) {
        std::fprintf(stderr, "sync_bench: %s\n", qPrintable(error));
        return 1;
    }
    const TAzureConnectionInfo conn = *azConn;
    const QString email = QStringLiteral("bench-%1@example.com")
                              .arg(QUuid::createUuid().toString(QUuid::Id128).left(12));
    const int perSession = nScans / nSessions;
    auto sessionUid = [&](int i) { return QStringLiteral("%1-s%2").arg(email).arg(i); };

    QElapsedTimer t;
    t.start();
    bool ok = BenchTables::seed(
        conn, CloudTables::Scans,
        [&](int i) {
            TScan s;
            s.SessionUid = sessionUid(i % nSessions);
            s.Uid = QString::asprintf("scan-%07d", i);
            s.Eid = QString::number(982000400000000LL + i);
            s.Creator = email;
            s.Date = encodeDate(2025, 3, 1) + i / 1440.0;
            s.Latitude = -30.5 + i * 1e-6;
            s.Longitude = 151.6 - i * 1e-6;
            s.Value1 = QString::number(200 + i % 300);
            s.Value2 = QStringLiteral("Pen %1").arg(i % 9);
            s.Sequence = i / nSessions;
            return ToTableRow(s);
        },
        perSession * nSessions);
    ok = ok
        && BenchTables::seed(
            conn, CloudTables::Sessions,
            [&](int i) {
                TScanSession s;
                s.Creator = email;
                s.Uid = sessionUid(i);
                s.Name = QStringLiteral("Session %1").arg(i);
                s.Count = perSession;
                s.Date = encodeDate(2025, 3, 1) + i;
                s.Value1Name = QStringLiteral("Weight");
                s.Value2Name = QStringLiteral("Pen");
                return ToTableRow(s);
            },
            nSessions);
    ok = ok
        && BenchTables::seed(
            conn, CloudTables::Lookups,
            [&](int i) {
                TVisIDLookup l;
                l.Creator = email;
                l.Eid = QString::number(982000400000000LL + i);
                l.VisibleID = QString::number(i + 1);
                l.Date = encodeDate(2025, 3, 1);
                return ToTableRow(l);
            },
            nLookups);
    if (!ok)
        return 1;
    std::printf("seeded %d sessions, %d scans, %d lookups in %.0f s\n", nSessions,
        perSession * nSessions, nLookups, t.elapsed() / 1000.0);

    OrvaloPath.clear();
    TagSettings.Load();
    TagSettings.Email = email;
    const QString db = home.filePath(QStringLiteral("scans.db"));
    TScanSessionList sessions;
    TVisIDLookupList lookups;

    // One untimed pass over everything first, so that neither side meets a cold service.
    {
        CURL *warm = curl_easy_init();
        const TScanSessionList all = AzureQueryScanSessions(email);
        pageAll(warm, conn, email, all, true);
        curl_easy_cleanup(warm);
    }
    const SyncOutcome first = SyncWithAzure(sessions, lookups, db);
    const SyncOutcome second = SyncWithAzure(sessions, lookups, db);
    std::printf("first run:  %s\nsecond run: %s\n", qPrintable(first.resultLine),
        qPrintable(second.resultLine));
    if (first.failed() || second.failed())
        return 1;

    // The floor, with the records read beforehand so that only paging and writing count.
    const TScanSessionList cloudSessions = AzureQueryScanSessions(email);
    std::vector<TScanList> cloudScans;
    for (const auto &s : cloudSessions)
        cloudScans.push_back(AzureQueryScans(s->Uid));
    const TVisIDLookupList cloudLookups = AzureQueryLookups(email);
    CURL *curl = curl_easy_init();
    Figures floor1, floor2;
    floor1.cloudMs = pageAll(curl, conn, email, cloudSessions, true);
    // Opening the encrypted file (its key derivation) is part of both runs' work.
    const QString barePath = home.filePath(QStringLiteral("bare.db"));
    t.restart();
    sqlite3 *bare = openBare(barePath);
    const double open1 = t.nsecsElapsed() / 1e6;
    floor1.totalMs
        = floor1.cloudMs + open1 + bareFirstRun(bare, cloudSessions, cloudScans, cloudLookups);
    sqlite3_close(bare);
    floor2.cloudMs = pageAll(curl, conn, email, cloudSessions, false);
    t.restart();
    bare = openBare(barePath);
    const double open2 = t.nsecsElapsed() / 1e6;
    floor2.totalMs = floor2.cloudMs + open2 + bareSecondRun(bare, cloudLookups);
    sqlite3_close(bare);
    curl_easy_cleanup(curl);

    report("first run (empty)", {first.totalNs / 1e6, first.cloudNs / 1e6}, floor1);
    report("second run (no change)", {second.totalNs / 1e6, second.cloudNs / 1e6}, floor2);
    AzureStop();
    return 0;
}
