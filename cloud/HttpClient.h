#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <chrono>

struct HttpResponse
{
    // Empty when an answer arrived; otherwise why none did (no connection, time-out, ...).
    QString transportError;
    long status = 0;
    QByteArray body;
    // Header names in lower case, in the order received.
    QList<QPair<QByteArray, QByteArray>> headers;

    bool answered() const { return transportError.isEmpty(); }
    QByteArray header(const QByteArray &lowerName) const;
};

struct HttpRetryPolicy
{
    int attempts = 1; // 1 = no retry
    std::chrono::milliseconds firstWait {200};
    double growth = 2.0;
};

// One reused libcurl easy handle, so requests to a service share its kept-alive connection.
// Blocking calls with connect and total time-outs; TLS certificates are always verified.
class HttpClient
{
public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient &) = delete;
    HttpClient &operator=(const HttpClient &) = delete;

    void setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total);
    void setRetryPolicy(const HttpRetryPolicy &policy) { m_retry = policy; }

    // headers are complete "Name: value" lines. Transient failures (no answer, time-out,
    // connection reset, status 500 or 503) are retried by the policy.
    HttpResponse request(const QByteArray &method, const QByteArray &url,
        const QList<QByteArray> &headers, const QByteArray &body = {});
    // How many TCP connections the handle has opened; tests use it to see reuse.
    long connectionsOpened() const { return m_connects; }

private:
    HttpResponse once(const QByteArray &method, const QByteArray &url,
        const QList<QByteArray> &headers, const QByteArray &body);

    void *m_curl = nullptr; // CURL *
    std::chrono::milliseconds m_connectTimeout {10000};
    std::chrono::milliseconds m_totalTimeout {60000};
    HttpRetryPolicy m_retry;
    long m_connects = 0;
};

// True for answers worth another try: none at all, or status 500 or 503.
bool isTransient(const HttpResponse &r);
