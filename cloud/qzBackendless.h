#pragma once

#include <QJsonObject>
#include <QString>

#include <chrono>
#include <stdexcept>

// The account service client: log-in, sign-up and password reset. Each returns the empty text
// when the service accepted the request, otherwise the text to show the user.

// On success stores email, password, the service's name and the time in TagSettings and saves.
QString BackendlessLogon(const QString &email, const QString &password);
QString BackendlessRegister(
    const QString &email, const QString &password, const QString &name, const QString &partnerid);
QString BackendlessRestorePassword(const QString &email);

// Raised by PutRESTResponse for a body that is not JSON; nothing has been sent then.
class ERESTBodyError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raised by GetRESTResponse when no answer came or its status was 500 or higher.
class ERESTRequestError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Sends the JSON text body with method; returns the answer's body, empty when none came. A
// missing answer or a status of 500 or higher goes to the debug log, the body is still given.
QString PutRESTResponse(const QString &URL, const QString &body, const QString &method);
// One GET; returns the answer's body.
QString GetRESTResponse(const QString &URL);

// A member's text with every double quote removed; JSON null and a missing member give "".
QString ValueOf(const QJsonObject &object, const QString &name);

// KESTRUN_ACCOUNTS_URL from the environment when set, otherwise the compiled-in one.
QString backendlessBaseUrl();
// The text returned when no usable answer came.
QString backendlessFailureText();
// Transport time-outs of the account requests; tests shorten them.
void setBackendlessTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total);
// Closes the kept-alive connection, for tests that stop a server.
void resetBackendlessConnection();
