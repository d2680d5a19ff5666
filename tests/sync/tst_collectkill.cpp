// Collect Scans killed at random moments, and the table service stopped mid-run: every local
// session keeps either its previous scans or exactly the cloud's, and the next run completes.
#include "AccountServiceFixture.h"
#include "CollectScans.h"
#include "FaultServer.h"
#include "SyncFixture.h"
#include "qzBackendless.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QUrl>

#include <signal.h>

using namespace SyncFixture;

namespace {
constexpr int kSessions = 24;
constexpr int kScans = 150;
constexpr int kKills = 6; // per phase; two phases

// One generation of the cloud's data: every session with its scans and their Value1.
struct Generation
{
    QString value1;
    int scans = 0;
    QHash<QString, TScanSession> sessions; // Uid -> the cloud's session
};
} // namespace

class TestCollectKill : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cliExitCodes();
    void killedRunsLoseNothing();
    void serviceStoppedMidRun();

private:
    Generation publish(const QString &value1, int scans);
    QProcess *startCollect();
    int runCollect(QString *out = nullptr, QString *err = nullptr);
    // Each local session holds one whole generation; returns how many sessions are stored.
    int checkStore(const QList<const Generation *> &allowed);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<AccountService> m_accounts;
    QTemporaryDir m_azuriteDir;
    QString m_endpoint;
    QString m_email;
    QString m_db;
    QStringList m_uids;
    QProcessEnvironment m_env;
    qint64 m_fullRunMs = 0;
};

void TestCollectKill::initTestCase()
{
    m_home = std::make_unique<TestHome>();
    // A service of our own: the second test stops it.
    QProcess azurite;
    azurite.start(QStringLiteral(KESTRUN_SOURCE_DIR "/tools/azurite"),
        {QStringLiteral("start"), m_azuriteDir.path(), QStringLiteral("--memory")});
    QVERIFY(azurite.waitForFinished(30000));
    const int port = QString::fromUtf8(azurite.readAllStandardOutput()).trimmed().toInt();
    QVERIFY2(port > 0, azurite.readAllStandardError().constData());
    m_endpoint = QStringLiteral("http://127.0.0.1:%1/devstoreaccount1").arg(port);
    qputenv("KESTRUN_TABLE_ENDPOINT", m_endpoint.toUtf8());
    qputenv("KESTRUN_TABLE_ACCOUNT", AzuriteFixture::Account);
    qputenv("KESTRUN_TABLE_KEY", AzuriteFixture::Key);
    AzureStop();
    AzureStart('S');
    QVERIFY(AzureCreateTables());

    m_accounts = std::make_unique<AccountService>();
    QVERIFY2(m_accounts->ok(), qPrintable(m_accounts->error()));
    qputenv("KESTRUN_ACCOUNTS_URL", m_accounts->baseUrl().toUtf8());
    m_email = QStringLiteral("killer@example.com");
    QCOMPARE(BackendlessRegister(
                 m_email, QStringLiteral("pw"), QStringLiteral("K"), QStringLiteral("tag")),
        QString());
    for (int i = 0; i < kSessions; ++i)
        m_uids << QStringLiteral("kill-%1").arg(i, 2, 10, QLatin1Char('0'));
    m_db = m_home->file(QStringLiteral("scans.db"));
    m_env = QProcessEnvironment::systemEnvironment();

    QProcess login;
    login.setProcessEnvironment(m_env);
    login.start(QStringLiteral(KESTRUN_CLI), {QStringLiteral("login"), m_email});
    login.write("pw\n");
    login.closeWriteChannel();
    QVERIFY(login.waitForFinished(30000));
    QCOMPARE(login.exitCode(), 0);
}

void TestCollectKill::cleanupTestCase()
{
    QProcess::execute(QStringLiteral(KESTRUN_SOURCE_DIR "/tools/azurite"),
        {QStringLiteral("stop"), m_azuriteDir.path()});
}

Generation TestCollectKill::publish(const QString &value1, int scans)
{
    Generation g;
    g.value1 = value1;
    g.scans = scans;
    for (const QString &uid : m_uids) {
        const TScanSession s = storeSession(
            makeSession(m_email, uid, QStringLiteral("Session ") + uid), scans, value1);
        g.sessions.insert(uid, s);
    }
    return g;
}

QProcess *TestCollectKill::startCollect()
{
    auto *p = new QProcess(this);
    p->setProcessEnvironment(m_env);
    p->start(
        QStringLiteral(KESTRUN_CLI), {QStringLiteral("--db"), m_db, QStringLiteral("collect")});
    p->waitForStarted();
    return p;
}

int TestCollectKill::runCollect(QString *out, QString *err)
{
    QProcess *p = startCollect();
    p->waitForFinished(300000);
    if (out)
        *out = QString::fromUtf8(p->readAllStandardOutput());
    if (err)
        *err = QString::fromUtf8(p->readAllStandardError());
    const int rc = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
    delete p;
    return rc;
}

int TestCollectKill::checkStore(const QList<const Generation *> &allowed)
{
    if (!dbOpenScans(m_db)) {
        qWarning("store cannot be opened");
        return -1;
    }
    const TScanSessionList local = QueryScanSessions();
    int stored = 0;
    bool ok = true;
    for (const auto &s : local) {
        ++stored;
        const QStringList scans = localScans(s->Uid);
        bool matched = false;
        for (const Generation *g : allowed) {
            const TScanSession &cloud = g->sessions.value(s->Uid);
            if (laterByMoreThanTwoSeconds(s->TimeStamp, cloud.TimeStamp)
                || laterByMoreThanTwoSeconds(cloud.TimeStamp, s->TimeStamp))
                continue;
            matched = scans == expectedScans(cloud, g->scans, g->value1);
            if (matched)
                break;
        }
        if (!matched) {
            qWarning("session %s holds %lld scans that match no generation", qPrintable(s->Uid),
                qlonglong(scans.size()));
            ok = false;
        }
    }
    dbClose();
    return ok ? stored : -1;
}

void TestCollectKill::cliExitCodes()
{
    auto run = [&](const QString &home, const QStringList &args, const QByteArray &input) {
        QProcessEnvironment env = m_env;
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KESTRUN_CLI), args);
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardError()));
    };
    QTemporaryDir fresh;
    auto [rc, err] = run(fresh.path(), {QStringLiteral("collect")}, {});
    QCOMPARE(rc, 2);
    QVERIFY(err.contains(QStringLiteral("kestrun-cli login EMAIL")));
    std::tie(rc, err) = run(fresh.path(), {QStringLiteral("login"), m_email}, "wrong\n");
    QCOMPARE(rc, 1);
    QCOMPARE(err.trimmed(), QStringLiteral("Invalid login or password."));
    std::tie(rc, err) = run(fresh.path(), {QStringLiteral("collect")}, {});
    QCOMPARE(rc, 2); // a refused log-in stores nothing
    std::tie(rc, err) = run(fresh.path(), {QStringLiteral("login"), m_email}, "pw\n");
    QCOMPARE(rc, 0);
    std::tie(rc, err) = run(fresh.path(), {QStringLiteral("collect")}, {});
    QCOMPARE(rc, 0);
}

void TestCollectKill::killedRunsLoseNothing()
{
    const Generation v1 = publish(QStringLiteral("v1"), kScans);

    // How long one whole run takes, into a scratch store.
    const QString real = m_db;
    m_db = m_home->file(QStringLiteral("scratch.db"));
    QElapsedTimer t;
    t.start();
    QCOMPARE(runCollect(), 0);
    m_fullRunMs = t.elapsed();
    m_db = real;
    qInfo("a whole run takes %lld ms", m_fullRunMs);

    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("kill moments seeded with %u", seed);
    QRandomGenerator rng(seed);
    auto killAtRandom = [&](const QList<const Generation *> &allowed) {
        for (int k = 0; k < kKills; ++k) {
            QProcess *p = startCollect();
            QTest::qWait(int(rng.bounded(quint32(m_fullRunMs))));
            // A run that already ended has no pid; kill(0) would hit this test's own group.
            if (p->state() == QProcess::Running && p->processId() > 0)
                ::kill(pid_t(p->processId()), SIGKILL);
            p->waitForFinished(10000);
            delete p;
            QVERIFY(checkStore(allowed) >= 0);
        }
    };

    // Into an empty store: a session is there with all its scans, or not at all.
    killAtRandom({&v1});
    QString out;
    QCOMPARE(runCollect(&out), 0);
    QCOMPARE(checkStore({&v1}), kSessions);

    // Every session changed in the cloud: each holds the old generation or the new one.
    QTest::qWait(3100);
    const Generation v2 = publish(QStringLiteral("v2"), kScans + 20);
    killAtRandom({&v1, &v2});
    QCOMPARE(runCollect(&out), 0);
    QCOMPARE(checkStore({&v2}), kSessions);
}

void TestCollectKill::serviceStoppedMidRun()
{
    QTest::qWait(3100);
    const Generation v2 = [&] {
        Generation g;
        g.value1 = QStringLiteral("v2");
        g.scans = kScans + 20;
        for (const auto &s : AzureQueryScanSessions(m_email))
            g.sessions.insert(s->Uid, *s);
        return g;
    }();
    QCOMPARE(v2.sessions.size(), kSessions);
    const Generation v3 = publish(QStringLiteral("v3"), kScans + 40);

    // The run goes through a relay that stops the real service after the third scans query,
    // so the stop lands mid-run whatever the machine's speed.
    const QUrl real(m_endpoint);
    std::atomic<int> scanQueries = 0;
    FaultServer relay;
    relay.setHandler([&](const httplib::Request &req, httplib::Response &res) {
        if (req.path.find("/scans") != std::string::npos && ++scanQueries == 4)
            QProcess::execute(QStringLiteral(KESTRUN_SOURCE_DIR "/tools/azurite"),
                {QStringLiteral("stop"), m_azuriteDir.path()});
        httplib::Client service("127.0.0.1", real.port());
        httplib::Headers headers;
        for (const auto &[name, value] : req.headers)
            if (name != "Host" && name != "Content-Length" && name != "REMOTE_ADDR"
                && name != "REMOTE_PORT" && name != "LOCAL_ADDR" && name != "LOCAL_PORT")
                headers.emplace(name, value);
        const auto answer = service.Get(req.target, headers);
        if (!answer) {
            FaultServer::dropMidAnswer()(req, res); // as a stopped service: no answer
            return;
        }
        res.status = answer->status;
        for (const auto &[name, value] : answer->headers)
            if (name != "Content-Length" && name != "Transfer-Encoding" && name != "Connection")
                res.set_header(name, value);
        res.set_content(answer->body, answer->get_header_value("Content-Type"));
    });
    QProcessEnvironment env = m_env;
    env.insert(QStringLiteral("KESTRUN_TABLE_ENDPOINT"),
        QString::fromLatin1(relay.url()) + QStringLiteral("/devstoreaccount1"));
    auto *p = new QProcess(this);
    p->setProcessEnvironment(env);
    p->start(
        QStringLiteral(KESTRUN_CLI), {QStringLiteral("--db"), m_db, QStringLiteral("collect")});
    QVERIFY(p->waitForFinished(120000));
    const QString err = QString::fromUtf8(p->readAllStandardError());
    QCOMPARE(p->exitCode(), 1);
    QVERIFY2(err.contains(QStringLiteral("could not"))
            || err.contains(QStringLiteral("not "
                                           "collected")),
        qPrintable(err));
    delete p;
    qInfo("%s", qPrintable(err.trimmed()));
    QCOMPARE(checkStore({&v2, &v3}), kSessions);
    // Some sessions were collected before the stop, the rest wait for the next run.
    QVERIFY(dbOpenScans(m_db));
    int renewed = 0;
    for (const QString &uid : m_uids)
        renewed += localScans(uid).value(0).endsWith(QLatin1String("=v3")) ? 1 : 0;
    dbClose();
    QVERIFY2(renewed > 0 && renewed < kSessions, qPrintable(QString::number(renewed)));
}

QTEST_GUILESS_MAIN(TestCollectKill)
#include "tst_collectkill.moc"
