#include "AccountServiceFixture.h"
#include "FaultServer.h"
#include "HttpClient.h"
#include "TestHome.h"
#include "qzBackendless.h"
#include "qzConfig.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QDir>
#include <QLocale>
#include <QLoggingCategory>
#include <QTest>

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <functional>

using namespace std::chrono_literals;

namespace {
QStringList g_debugLines;

void collectDebugLines(QtMsgType type, const QMessageLogContext &ctx, const QString &msg)
{
    if (ctx.category && QByteArray(ctx.category) == "kestrun.debug")
        g_debugLines.append(msg);
    else if (type != QtDebugMsg)
        fprintf(stderr, "%s\n", qPrintable(msg));
}

// Counts how often the settings file is written (QSaveFile renames a new file into place).
class SaveCounter
{
public:
    explicit SaveCounter(const QString &dir)
    {
        m_fd = inotify_init1(IN_NONBLOCK);
        inotify_add_watch(m_fd, QFile::encodeName(dir).constData(), IN_CREATE | IN_MOVED_TO);
    }
    ~SaveCounter() { close(m_fd); }
    int saves()
    {
        alignas(inotify_event) char buf[4096];
        for (;;) {
            const ssize_t n = read(m_fd, buf, sizeof buf);
            if (n <= 0)
                return m_saves;
            for (ssize_t off = 0; off < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buf + off);
                if (e->len && QByteArray(e->name) == "Kestrun.ini")
                    ++m_saves;
                off += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
    }

private:
    int m_fd = -1;
    int m_saves = 0;
};

QString rightQuote()
{
    return QString(QChar(0x2019));
}

// A port nobody listens on: one that a server just gave back.
int closedPort()
{
    FaultServer s;
    return s.port();
}
} // namespace

class TestQzBackendless : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void logonAccepted_data();
    void logonAccepted();
    void logonRefused_data();
    void logonRefused();
    void logonUserWithoutName();
    void logonSaveFails();
    void registerAccepted();
    void registerRefused_data();
    void registerRefused();
    void restorePassword_data();
    void restorePassword();
    void requestsAsSent();
    void restoreUrl_data();
    void restoreUrl();
    void invalidBodySendsNothing();
    void faults_data();
    void faults();
    void restoreFaults_data();
    void restoreFaults();
    void valueOf_data();
    void valueOf();
    void baseUrl();

private:
    void useService(const QString &url) { TestHome::setEnv("KESTRUN_ACCOUNTS_URL", url); }
    void presetSettings();
    void verifySettingsUntouched();
    QByteArray settingsFileBytes() const;

    std::unique_ptr<AccountService> m_service;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<SaveCounter> m_saves;
    std::unique_ptr<FaultServer> m_fault;
    QByteArray m_fileBefore;
};

void TestQzBackendless::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("kestrun.debug.debug=true"));
    qInstallMessageHandler(collectDebugLines);
    m_service = std::make_unique<AccountService>();
    QVERIFY2(m_service->ok(), qPrintable(m_service->error()));
    useService(m_service->baseUrl());
    // A user that every refusal test can try.
    QCOMPARE(BackendlessRegister(QStringLiteral("known@example.com"), QStringLiteral("right-one"),
                 QStringLiteral("Known Farmer"), QStringLiteral("tag")),
        QString());
}

void TestQzBackendless::init()
{
    m_home = std::make_unique<TestHome>();
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    OrvaloPath.clear();
    SetOrvaloPath();
    resetTagSettings();
    m_saves = std::make_unique<SaveCounter>(OrvaloPath);
    useService(m_service->baseUrl());
    setBackendlessTimeouts(5s, 10s);
    m_fault = std::make_unique<FaultServer>();
    g_debugLines.clear();
}

void TestQzBackendless::cleanup()
{
    // A kept-alive connection would hold the fault server's stop for its keep-alive time.
    resetBackendlessConnection();
    m_fault.reset();
    m_saves.reset();
    OrvaloPath.clear();
    m_home.reset();
}

QByteArray TestQzBackendless::settingsFileBytes() const
{
    QFile f(tagSettingsFileName());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Someone already logged in, whose settings a refused log-in must leave alone.
void TestQzBackendless::presetSettings()
{
    TagSettings.Email = QStringLiteral("before@example.com");
    TagSettings.Password = QStringLiteral("before-pw");
    TagSettings.Name = QStringLiteral("Before");
    TagSettings.LastLogin = 43000.5;
    TagSettings.Save();
    m_fileBefore = settingsFileBytes();
    m_saves->saves(); // that save is not the code's under test
}

void TestQzBackendless::verifySettingsUntouched()
{
    QCOMPARE(TagSettings.Email, QStringLiteral("before@example.com"));
    QCOMPARE(TagSettings.Password, QStringLiteral("before-pw"));
    QCOMPARE(TagSettings.Name, QStringLiteral("Before"));
    QCOMPARE(TagSettings.LastLogin, 43000.5);
    QCOMPARE(m_saves->saves(), 1);
    QCOMPARE(settingsFileBytes(), m_fileBefore);
}

void TestQzBackendless::logonAccepted_data()
{
    QTest::addColumn<QString>("registered");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("storedName");
    QTest::newRow("plain") << "plain@example.com"
                           << "plain@example.com"
                           << "grass-fed"
                           << "Pat Plain"
                           << "Pat Plain";
    QTest::newRow("case kept as typed") << "jones@example.com"
                                        << "Jones@Example.COM"
                                        << "moo"
                                        << "Jo Jones"
                                        << "Jo Jones";
    QTest::newRow("password with quotes") << "quote@example.com"
                                          << "quote@example.com"
                                          << "say \"moo\" now"
                                          << "Q Q"
                                          << "Q Q";
    QTest::newRow("password with backslashes") << "slash@example.com"
                                               << "slash@example.com"
                                               << "C:\\pens\\\"7\"\\"
                                               << "S S"
                                               << "S S";
    QTest::newRow("JSON-looking password") << "json@example.com"
                                           << "json@example.com"
                                           << "\",\"password\":\"x\"}"
                                           << "J J"
                                           << "J J";
    QTest::newRow("name with quotes loses them") << "name@example.com"
                                                 << "name@example.com"
                                                 << "pw"
                                                 << "Seán \"Bull\" O'Brien"
                                                 << "Seán Bull O'Brien";
}

void TestQzBackendless::logonAccepted()
{
    QFETCH(QString, registered);
    QFETCH(QString, typed);
    QFETCH(QString, password);
    QFETCH(QString, name);
    QFETCH(QString, storedName);
    QCOMPARE(BackendlessRegister(registered, password, name, QStringLiteral("tag")), QString());
    QCOMPARE(m_saves->saves(), 0);

    const TDateTime before = truncateToSecond(nowLocal());
    QCOMPARE(BackendlessLogon(typed, password), QString());
    const TDateTime after = nowLocal();

    QCOMPARE(TagSettings.Email, typed);
    QCOMPARE(TagSettings.Password, password);
    QCOMPARE(TagSettings.Name, storedName);
    QVERIFY(TagSettings.LastLogin >= before && TagSettings.LastLogin <= after);
    QCOMPARE(m_saves->saves(), 1);
    // What was saved is what a later start reads.
    resetTagSettings();
    TagSettings.Load();
    QCOMPARE(TagSettings.Email, typed);
    QCOMPARE(TagSettings.Password, password);
    QCOMPARE(TagSettings.Name, storedName);
    QVERIFY(!TagSettings.NewUser);
    QVERIFY(g_debugLines.isEmpty());
}

void TestQzBackendless::logonRefused_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");
    QTest::newRow("wrong password") << "known@example.com"
                                    << "wrong-one"
                                    << "Invalid login or password.";
    QTest::newRow("unknown user") << "nobody@example.com"
                                  << "right-one"
                                  << "Invalid login or password.";
    QTest::newRow("password of another case") << "known@example.com"
                                              << "RIGHT-ONE"
                                              << "Invalid login or password.";
    QTest::newRow("empty password") << "known@example.com"
                                    << ""
                                    << "Login or password is missing or null.";
}

void TestQzBackendless::logonRefused()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    QFETCH(QString, message);
    presetSettings();
    QCOMPARE(BackendlessLogon(email, password), message);
    verifySettingsUntouched();
    QVERIFY(g_debugLines.isEmpty());
}

void TestQzBackendless::logonUserWithoutName()
{
    // Registered by another client that gave no name: the service answers "name": null.
    HttpClient http;
    const HttpResponse r = http.request("POST", (m_service->baseUrl() + "/users/register").toUtf8(),
        {"Content-Type: application/json"},
        "{\"email\":\"noname@example.com\",\"password\":\"pw\"}");
    QCOMPARE(r.status, 200L);
    QVERIFY(r.body.contains("\"name\":null"));
    presetSettings();
    QCOMPARE(
        BackendlessLogon(QStringLiteral("noname@example.com"), QStringLiteral("pw")), QString());
    QCOMPARE(TagSettings.Name, QString());
    QCOMPARE(TagSettings.Email, QStringLiteral("noname@example.com"));
    QCOMPARE(m_saves->saves(), 2);
}

void TestQzBackendless::logonSaveFails()
{
    presetSettings();
    // A folder where the settings file should be: it cannot be written.
    QFile::remove(tagSettingsFileName());
    QVERIFY(QDir().mkdir(tagSettingsFileName()));
    const QString result
        = BackendlessLogon(QStringLiteral("known@example.com"), QStringLiteral("right-one"));
    QVERIFY(!result.isEmpty());
    QCOMPARE(TagSettings.Email, QStringLiteral("before@example.com"));
    QCOMPARE(TagSettings.Password, QStringLiteral("before-pw"));
    QCOMPARE(TagSettings.Name, QStringLiteral("Before"));
    QCOMPARE(TagSettings.LastLogin, 43000.5);
}

void TestQzBackendless::registerAccepted()
{
    presetSettings();
    const QString name = QStringLiteral("Jo \"Q\" \\ Smith");
    QCOMPARE(BackendlessRegister(QStringLiteral("New.User@example.com"), QStringLiteral("p\"w\\"),
                 name, QStringLiteral("tag")),
        QString());
    // Stored as sent, quotes and backslash included; the password only as a hash.
    const QJsonObject stored = m_service->storedUser(QStringLiteral("new.user@example.com"));
    const QJsonObject props = stored.value(QStringLiteral("properties")).toObject();
    QCOMPARE(
        props.value(QStringLiteral("email")).toString(), QStringLiteral("New.User@example.com"));
    QCOMPARE(props.value(QStringLiteral("name")).toString(), name);
    QCOMPARE(props.value(QStringLiteral("partnerid")).toString(), QStringLiteral("tag"));
    QVERIFY(!props.contains(QStringLiteral("password")));
    QFile users(m_service->usersFile());
    QVERIFY(users.open(QIODevice::ReadOnly));
    QVERIFY(!users.readAll().contains("p\\\"w\\\\"));
    // Sign-up does not log in.
    verifySettingsUntouched();
    QCOMPARE(BackendlessLogon(QStringLiteral("new.user@example.com"), QStringLiteral("p\"w\\")),
        QString());
}

void TestQzBackendless::registerRefused_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("message");
    QTest::newRow("existing user") << "known@example.com"
                                   << "x"
                                   << ""
                                   << "Unable to register user. User already exists.";
    QTest::newRow("existing user, other case") << "KNOWN@Example.com"
                                               << "x"
                                               << ""
                                               << "Unable to register user. User already exists.";
    QTest::newRow("no password") << "fresh1@example.com"
                                 << ""
                                 << ""
                                 << "Property 'password' is required.";
    QTest::newRow("no address") << ""
                                << "x"
                                << ""
                                << "Unable to register user. Missing identity value for 'email'.";
    QTest::newRow("not an address") << "cattle"
                                    << "x"
                                    << ""
                                    << "Provided email has wrong format.";
    QTest::newRow("wrong REST key")
        << "fresh2@example.com"
        << "x"
        << "/wrong-key"
        << "Unable to find application. Check application id and/or API key.";
}

void TestQzBackendless::registerRefused()
{
    QFETCH(QString, email);
    QFETCH(QString, password);
    QFETCH(QString, url);
    QFETCH(QString, message);
    if (!url.isEmpty()) {
        QString base = m_service->baseUrl();
        base.truncate(base.lastIndexOf(QLatin1Char('/')));
        useService(base + url);
    }
    QCOMPARE(BackendlessRegister(email, password, QStringLiteral("Some One"), "tag"), message);
    QVERIFY(m_service->storedUser(email).isEmpty() || email.contains("known", Qt::CaseInsensitive));
    QCOMPARE(m_saves->saves(), 0);
}

void TestQzBackendless::restorePassword_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("result");
    QTest::newRow("known") << "known@example.com"
                           << "";
    QTest::newRow("known, other case") << "Known@Example.com"
                                       << "";
    QTest::newRow("unknown") << "stranger@example.com"
                             << "Cannot perform password recovery. Unable to find a user with "
                                "the specified identity.";
}

void TestQzBackendless::restorePassword()
{
    QFETCH(QString, email);
    QFETCH(QString, result);
    QCOMPARE(BackendlessRestorePassword(email), result);
    QCOMPARE(m_saves->saves(), 0);
}

void TestQzBackendless::requestsAsSent()
{
    FaultServer &server = *m_fault;
    server.setHandler(FaultServer::status(401, "{\"code\":3003,\"message\":\"no\"}"));
    useService(server.url() + "/APP/KEY");
    const QString password = QStringLiteral("a\"b\\c");
    QCOMPARE(BackendlessLogon(QStringLiteral("Me@Example.com"), password), QStringLiteral("no"));
    QCOMPARE(BackendlessRegister(QStringLiteral("me@example.com"), password,
                 QStringLiteral("Mé \"x\""), QStringLiteral("tag")),
        QStringLiteral("no"));
    const auto requests = server.requests();
    QCOMPARE(requests.size(), size_t(2));

    const httplib::Request &login = requests[0];
    QCOMPARE(login.method, std::string("POST"));
    QCOMPARE(login.path, std::string("/APP/KEY/users/login"));
    QCOMPARE(login.get_header_value("Content-Type"), std::string("application/json"));
    QCOMPARE(login.get_header_value("Accept"), std::string("application/json"));
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(login.body)).object(),
        (QJsonObject {{"login", "Me@Example.com"}, {"password", password}}));

    const httplib::Request &reg = requests[1];
    QCOMPARE(reg.method, std::string("POST"));
    QCOMPARE(reg.path, std::string("/APP/KEY/users/register"));
    QCOMPARE(reg.get_header_value("Content-Type"), std::string("application/json"));
    QCOMPARE(QJsonDocument::fromJson(QByteArray::fromStdString(reg.body)).object(),
        (QJsonObject {{"email", "me@example.com"}, {"password", password},
            {"name", QStringLiteral("Mé \"x\"")}, {"partnerid", "tag"}}));
}

void TestQzBackendless::restoreUrl_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("target");
    QTest::newRow("plain") << "a.b@example.com"
                           << "/APP/KEY/users/restorepassword/a.b@example.com";
    QTest::newRow("plus and case kept") << "Tom+Herd@Example.com"
                                        << "/APP/KEY/users/restorepassword/Tom+Herd@Example.com";
    // These would leave the path segment and reach another endpoint.
    QTest::newRow("slash, query, fragment")
        << "x/../../login?y#z"
        << "/APP/KEY/users/restorepassword/x%2F..%2F..%2Flogin%3Fy%23z";
    QTest::newRow("blank and percent") << "a b%c@d.com"
                                       << "/APP/KEY/users/restorepassword/a%20b%25c@d.com";
}

void TestQzBackendless::restoreUrl()
{
    QFETCH(QString, email);
    QFETCH(QString, target);
    FaultServer &server = *m_fault;
    server.setHandler(FaultServer::status(200, ""));
    useService(server.url() + "/APP/KEY");
    QCOMPARE(BackendlessRestorePassword(email), QString());
    const auto requests = server.requests();
    QCOMPARE(requests.size(), size_t(1));
    QCOMPARE(requests[0].method, std::string("GET"));
    QCOMPARE(QString::fromStdString(requests[0].target), target);
    QCOMPARE(requests[0].get_header_value("Accept"),
        std::string("application/json, text/plain; q=0.9, text/html;q=0.8,"));
}

void TestQzBackendless::invalidBodySendsNothing()
{
    FaultServer &server = *m_fault;
    server.setHandler(FaultServer::status(200, "{}"));
    QVERIFY_THROWS_EXCEPTION(ERESTBodyError,
        PutRESTResponse(server.url() + "/x", QStringLiteral("{\"a\" : \"b\"c\"}"), "POST"));
    QCOMPARE(server.requests().size(), size_t(0));
    QCOMPARE(PutRESTResponse(server.url() + "/x", QStringLiteral("{\"a\" : \"b\"}"), "PUT"),
        QStringLiteral("{}"));
    QCOMPARE(server.requests().at(0).body, std::string("{\"a\":\"b\"}"));
}

Q_DECLARE_METATYPE(FaultServer::Handler)

void TestQzBackendless::faults_data()
{
    QTest::addColumn<bool>("signUp");
    QTest::addColumn<FaultServer::Handler>("handler");
    QTest::addColumn<bool>("noServer");
    QTest::addColumn<QString>("result"); // empty: the failure text
    QTest::addColumn<QString>("logged"); // a debug line that must appear, or empty for none

    const QString html = QStringLiteral("<html><body>Gateway says hello</body></html>");
    for (const bool signUp : {false, true}) {
        const char *op = signUp ? "sign-up: " : "log-in: ";
        auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow(qPrintable(op + QString(name)));
        };
        row("no answer") << signUp << FaultServer::Handler() << true << ""
                         << "REST request failed";
        row("time-out") << signUp << FaultServer::slow(1000ms) << false << ""
                        << "REST request failed";
        row("dropped mid-answer") << signUp << FaultServer::dropMidAnswer("{\"mess") << false << ""
                                  << "REST request failed";
        row("500 with a message") << signUp
                                  << FaultServer::status(
                                         500, "{\"code\":1,\"message\":\"Unexpected error.\"}")
                                  << false << "Unexpected error."
                                  << "REST request failed: HTTP status 500";
        row("500 without JSON") << signUp
                                << FaultServer::status(500, "Internal trouble", "text/plain")
                                << false << ""
                                << "Internal trouble";
        row("500, object without message")
            << signUp << FaultServer::status(500, "{\"code\":1}") << false << ""
            << "REST request failed: HTTP status 500";
        row("401, object without message")
            << signUp << FaultServer::status(401, "{\"error\":\"denied\"}") << false << ""
            << "";
        row("empty body") << signUp << FaultServer::status(200, "") << false << ""
                          << "";
        row("HTML") << signUp << FaultServer::status(200, html.toStdString(), "text/html") << false
                    << "" << html;
        row("JSON array") << signUp << FaultServer::status(200, "[{\"name\":\"x\"}]") << false << ""
                          << "json error";
        row("JSON string") << signUp << FaultServer::status(200, "\"hello\"") << false << ""
                           << "json error";
        row("message with U+2019")
            << signUp
            << FaultServer::status(400,
                   QStringLiteral("{\"code\":3003,\"message\":\"Can%1t log in\"}")
                       .arg(rightQuote())
                       .toStdString())
            << false << "Cant log in"
            << "";
        row("message with escaped U+2019")
            << signUp << FaultServer::status(400, "{\"message\":\"Can\\u2019t log in\"}") << false
            << "Cant log in"
            << "";
        row("message with quotes")
            << signUp << FaultServer::status(400, "{\"message\":\"Say \\\"moo\\\"\"}") << false
            << "Say moo"
            << "";
        row("numeric message") << signUp << FaultServer::status(400, "{\"message\":3003}") << false
                               << "3003"
                               << "";
    }
}

void TestQzBackendless::faults()
{
    QFETCH(bool, signUp);
    QFETCH(FaultServer::Handler, handler);
    QFETCH(bool, noServer);
    QFETCH(QString, result);
    QFETCH(QString, logged);
    FaultServer &server = *m_fault;
    server.setHandler(handler);
    useService(noServer ? QStringLiteral("http://127.0.0.1:%1/APP/KEY").arg(closedPort())
                        : server.url() + "/APP/KEY");
    setBackendlessTimeouts(1s, 300ms);
    presetSettings();

    const QString got = signUp
        ? BackendlessRegister(QStringLiteral("a@example.com"), "pw", "A B", "tag")
        : BackendlessLogon(QStringLiteral("a@example.com"), QStringLiteral("pw"));
    QCOMPARE(got, result.isEmpty() ? backendlessFailureText() : result);
    QVERIFY(!got.isEmpty());
    verifySettingsUntouched();
    if (logged.isEmpty()) {
        QVERIFY2(g_debugLines.isEmpty(), qPrintable(g_debugLines.join('\n')));
    } else {
        const bool found = std::any_of(g_debugLines.begin(), g_debugLines.end(),
            [&](const QString &l) { return l.startsWith(logged); });
        QVERIFY2(found, qPrintable(g_debugLines.join('\n')));
    }
}

void TestQzBackendless::restoreFaults_data()
{
    QTest::addColumn<FaultServer::Handler>("handler");
    QTest::addColumn<bool>("noServer");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("logged");
    const QString ue = QStringLiteral("Username Error");
    const QString html = QStringLiteral("<html>Welcome</html>");
    QTest::newRow("no answer") << FaultServer::Handler() << true << ue << "";
    QTest::newRow("time-out") << FaultServer::slow(1000ms) << false << ue << "";
    QTest::newRow("500 with a message")
        << FaultServer::status(500, "{\"message\":\"Unexpected error.\"}") << false << ue << "";
    QTest::newRow("500 without JSON")
        << FaultServer::status(500, "oops", "text/plain") << false << ue << "";
    QTest::newRow("empty body, 200") << FaultServer::status(200, "") << false << ""
                                     << "";
    QTest::newRow("object without message, 200") << FaultServer::status(200, "{}") << false << ""
                                                 << "";
    QTest::newRow("HTML, 200") << FaultServer::status(200, html.toStdString(), "text/html") << false
                               << "" << html;
    QTest::newRow("HTML, 404") << FaultServer::status(404, html.toStdString(), "text/html") << false
                               << ue << html;
    QTest::newRow("empty body, 404") << FaultServer::status(404, "") << false << ue << "";
    QTest::newRow("JSON array") << FaultServer::status(200, "[1,2]") << false << ue << "json error";
    QTest::newRow("message with U+2019") << FaultServer::status(400,
        QStringLiteral("{\"code\":3020,\"message\":\"User doesn%1t exist\"}")
            .arg(rightQuote())
            .toStdString()) << false << "User doesnt exist"
                                         << "";
}

void TestQzBackendless::restoreFaults()
{
    QFETCH(FaultServer::Handler, handler);
    QFETCH(bool, noServer);
    QFETCH(QString, result);
    QFETCH(QString, logged);
    FaultServer &server = *m_fault;
    server.setHandler(handler);
    useService(noServer ? QStringLiteral("http://127.0.0.1:%1/APP/KEY").arg(closedPort())
                        : server.url() + "/APP/KEY");
    setBackendlessTimeouts(1s, 300ms);
    QCOMPARE(BackendlessRestorePassword(QStringLiteral("a@example.com")), result);
    if (logged.isEmpty())
        QVERIFY2(g_debugLines.isEmpty(), qPrintable(g_debugLines.join('\n')));
    else
        QCOMPARE(g_debugLines, QStringList {logged});
}

void TestQzBackendless::valueOf_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("value");
    QTest::newRow("string") << QByteArray("{\"v\":\"Pat Plain\"}") << "Pat Plain";
    QTest::newRow("string with quotes") << QByteArray("{\"v\":\"a \\\"b\\\" c\"}") << "a b c";
    QTest::newRow("string with backslash") << QByteArray("{\"v\":\"a\\\\b\"}") << "a\\b";
    QTest::newRow("null") << QByteArray("{\"v\":null}") << "";
    QTest::newRow("the text null") << QByteArray("{\"v\":\"null\"}") << "";
    QTest::newRow("missing") << QByteArray("{\"w\":\"x\"}") << "";
    QTest::newRow("integer") << QByteArray("{\"v\":3003}") << "3003";
    QTest::newRow("fraction") << QByteArray("{\"v\":1.5}") << "1.5";
    QTest::newRow("Boolean") << QByteArray("{\"v\":true}") << "true";
    QTest::newRow("object") << QByteArray("{\"v\":{\"a\":1}}") << "{a:1}";
}

void TestQzBackendless::valueOf()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, value);
    QCOMPARE(ValueOf(QJsonDocument::fromJson(json).object(), QStringLiteral("v")), value);
}

void TestQzBackendless::baseUrl()
{
    qunsetenv("KESTRUN_ACCOUNTS_URL");
    QCOMPARE(backendlessBaseUrl(), QStringLiteral(KESTRUN_ACCOUNTS_URL));
    useService(QStringLiteral("http://127.0.0.1:1/A/B/"));
    QCOMPARE(backendlessBaseUrl(), QStringLiteral("http://127.0.0.1:1/A/B"));
}

QTEST_GUILESS_MAIN(TestQzBackendless)
#include "tst_qzbackendless.moc"
