#include "AccountServiceFixture.h"
#include "CollectScans.h"
#include "FaultServer.h"
#include "SyncFixture.h"
#include "qzBackendless.h"

#include <QFileInfo>
#include <QLoggingCategory>

using namespace SyncFixture;

namespace {
QStringList g_debugLines;
void collectDebugLines(QtMsgType, const QMessageLogContext &ctx, const QString &msg)
{
    if (ctx.category && QByteArray(ctx.category) == "kestrun.debug")
        g_debugLines << msg;
}
} // namespace

class TestCollectScans : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyStoreInsertsEverything();
    void tolerance_data();
    void tolerance();
    void earlierCloudStampUntouched();
    void secondRunChangesNothingButLookups();
    void changedSessionGetsExactlyCloudScans_data();
    void changedSessionGetsExactlyCloudScans();
    void oldScansWrittenNotCounted();
    void onlyChangeWithoutNewStampSetsNullDate();
    void lookupMerge();
    void localOnlyRecordsStay();
    void progressReported();

    void sessionQueryFailureChangesNothing();
    void scanQueryFailureKeepsSession();
    void localWriteFailureRollsBack();
    void unopenableDatabaseReadsNoCloud();

    void flowWithoutAccount();
    void flowLoginRefusedAndAccepted();

private:
    void loadLocal();
    SyncOutcome sync();
    void useEndpoint(const QString &endpoint);

    AzuriteFixture *m_azurite = nullptr;
    std::unique_ptr<TestHome> m_home;
    QString m_db;
    QString m_email;
    TScanSessionList m_sessions;
    TVisIDLookupList m_lookups;
};

void TestCollectScans::initTestCase()
{
    static AzuriteFixture azurite;
    QVERIFY2(azurite.ok(), qPrintable(azurite.error()));
    m_azurite = &azurite;
    useEndpoint(azurite.endpoint());
    QString error;
    QVERIFY2(AzureCreateTables(&error), qPrintable(error));
}

void TestCollectScans::useEndpoint(const QString &endpoint)
{
    m_azurite->exportEnv();
    qputenv("KESTRUN_TABLE_ENDPOINT", endpoint.toUtf8());
    AzureStop();
    AzureStart('S');
}

void TestCollectScans::init()
{
    m_home = std::make_unique<TestHome>();
    OrvaloPath.clear();
    resetTagSettings();
    TagSettings.Load(); // the defaults: LastSync 2017-12-31
    m_email = unique(QStringLiteral("farmer.")) + QStringLiteral("@example.com");
    TagSettings.Email = m_email;
    TagSettings.Password = QStringLiteral("pw");
    TagSettings.NewUser = false;
    m_db = m_home->file(QStringLiteral("scans.db"));
    loadLocal();
}

void TestCollectScans::cleanup()
{
    dbClose();
    useEndpoint(m_azurite->endpoint());
    FreeScanSessionList(m_sessions);
    FreeLookupList(m_lookups);
    OrvaloPath.clear();
    m_home.reset();
}

void TestCollectScans::loadLocal()
{
    QVERIFY(dbOpenScans(m_db));
    m_sessions = QueryScanSessions();
    m_lookups = QueryLookups();
    dbClose();
}

SyncOutcome TestCollectScans::sync()
{
    return SyncWithAzure(m_sessions, m_lookups, m_db);
}

void TestCollectScans::emptyStoreInsertsEverything()
{
    const TScanSession a = storeSession(makeSession(m_email, unique("a"), "Weaning"), 3);
    const TScanSession b = storeSession(makeSession(m_email, unique("b"), "Preg test"), 2);
    QVERIFY(AzureStore(makeLookup(m_email, "982000420100001", "17")));
    const SyncOutcome r = sync();
    QCOMPARE(r.resultLine, QStringLiteral("Updated 2 sessions and 5 scans"));
    QVERIFY(!r.failed());
    QCOMPARE(m_sessions.size(), size_t(2));
    QCOMPARE(m_lookups.size(), size_t(1));
    QCOMPARE(m_lookups[0]->VisibleID, QStringLiteral("17"));
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(localScans(a.Uid), expectedScans(a, 3, "v1"));
    QCOMPARE(localScans(b.Uid), expectedScans(b, 2, "v1"));
    dbClose();
    // The newest change seen becomes LastSync, and is saved.
    QVERIFY(TagSettings.LastSync >= std::max(a.TimeStamp, b.TimeStamp));
    const TDateTime saved = TagSettings.LastSync;
    TagSettings.Load();
    QVERIFY(qAbs(TagSettings.LastSync - saved) < 1.0 / 86400);
}

void TestCollectScans::tolerance_data()
{
    QTest::addColumn<double>("secondsOlder");
    QTest::addColumn<bool>("updated");
    QTest::newRow("2.9 s") << 2.9 << false;
    QTest::newRow("3 s") << 3.0 << true;
}

void TestCollectScans::tolerance()
{
    QFETCH(double, secondsOlder);
    QFETCH(bool, updated);
    const TScanSession cloud = storeSession(makeSession(m_email, unique("t"), "Cloud name"), 2);
    TScanSession local = cloud;
    local.Name = QStringLiteral("Local name");
    local.TimeStamp = cloud.TimeStamp - secondsOlder / 86400.0;
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(local));
    QVERIFY(dbInsert(makeScan(local, 50, "local")));
    dbClose();
    loadLocal();
    QLoggingCategory::setFilterRules(QStringLiteral("kestrun.debug.debug=true"));
    g_debugLines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectDebugLines);
    const SyncOutcome r = sync();
    qInstallMessageHandler(previous);
    QLoggingCategory::setFilterRules(QString());
    const QString when = toQDateTime(cloud.TimeStamp, Qt::UTC).toString("yyyy-MM-dd HH:mm:ss");
    QCOMPARE(g_debugLines.value(0), QStringLiteral("Cloud name  %1 ").arg(when));
    if (updated)
        QCOMPARE(g_debugLines.mid(1),
            (QStringList {"Azure Is Newer", "A " + when + ":000",
                "L " + toQDateTime(local.TimeStamp, Qt::UTC).toString("yyyy-MM-dd HH:mm:ss:zzz"),
                "Action : U"}));
    else
        QCOMPARE(g_debugLines.mid(1), QStringList {QStringLiteral("Action : ") + QChar(0)});
    QVERIFY(dbOpenScans(m_db));
    if (updated) {
        QCOMPARE(r.resultLine, QStringLiteral("Updated 1 sessions and 2 scans"));
        QCOMPARE(m_sessions[0]->Name, QStringLiteral("Cloud name"));
        QCOMPARE(localScans(cloud.Uid), expectedScans(cloud, 2, "v1"));
    } else {
        QCOMPARE(r.resultLine, QStringLiteral("No new scans"));
        QCOMPARE(m_sessions[0]->Name, QStringLiteral("Local name"));
        QCOMPARE(localScans(cloud.Uid), expectedScans(cloud, 1, "local", 50));
    }
}

void TestCollectScans::earlierCloudStampUntouched()
{
    const TScanSession cloud = storeSession(makeSession(m_email, unique("e"), "Cloud"), 1);
    TScanSession local = cloud;
    local.Name = QStringLiteral("Newer here");
    local.TimeStamp = cloud.TimeStamp + 1.0;
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(local));
    dbClose();
    loadLocal();
    QCOMPARE(sync().resultLine, QStringLiteral("No new scans"));
    QCOMPARE(m_sessions.size(), size_t(1));
    QCOMPARE(m_sessions[0]->Name, QStringLiteral("Newer here"));
}

void TestCollectScans::secondRunChangesNothingButLookups()
{
    storeSession(makeSession(m_email, unique("s"), "Weaning"), 2);
    QVERIFY(AzureStore(makeLookup(m_email, "982000420100001", "cloud")));
    QCOMPARE(sync().resultLine, QStringLiteral("Updated 1 sessions and 2 scans"));
    // The user's local edit of a lookup is rewritten from the cloud on every run.
    QVERIFY(dbOpenScans(m_db));
    TVisIDLookup edited = *m_lookups[0];
    edited.VisibleID = QStringLiteral("local edit");
    QVERIFY(dbUpdate(edited));
    dbClose();
    loadLocal();
    const QString settingsBefore = [] {
        QFile f(tagSettingsFileName());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }();
    const TDateTime lastSync = TagSettings.LastSync;
    const QDateTime modified = QFileInfo(tagSettingsFileName()).lastModified();
    QTest::qWait(20);
    QCOMPARE(sync().resultLine, QStringLiteral("No new scans"));
    QCOMPARE(TagSettings.LastSync, lastSync);
    QCOMPARE(QFileInfo(tagSettingsFileName()).lastModified(), modified);
    QFile f(tagSettingsFileName());
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()), settingsBefore);
    QCOMPARE(m_lookups.size(), size_t(1));
    QCOMPARE(m_lookups[0]->VisibleID, QStringLiteral("cloud"));
}

void TestCollectScans::changedSessionGetsExactlyCloudScans_data()
{
    QTest::addColumn<int>("cloudScans");
    QTest::newRow("fewer") << 2;
    QTest::newRow("none") << 0;
}

void TestCollectScans::changedSessionGetsExactlyCloudScans()
{
    QFETCH(int, cloudScans);
    const TScanSession cloud
        = storeSession(makeSession(m_email, unique("f"), "Weaning"), cloudScans);
    TScanSession local = cloud;
    local.TimeStamp = cloud.TimeStamp - 1.0;
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(local));
    for (int i = 0; i < 5; ++i)
        QVERIFY(dbInsert(makeScan(local, 100 + i, "old")));
    dbClose();
    loadLocal();
    const SyncOutcome r = sync();
    QCOMPARE(r.NewSessions, 1);
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(localScans(cloud.Uid), expectedScans(cloud, cloudScans, "v1"));
    QCOMPARE(QueryScanSessions().size(), size_t(1));
}

void TestCollectScans::oldScansWrittenNotCounted()
{
    const TScanSession cloud = storeSession(makeSession(m_email, unique("o"), "Old"), 3);
    TagSettings.LastSync = cloud.TimeStamp + 1.0; // every cloud stamp is older
    QCOMPARE(sync().resultLine, QStringLiteral("Updated 1 sessions and 0 scans"));
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(localScans(cloud.Uid).size(), 3);
}

void TestCollectScans::onlyChangeWithoutNewStampSetsNullDate()
{
    const TScanSession cloud = storeSession(makeSession(m_email, unique("n"), "Empty"), 0);
    TagSettings.LastSync = cloud.TimeStamp + 1.0;
    QCOMPARE(sync().resultLine, QStringLiteral("Updated 1 sessions and 0 scans"));
    QCOMPARE(TagSettings.LastSync, NullDate);
}

void TestCollectScans::lookupMerge()
{
    const QString eid = QStringLiteral("982000420100042");
    QVERIFY(AzureStore(makeLookup(m_email, eid, "cloud")));
    QVERIFY(dbOpenScans(m_db));
    // Two local copies of the same lookup, and another account's lookup of the same animal.
    QVERIFY(dbInsert(makeLookup(m_email, eid, "a")));
    QVERIFY(dbInsert(makeLookup(m_email, eid, "b")));
    QVERIFY(dbInsert(makeLookup(QStringLiteral("neighbour@example.com"), eid, "theirs")));
    dbClose();
    loadLocal();
    const SyncOutcome r = sync();
    QCOMPARE(r.resultLine, QStringLiteral("No new scans")); // lookups are not counted
    QCOMPARE(m_lookups.size(), size_t(3));
    QCOMPARE(m_lookups[0]->VisibleID, QStringLiteral("cloud"));
    QCOMPARE(m_lookups[1]->VisibleID, QStringLiteral("cloud"));
    QCOMPARE(m_lookups[2]->VisibleID, QStringLiteral("theirs"));

    // A cloud lookup with a new Creator for a known Eid is one more row.
    const QString other = unique(QStringLiteral("other.")) + QStringLiteral("@example.com");
    QVERIFY(AzureStore(makeLookup(other, eid, "other")));
    TagSettings.Email = other;
    sync();
    QCOMPARE(m_lookups.size(), size_t(4));
    QCOMPARE(m_lookups[3]->Creator, other);
}

void TestCollectScans::localOnlyRecordsStay()
{
    TScanSession gone = makeSession(m_email, unique("gone"), "Deleted in the cloud");
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(gone));
    QVERIFY(dbInsert(makeScan(gone, 1)));
    QVERIFY(dbInsert(makeLookup(m_email, "982000420100077", "kept")));
    dbClose();
    loadLocal();
    QCOMPARE(sync().resultLine, QStringLiteral("No new scans"));
    QCOMPARE(m_sessions.size(), size_t(1));
    QCOMPARE(m_lookups.size(), size_t(1));
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(localScans(gone.Uid).size(), 1);
}

void TestCollectScans::progressReported()
{
    storeSession(makeSession(m_email, unique("p1"), "One"), 2);
    storeSession(makeSession(m_email, unique("p2"), "Two"), 3);
    QList<SyncProgress> steps;
    SyncWithAzure(m_sessions, m_lookups, m_db, [&](const SyncProgress &p) { steps.append(p); });
    QCOMPARE(steps.size(), 2);
    QCOMPARE(steps[0].sessionsDone, 1);
    QCOMPARE(steps[1].sessionsDone, 2);
    QCOMPARE(steps[1].sessionsTotal, 2);
    QCOMPARE(steps[1].scansWritten, 5);
}

void TestCollectScans::sessionQueryFailureChangesNothing()
{
    QVERIFY(dbOpenScans(m_db));
    TScanSession kept = makeSession(m_email, unique("k"), "Kept");
    QVERIFY(dbInsert(kept));
    dbClose();
    loadLocal();
    FaultServer server;
    server.setHandler(FaultServer::status(
        403, R"({"odata.error":{"code":"AuthenticationFailed","message":{"value":"no"}}})"));
    useEndpoint(QString::fromLatin1(server.url()) + QStringLiteral("/devstoreaccount1"));
    const TDateTime lastSync = TagSettings.LastSync;
    const SyncOutcome r = sync();
    QVERIFY(r.failed());
    QVERIFY(r.resultLine.contains(QStringLiteral("Your sessions could not be read")));
    QVERIFY(r.resultLine != QStringLiteral("No new scans"));
    QCOMPARE(TagSettings.LastSync, lastSync);
    QCOMPARE(m_sessions.size(), size_t(1));
    QVERIFY(!QFile::exists(tagSettingsFileName()));
}

void TestCollectScans::scanQueryFailureKeepsSession()
{
    // Sessions come from a stand-in whose scans query fails for one session.
    const QString bad = unique("bad"), good = unique("good");
    const QByteArray stamp = "2026-12-11T10:00:00.1234567Z";
    const QByteArray sessions = R"({"value":[{"PartitionKey":")" + m_email.toUtf8()
        + R"(","RowKey":")" + bad.toUtf8() + R"(","Timestamp":")" + stamp
        + R"(","Name":"Bad","Count":1},{"PartitionKey":")" + m_email.toUtf8() + R"(","RowKey":")"
        + good.toUtf8() + R"(","Timestamp":")" + stamp + R"(","Name":"Good","Count":1}]})";
    FaultServer server;
    server.setHandler([&](const httplib::Request &req, httplib::Response &res) {
        const std::string filter = req.get_param_value("$filter");
        if (req.path.find("/sessions") != std::string::npos) {
            res.set_content(sessions.toStdString(), "application/json");
        } else if (req.path.find("/scans") != std::string::npos
            && filter.find(bad.toStdString()) != std::string::npos) {
            res.status = 403;
            res.set_content(R"({"odata.error":{"code":"Denied","message":{"value":"no"}}})",
                "application/json");
        } else if (req.path.find("/scans") != std::string::npos) {
            res.set_content(R"({"value":[{"PartitionKey":")" + good.toStdString()
                    + R"(","RowKey":"x1","Timestamp":"2026-12-11T10:00:00Z",)"
                    + R"("Eid":"982000420100001"}]})",
                "application/json");
        } else {
            res.set_content(R"({"value":[]})", "application/json");
        }
    });
    TScanSession local = makeSession(m_email, bad, "Bad, as stored");
    local.TimeStamp = 40000;
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(local));
    QVERIFY(dbInsert(makeScan(local, 1, "precious")));
    dbClose();
    loadLocal();
    useEndpoint(QString::fromLatin1(server.url()) + QStringLiteral("/devstoreaccount1"));
    const SyncOutcome r = sync();
    QVERIFY(r.failed());
    QCOMPARE(r.NewSessions, 1);
    QVERIFY(r.resultLine.startsWith(QStringLiteral("Updated 1 sessions and 1 scans. 1 changed "
                                                   "sessions could not be collected and will be "
                                                   "tried again next time: ")));
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(localScans(bad), expectedScans(local, 1, "precious", 1));
    QCOMPARE(localScans(good), QStringList {QStringLiteral("x1=")});
    for (const auto &s : m_sessions)
        if (s->Uid == bad) {
            QCOMPARE(s->TimeStamp, 40000.0); // so the next run tries again
            QCOMPARE(s->Name, QStringLiteral("Bad, as stored"));
        }
}

void TestCollectScans::localWriteFailureRollsBack()
{
    const TScanSession cloud = storeSession(makeSession(m_email, unique("w"), "Cloud"), 3);
    TScanSession local = cloud;
    local.Name = QStringLiteral("Local");
    local.TimeStamp = cloud.TimeStamp - 1.0;
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(local));
    QVERIFY(dbInsert(makeScan(local, 7, "kept")));
    // The store refuses the second cloud scan.
    QVERIFY(DoSQL(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Scan WHEN NEW.Uid LIKE "
                                 "'%-00001' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    dbClose();
    loadLocal();
    const SyncOutcome r = sync();
    QVERIFY(r.failed());
    QCOMPARE(r.NewSessions, 0);
    QVERIFY(r.resultLine.contains(QStringLiteral("writing to the local database failed")));
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(localScans(cloud.Uid), expectedScans(local, 1, "kept", 7));
    QCOMPARE(QueryScanSessions()[0]->Name, QStringLiteral("Local"));
}

void TestCollectScans::unopenableDatabaseReadsNoCloud()
{
    FaultServer server;
    server.setHandler(FaultServer::status(200, R"({"value":[]})"));
    useEndpoint(QString::fromLatin1(server.url()) + QStringLiteral("/devstoreaccount1"));
    const QString nowhere = m_home->file(QStringLiteral("missing/folder/scans.db"));
    const SyncOutcome r = SyncWithAzure(m_sessions, m_lookups, nowhere);
    QVERIFY(r.failed());
    QCOMPARE(r.resultLine, QStringLiteral("The local database %1 cannot be opened.").arg(nowhere));
    QVERIFY(server.requests().empty());
}

void TestCollectScans::flowWithoutAccount()
{
    TagSettings.Email.clear();
    TagSettings.NewUser = true;
    bool asked = false;
    const CollectResult r = CollectScans(m_sessions, m_lookups, m_db, [&] { asked = true; });
    QVERIFY(asked);
    QCOMPARE(r.status, CollectStatus::NoAccount);
    QVERIFY(r.text.isEmpty());
}

void TestCollectScans::flowLoginRefusedAndAccepted()
{
    AccountService accounts;
    QVERIFY2(accounts.ok(), qPrintable(accounts.error()));
    qputenv("KESTRUN_ACCOUNTS_URL", accounts.baseUrl().toUtf8());
    QCOMPARE(BackendlessRegister(m_email, QStringLiteral("right"), QStringLiteral("Jo Farmer"),
                 QStringLiteral("tag")),
        QString());
    storeSession(makeSession(m_email, unique("l"), "Weaning"), 1);

    TagSettings.Password = QStringLiteral("wrong");
    CollectResult r = CollectScans(m_sessions, m_lookups, m_db);
    QCOMPARE(r.status, CollectStatus::LoginRefused);
    QVERIFY(!r.text.isEmpty());
    QVERIFY(m_sessions.empty());

    TagSettings.Password = QStringLiteral("right");
    r = CollectScans(m_sessions, m_lookups, m_db);
    QCOMPARE(r.status, CollectStatus::Done);
    QCOMPARE(r.text, QStringLiteral("Updated 1 sessions and 1 scans"));
    QCOMPARE(TagSettings.Name, QStringLiteral("Jo Farmer"));
    qunsetenv("KESTRUN_ACCOUNTS_URL");
}

QTEST_GUILESS_MAIN(TestCollectScans)
#include "tst_collectscans.moc"
