// kestrun-accounts: a local stand-in for the hosted account service's user REST interface,
// for the tests and the demo. It answers
//   POST /APPID/APIKEY/users/login
//   POST /APPID/APIKEY/users/register
//   GET  /APPID/APIKEY/users/restorepassword/EMAIL
// with the hosted service's JSON shapes, status codes and error codes. It sends no e-mail: a
// password reset is only written to stderr.
#include "AccountStore.h"

#include "qzConfig.h"

#include <httplib.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUrl>
#include <QUuid>

#include <cstdio>
#include <mutex>

namespace {
struct Config
{
    QString appId;
    QString restKey;
    int port = 0;
};

// The compiled-in base URL names the app id, the key and the port the program expects.
Config defaultsFromCompiledUrl()
{
    Config c;
    const QUrl url(QStringLiteral(KESTRUN_ACCOUNTS_URL));
    const QStringList parts = url.path().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    c.appId = parts.value(0, QStringLiteral("KESTRUN-APP-ID"));
    c.restKey = parts.value(1, QStringLiteral("KESTRUN-REST-KEY"));
    c.port = url.port(18480);
    return c;
}

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

void answer(httplib::Response &res, int status, const QJsonObject &body)
{
    res.status = status;
    res.set_content(
        QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(), "application/json");
}

// The hosted service's error answer: {"code": N, "message": "..."}.
void fail(httplib::Response &res, int status, int code, const QString &message)
{
    answer(res, status, QJsonObject {{QStringLiteral("code"), code}, {"message", message}});
}

bool parseBody(const httplib::Request &req, httplib::Response &res, QJsonObject &out)
{
    QJsonParseError pe;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(req.body), &pe);
    if (pe.error != QJsonParseError::NoError || !doc.isObject()) {
        fail(res, 400, 8002,
            QStringLiteral("Could not parse request with message: %1").arg(pe.errorString()));
        return false;
    }
    out = doc.object();
    return true;
}

bool isNonEmptyString(const QJsonValue &v)
{
    return v.isString() && !v.toString().isEmpty();
}

bool looksLikeEmail(const QString &s)
{
    static const QRegularExpression re(QStringLiteral(R"(^[^@\s]+@[^@\s]+\.[^@\s]+$)"));
    return re.match(s).hasMatch();
}

class Service
{
public:
    Service(Config config, AccountStore &store) : m_config(std::move(config)), m_store(store) { }

    void install(httplib::Server &server)
    {
        server.Post(R"(/([^/]+)/([^/]+)/users/login)",
            [this](const httplib::Request &req, httplib::Response &res) {
                if (appKnown(req, res))
                    login(req, res);
            });
        server.Post(R"(/([^/]+)/([^/]+)/users/register)",
            [this](const httplib::Request &req, httplib::Response &res) {
                if (appKnown(req, res))
                    registerUser(req, res);
            });
        server.Get(R"(/([^/]+)/([^/]+)/users/restorepassword/(.*))",
            [this](const httplib::Request &req, httplib::Response &res) {
                if (appKnown(req, res))
                    restorePassword(QString::fromStdString(req.matches[3]), res);
            });
    }

private:
    bool appKnown(const httplib::Request &req, httplib::Response &res) const
    {
        if (QString::fromStdString(req.matches[1]) == m_config.appId
            && QString::fromStdString(req.matches[2]) == m_config.restKey)
            return true;
        fail(res, 401, 2002,
            QStringLiteral("Unable to find application. Check application id and/or API key."));
        return false;
    }

    void login(const httplib::Request &req, httplib::Response &res)
    {
        QJsonObject body;
        if (!parseBody(req, res, body))
            return;
        const QJsonValue loginValue = body.value(QStringLiteral("login"));
        const QJsonValue password = body.value(QStringLiteral("password"));
        if (!isNonEmptyString(loginValue) || !isNonEmptyString(password)) {
            fail(res, 400, 3006, QStringLiteral("Login or password is missing or null."));
            return;
        }
        std::lock_guard lock(m_mutex);
        const int i = m_store.find(loginValue.toString());
        if (i < 0 || !m_store.passwordMatches(i, password.toString())) {
            fail(res, 401, 3003, QStringLiteral("Invalid login or password."));
            return;
        }
        m_store.touchLogin(i, nowMs());
        QString error;
        if (!m_store.save(&error)) {
            fail(
                res, 500, 3022, QStringLiteral("Unable to login user due to error: %1").arg(error));
            return;
        }
        QJsonObject user = m_store.publicObject(i);
        user.insert(QStringLiteral("user-token"),
            QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
        answer(res, 200, user);
    }

    void registerUser(const httplib::Request &req, httplib::Response &res)
    {
        QJsonObject body;
        if (!parseBody(req, res, body))
            return;
        if (body.contains(QStringLiteral("objectId"))) {
            fail(res, 400, 3039,
                QStringLiteral("\"objectId\" is a reserved system property and is not allowed "
                               "when registering a user."));
            return;
        }
        const QJsonValue password = body.take(QStringLiteral("password"));
        if (password.isUndefined() || password.isNull()
            || (password.isString() && password.toString().isEmpty())) {
            fail(res, 400, 3011, QStringLiteral("Property 'password' is required."));
            return;
        }
        if (!password.isString()) {
            fail(res, 400, 3050, QStringLiteral("Password should be string."));
            return;
        }
        const QJsonValue email = body.value(QStringLiteral("email"));
        if (!isNonEmptyString(email)) {
            fail(res, 400, 3013,
                QStringLiteral("Unable to register user. Missing identity value for 'email'."));
            return;
        }
        if (!looksLikeEmail(email.toString())) {
            fail(res, 400, 3040, QStringLiteral("Provided email has wrong format."));
            return;
        }
        std::lock_guard lock(m_mutex);
        if (m_store.find(email.toString()) >= 0) {
            fail(res, 409, 3033, QStringLiteral("Unable to register user. User already exists."));
            return;
        }
        const int i = m_store.add(body, password.toString(), nowMs());
        QString error;
        if (!m_store.save(&error)) {
            fail(res, 500, 3021,
                QStringLiteral("Unable to register user due to error: %1").arg(error));
            return;
        }
        answer(res, 200, m_store.publicObject(i));
    }

    void restorePassword(const QString &email, httplib::Response &res)
    {
        std::lock_guard lock(m_mutex);
        if (email.isEmpty() || m_store.find(email) < 0) {
            fail(res, 400, 3020,
                QStringLiteral("Cannot perform password recovery. Unable to find a user with "
                               "the specified identity."));
            return;
        }
        std::fprintf(stderr, "password reset requested for %s (no e-mail is sent)\n",
            email.toUtf8().constData());
        res.status = 200;
    }

    Config m_config;
    AccountStore &m_store;
    std::mutex m_mutex;
};
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrun-accounts"));
    const Config defaults = defaultsFromCompiledUrl();

    QCommandLineParser cli;
    cli.setApplicationDescription(
        QStringLiteral("Local account service for Kestrun's tests and demo (loopback only)."));
    cli.addHelpOption();
    const QCommandLineOption usersOpt(
        QStringLiteral("users"), QStringLiteral("The JSON file that keeps the users."), "file");
    const QCommandLineOption portOpt(QStringLiteral("port"),
        QStringLiteral("Port on 127.0.0.1; 0 picks a free one (default %1).").arg(defaults.port),
        "port", QString::number(defaults.port));
    const QCommandLineOption appIdOpt(QStringLiteral("app-id"),
        QStringLiteral("Application id in the URL (default %1).").arg(defaults.appId), "id",
        defaults.appId);
    const QCommandLineOption keyOpt(QStringLiteral("rest-key"),
        QStringLiteral("REST API key in the URL (default %1).").arg(defaults.restKey), "key",
        defaults.restKey);
    const QCommandLineOption addOpt(QStringLiteral("add-user"),
        QStringLiteral("Add this user to the file unless present, then exit (needs --password, "
                       "--name)."),
        "email");
    const QCommandLineOption passwordOpt(
        QStringLiteral("password"), QStringLiteral("Password for --add-user."), "password");
    const QCommandLineOption nameOpt(
        QStringLiteral("name"), QStringLiteral("Name for --add-user."), "name");
    cli.addOptions({usersOpt, portOpt, appIdOpt, keyOpt, addOpt, passwordOpt, nameOpt});
    cli.process(app);

    if (!cli.isSet(usersOpt)) {
        std::fprintf(stderr, "kestrun-accounts: --users FILE is required\n");
        return 2;
    }
    AccountStore store(cli.value(usersOpt));
    QString error;
    if (!store.load(&error)) {
        std::fprintf(stderr, "kestrun-accounts: %s\n", error.toUtf8().constData());
        return 1;
    }

    if (cli.isSet(addOpt)) {
        const QString email = cli.value(addOpt);
        if (store.find(email) >= 0)
            return 0;
        store.add(QJsonObject {{QStringLiteral("email"), email},
                      {QStringLiteral("name"), cli.value(nameOpt)},
                      {QStringLiteral("partnerid"), QStringLiteral("tag")}},
            cli.value(passwordOpt), nowMs());
        if (!store.save(&error)) {
            std::fprintf(stderr, "kestrun-accounts: %s\n", error.toUtf8().constData());
            return 1;
        }
        std::fprintf(stderr, "added user %s\n", email.toUtf8().constData());
        return 0;
    }

    Config config {cli.value(appIdOpt), cli.value(keyOpt), 0};
    bool portOk = false;
    const int wantedPort = cli.value(portOpt).toInt(&portOk);
    if (!portOk || wantedPort < 0 || wantedPort > 65535) {
        std::fprintf(stderr, "kestrun-accounts: bad --port\n");
        return 2;
    }

    httplib::Server server;
    Service service(config, store);
    service.install(server);
    server.set_error_handler([](const httplib::Request &, httplib::Response &res) {
        if (res.body.empty())
            fail(res, res.status, 0, QStringLiteral("Not found"));
    });
    // The library's default SO_REUSEPORT would let a second service share a taken port and
    // steal half of its requests; a taken port must fail instead.
    server.set_socket_options([](int sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    int port = wantedPort;
    if (wantedPort == 0) {
        port = server.bind_to_any_port("127.0.0.1");
    } else if (!server.bind_to_port("127.0.0.1", wantedPort)) {
        port = -1;
    }
    if (port <= 0) {
        std::fprintf(stderr, "kestrun-accounts: cannot listen on 127.0.0.1:%d\n", wantedPort);
        return 1;
    }
    // The first line of stdout is the base URL; the tests and the service script read it.
    std::printf("listening on http://127.0.0.1:%d/%s/%s\n", port, config.appId.toUtf8().constData(),
        config.restKey.toUtf8().constData());
    std::fflush(stdout);
    return server.listen_after_bind() ? 0 : 1;
}
