#include "qzBackendless.h"

#include "HttpClient.h"
#include "qzConfig.h"
#include "qzLog.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <memory>

using namespace std::chrono_literals;

namespace {
constexpr QChar kRightSingleQuote(0x2019);

std::chrono::milliseconds g_connectTimeout = 10s;
std::chrono::milliseconds g_totalTimeout = 30s;

// One handle for the account service, so a log-in after a sign-up reuses the connection.
std::unique_ptr<HttpClient> g_http;

HttpClient &accountsHttp()
{
    if (!g_http)
        g_http = std::make_unique<HttpClient>();
    return *g_http;
}

HttpResponse send(const QByteArray &method, const QString &url, const QList<QByteArray> &headers,
    const QByteArray &body = {})
{
    HttpClient &http = accountsHttp();
    http.setTimeouts(g_connectTimeout, g_totalTimeout);
    // Sign-up is not idempotent: one try only.
    http.setRetryPolicy({});
    return http.request(method, url.toUtf8(), headers, body);
}

// Why a request counts as failed, or empty when it did not. The URL holds the REST key, so it
// stays out of the log.
QString failureOf(const HttpResponse &r)
{
    if (!r.answered())
        return QStringLiteral("REST request failed: ") + r.transportError;
    if (r.status >= 500)
        return QStringLiteral("REST request failed: HTTP status %1").arg(r.status);
    return {};
}

// Any JSON value, scalars included (QJsonDocument alone takes only objects and arrays).
bool parseJson(const QString &text, QJsonValue &out)
{
    QJsonParseError error;
    const QJsonDocument doc
        = QJsonDocument::fromJson(QByteArray("[") + text.toUtf8() + QByteArray("]"), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray() || doc.array().size() != 1)
        return false;
    out = doc.array().at(0);
    return true;
}

QString withoutRightQuotes(QString s)
{
    return s.remove(kRightSingleQuote);
}

// Keeps an address as typed ("+", "@" and the like stay), but a "/", "?", "#", "%", blank or
// non-ASCII character cannot leave the path segment and reach another endpoint.
QString pathSegment(const QString &s)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(s, "!$&'()*+,;=:@"));
}

// PutRESTResponse with the status kept, which decides whether an answer without a message
// counts as accepted.
HttpResponse putRequest(const QString &URL, const QString &body, const QString &method)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        throw ERESTBodyError(error.errorString().toStdString());
    HttpResponse r
        = send(method.toUtf8(), URL, {"Content-Type: application/json", "Accept: application/json"},
            doc.toJson(QJsonDocument::Compact));
    const QString failure = failureOf(r);
    if (!failure.isEmpty())
        debugLog(failure);
    return r;
}

HttpResponse getRequest(const QString &URL)
{
    HttpResponse r
        = send("GET", URL, {"Accept: application/json, text/plain; q=0.9, text/html;q=0.8,"});
    const QString failure = failureOf(r);
    if (!failure.isEmpty())
        throw ERESTRequestError(failure.toStdString());
    return r;
}

bool isSuccess(const HttpResponse &r)
{
    return r.status >= 200 && r.status < 300;
}

enum class Outcome { Accepted, Refused, Unusable };

struct Answer
{
    Outcome outcome = Outcome::Unusable;
    QString message;
    QJsonObject object;
};

// The common part of log-in and sign-up: send the body, read the answer.
Answer postAndRead(const QString &path, const QJsonObject &body)
{
    Answer a;
    HttpResponse r;
    try {
        r = putRequest(backendlessBaseUrl() + path,
            QString::fromUtf8(QJsonDocument(body).toJson(QJsonDocument::Compact)),
            QStringLiteral("POST"));
    } catch (const ERESTBodyError &) {
        return a;
    }
    const QString text = withoutRightQuotes(QString::fromUtf8(r.body));
    QJsonValue value;
    if (text.isEmpty() || !parseJson(text, value)) {
        if (!text.isEmpty())
            debugLog(text);
        return a;
    }
    if (!value.isObject()) {
        debugLog(QStringLiteral("json error"));
        return a;
    }
    a.object = value.toObject();
    if (a.object.contains(QStringLiteral("message"))) {
        a.message = withoutRightQuotes(ValueOf(a.object, QStringLiteral("message")));
        if (!a.message.isEmpty()) {
            a.outcome = Outcome::Refused;
            return a;
        }
    }
    // An error status without a message is no acceptance (a proxy's or server's own page).
    a.outcome = isSuccess(r) ? Outcome::Accepted : Outcome::Unusable;
    return a;
}
} // namespace

QString backendlessBaseUrl()
{
    QString url = qEnvironmentVariable("KESTRUN_ACCOUNTS_URL");
    if (url.isEmpty())
        url = QStringLiteral(KESTRUN_ACCOUNTS_URL);
    while (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return url;
}

QString backendlessFailureText()
{
    return QStringLiteral("The account service could not be reached or gave no usable answer. "
                          "Check the internet connection and try again.");
}

void resetBackendlessConnection()
{
    g_http.reset();
}

void setBackendlessTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total)
{
    g_connectTimeout = connect;
    g_totalTimeout = total;
}

QString ValueOf(const QJsonObject &object, const QString &name)
{
    const QJsonValue v = object.value(name);
    QString text;
    if (v.isString()) {
        text = v.toString();
    } else if (v.isNull() || v.isUndefined()) {
        return {};
    } else {
        // Numbers, Booleans, objects and arrays as their JSON text.
        text = QString::fromUtf8(QJsonDocument(QJsonArray {v}).toJson(QJsonDocument::Compact));
        text = text.mid(1, text.size() - 2);
    }
    text = DeQuote(text);
    return text == QLatin1String("null") ? QString() : text;
}

QString PutRESTResponse(const QString &URL, const QString &body, const QString &method)
{
    return QString::fromUtf8(putRequest(URL, body, method).body);
}

QString GetRESTResponse(const QString &URL)
{
    return QString::fromUtf8(getRequest(URL).body);
}

QString BackendlessLogon(const QString &email, const QString &password)
{
    const Answer a = postAndRead(QStringLiteral("/users/login"),
        QJsonObject {{QStringLiteral("login"), email}, {QStringLiteral("password"), password}});
    if (a.outcome == Outcome::Refused)
        return a.message;
    if (a.outcome == Outcome::Unusable)
        return backendlessFailureText();

    const TTagSettings before = TagSettings;
    TagSettings.Email = email;
    TagSettings.Password = password;
    TagSettings.Name = ValueOf(a.object, QStringLiteral("name"));
    TagSettings.LastLogin = nowLocal();
    try {
        TagSettings.Save();
    } catch (const std::exception &e) {
        // A log-in that cannot be remembered is not reported as done.
        TagSettings = before;
        debugLog(QString::fromUtf8(e.what()));
        return QStringLiteral("The log-in worked, but the settings file could not be saved: %1")
            .arg(QString::fromUtf8(e.what()));
    }
    return {};
}

QString BackendlessRegister(
    const QString &email, const QString &password, const QString &name, const QString &partnerid)
{
    const Answer a = postAndRead(QStringLiteral("/users/register"),
        QJsonObject {{QStringLiteral("email"), email}, {QStringLiteral("password"), password},
            {QStringLiteral("name"), name}, {QStringLiteral("partnerid"), partnerid}});
    if (a.outcome == Outcome::Refused)
        return a.message;
    if (a.outcome == Outcome::Unusable)
        return backendlessFailureText();
    return {};
}

QString BackendlessRestorePassword(const QString &email)
{
    const QString usernameError = QStringLiteral("Username Error");
    QString result;
    HttpResponse r;
    try {
        r = getRequest(
            backendlessBaseUrl() + QStringLiteral("/users/restorepassword/") + pathSegment(email));
    } catch (const ERESTRequestError &) {
        result = usernameError;
    }
    // Only a success status may stand for an accepted request when no message says otherwise.
    if (result.isEmpty() && !isSuccess(r))
        result = usernameError;
    const QString text = withoutRightQuotes(QString::fromUtf8(r.body));
    if (text.isEmpty())
        return result;
    QJsonValue value;
    if (!parseJson(text, value)) {
        debugLog(text);
        return result;
    }
    if (!value.isObject()) {
        debugLog(QStringLiteral("json error"));
        return usernameError;
    }
    const QJsonObject object = value.toObject();
    if (object.contains(QStringLiteral("message"))) {
        const QString message = withoutRightQuotes(ValueOf(object, QStringLiteral("message")));
        if (!message.isEmpty() || isSuccess(r))
            result = message;
    }
    return result;
}
