#include "AccountServiceFixture.h"
#include "HttpClient.h"
#include "TestHome.h"
#include "qzBackendless.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QLocale>
#include <QTest>

using namespace std::chrono_literals;

namespace {
QJsonObject jsonOf(const HttpResponse &r)
{
    return QJsonDocument::fromJson(r.body).object();
}
} // namespace

class TestKestrunAccounts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void errorAnswers_data();
    void errorAnswers();
    void userObjects();
    void usersSurviveRestart();
    void serviceScript();

private:
    HttpResponse call(const QByteArray &method, const QString &path, const QByteArray &body = {});
    std::unique_ptr<AccountService> m_service;
    HttpClient m_http;
};

void TestKestrunAccounts::initTestCase()
{
    m_service = std::make_unique<AccountService>();
    QVERIFY2(m_service->ok(), qPrintable(m_service->error()));
    QCOMPARE(call("POST", "/users/register",
                 "{\"email\":\"cow@example.com\",\"password\":\"moo\",\"name\":\"Daisy\"}")
                 .status,
        200L);
}

// path may climb out of the base URL with "/..", to name another application id and key.
HttpResponse TestKestrunAccounts::call(
    const QByteArray &method, const QString &path, const QByteArray &body)
{
    QString url = m_service->baseUrl();
    QString rest = path;
    while (rest.startsWith(QLatin1String("/.."))) {
        url.truncate(url.lastIndexOf(QLatin1Char('/')));
        rest = rest.mid(3);
    }
    return m_http.request(method, (url + rest).toUtf8(), {"Content-Type: application/json"}, body);
}

void TestKestrunAccounts::errorAnswers_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<long>("status");
    QTest::addColumn<int>("code");
    QTest::newRow("log-in, wrong password")
        << QByteArray("POST") << "/users/login"
        << QByteArray("{\"login\":\"cow@example.com\",\"password\":\"baa\"}") << 401L << 3003;
    QTest::newRow("log-in, no password")
        << QByteArray("POST") << "/users/login" << QByteArray("{\"login\":\"cow@example.com\"}")
        << 400L << 3006;
    QTest::newRow("log-in, not JSON")
        << QByteArray("POST") << "/users/login" << QByteArray("login=cow") << 400L << 8002;
    QTest::newRow("sign-up, existing")
        << QByteArray("POST") << "/users/register"
        << QByteArray("{\"email\":\"COW@example.com\",\"password\":\"x\"}") << 409L << 3033;
    QTest::newRow("sign-up, no password")
        << QByteArray("POST") << "/users/register" << QByteArray("{\"email\":\"n@example.com\"}")
        << 400L << 3011;
    QTest::newRow("sign-up, password not text")
        << QByteArray("POST") << "/users/register"
        << QByteArray("{\"email\":\"n@example.com\",\"password\":5}") << 400L << 3050;
    QTest::newRow("sign-up, no address") << QByteArray("POST") << "/users/register"
                                         << QByteArray("{\"password\":\"x\"}") << 400L << 3013;
    QTest::newRow("sign-up, objectId given")
        << QByteArray("POST") << "/users/register"
        << QByteArray("{\"email\":\"n@example.com\",\"password\":\"x\",\"objectId\":\"1\"}") << 400L
        << 3039;
    QTest::newRow("reset, unknown") << QByteArray("GET") << "/users/restorepassword/x@example.com"
                                    << QByteArray() << 400L << 3020;
    QTest::newRow("wrong application id")
        << QByteArray("POST") << "/../../WRONG-ID/KESTRUN-REST-KEY/users/login"
        << QByteArray("{\"login\":\"cow@example.com\",\"password\":\"moo\"}") << 401L << 2002;
}

void TestKestrunAccounts::errorAnswers()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(long, status);
    QFETCH(int, code);
    const HttpResponse r = call(method, path, body);
    QCOMPARE(r.status, status);
    const QJsonObject o = jsonOf(r);
    // The hosted service's error shape: exactly a code and a message.
    QCOMPARE(o.keys(), (QStringList {"code", "message"}));
    QCOMPARE(o.value("code").toInt(), code);
    QVERIFY(!o.value("message").toString().isEmpty());
}

void TestKestrunAccounts::userObjects()
{
    const HttpResponse reg = call("POST", "/users/register",
        "{\"email\":\"Bull@Example.com\",\"password\":\"p\",\"name\":\"Bull\",\"partnerid\":"
        "\"tag\"}");
    QCOMPARE(reg.status, 200L);
    const QJsonObject u = jsonOf(reg);
    QCOMPARE(u.value("email").toString(), QStringLiteral("Bull@Example.com"));
    QCOMPARE(u.value("name").toString(), QStringLiteral("Bull"));
    QCOMPARE(u.value("partnerid").toString(), QStringLiteral("tag"));
    QCOMPARE(u.value("___class").toString(), QStringLiteral("Users"));
    QVERIFY(!u.value("objectId").toString().isEmpty());
    QVERIFY(!u.contains("password"));
    QVERIFY(!u.contains("user-token")); // sign-up does not log in

    const HttpResponse login
        = call("POST", "/users/login", "{\"login\":\"bull@example.com\",\"password\":\"p\"}");
    QCOMPARE(login.status, 200L);
    const QJsonObject l = jsonOf(login);
    QCOMPARE(l.value("objectId"), u.value("objectId"));
    QCOMPARE(l.value("name").toString(), QStringLiteral("Bull"));
    QVERIFY(!l.value("user-token").toString().isEmpty());
    QVERIFY(l.value("lastLogin").isDouble());

    const HttpResponse reset = call("GET", "/users/restorepassword/BULL@example.com");
    QCOMPARE(reset.status, 200L);
    QVERIFY(reset.body.isEmpty());
}

void TestKestrunAccounts::usersSurviveRestart()
{
    QTemporaryDir dir;
    const QString file = dir.filePath("users.json");
    {
        AccountService first(file);
        QVERIFY(first.ok());
        HttpClient http;
        QCOMPARE(http.request("POST", (first.baseUrl() + "/users/register").toUtf8(),
                         {"Content-Type: application/json"},
                         "{\"email\":\"calf@example.com\",\"password\":\"s3cret\"}")
                     .status,
            200L);
    }
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(!f.readAll().contains("s3cret"));
    QCOMPARE(f.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
        QFileDevice::Permissions());
    AccountService second(file);
    QVERIFY(second.ok());
    HttpClient http;
    const auto login = [&](const char *password) {
        return http
            .request("POST", (second.baseUrl() + "/users/login").toUtf8(),
                {"Content-Type: application/json"},
                QByteArray("{\"login\":\"calf@example.com\",\"password\":\"") + password + "\"}")
            .status;
    };
    QCOMPARE(login("s3cret"), 200L);
    QCOMPARE(login("s3creT"), 401L);
}

void TestKestrunAccounts::serviceScript()
{
    TestHome home;
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    OrvaloPath.clear();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KESTRUN_TOP", KESTRUN_SOURCE_DIR);
    env.insert("KESTRUN_SERVICES_DIR", home.file("services"));
    env.insert("KESTRUN_ACCOUNTS_BIN", KESTRUN_ACCOUNTS_BIN);
    env.insert("KESTRUN_DEMO_EMAIL", "demo@example.com");
    env.insert("KESTRUN_DEMO_PASSWORD", "demo \"pw\"");
    env.insert("KESTRUN_DEMO_NAME", "Demo Farmer");
    const auto script = [&](const QString &command) {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(KESTRUN_SOURCE_DIR "/tools/services/accounts"), {command});
        p.waitForFinished(30000);
        return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()));
    };
    const auto [rc, out] = script("start");
    QCOMPARE(rc, 0);
    // Only the export line on stdout, so that dev-services can eval it.
    const QRegularExpressionMatch m
        = QRegularExpression("^export KESTRUN_ACCOUNTS_URL=(http://127\\.0\\.0\\.1:\\d+/[^/\\s]+/"
                             "[^/\\s]+)\n$")
              .match(out);
    QVERIFY2(m.hasMatch(), qPrintable(out));
    TestHome::setEnv("KESTRUN_ACCOUNTS_URL", m.captured(1));

    QCOMPARE(BackendlessLogon("demo@example.com", "demo \"pw\""), QString());
    QCOMPARE(TagSettings.Name, QStringLiteral("Demo Farmer"));
    // A second start finds it running and names the same address.
    QCOMPARE(script("start"), std::make_pair(0, out));

    QCOMPARE(script("stop").first, 0);
    resetBackendlessConnection();
    setBackendlessTimeouts(2s, 2s);
    QCOMPARE(BackendlessLogon("demo@example.com", "demo \"pw\""), backendlessFailureText());
    // Started again, the demo user is still there, not added twice.
    const auto [rc2, out2] = script("start");
    QCOMPARE(rc2, 0);
    TestHome::setEnv("KESTRUN_ACCOUNTS_URL", out2.mid(out2.indexOf('=') + 1).trimmed());
    QCOMPARE(BackendlessRegister("demo@example.com", "x", "Demo", "tag"),
        QStringLiteral("Unable to register user. User already exists."));
    QCOMPARE(script("stop").first, 0);
    OrvaloPath.clear();
}

QTEST_GUILESS_MAIN(TestKestrunAccounts)
#include "tst_kestrunaccounts.moc"
