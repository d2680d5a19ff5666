#include "HttpClient.h"

#include <curl/curl.h>

#include <mutex>
#include <thread>

namespace {
void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t onBody(char *data, size_t size, size_t n, void *user)
{
    static_cast<QByteArray *>(user)->append(data, qsizetype(size * n));
    return size * n;
}

size_t onHeader(char *data, size_t size, size_t n, void *user)
{
    auto *r = static_cast<HttpResponse *>(user);
    const QByteArray line = QByteArray(data, qsizetype(size * n)).trimmed();
    if (line.startsWith("HTTP/")) {
        r->headers.clear(); // a new answer (after 100 Continue or a redirect)
    } else {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            r->headers.append(
                {line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()});
    }
    return size * n;
}
} // namespace

QByteArray HttpResponse::header(const QByteArray &lowerName) const
{
    for (const auto &h : headers)
        if (h.first == lowerName)
            return h.second;
    return {};
}

bool isTransient(const HttpResponse &r)
{
    return !r.answered() || r.status == 500 || r.status == 503;
}

HttpClient::HttpClient()
{
    globalInit();
    m_curl = curl_easy_init();
}

HttpClient::~HttpClient()
{
    curl_easy_cleanup(static_cast<CURL *>(m_curl));
}

void HttpClient::setTimeouts(std::chrono::milliseconds connect, std::chrono::milliseconds total)
{
    m_connectTimeout = connect;
    m_totalTimeout = total;
}

HttpResponse HttpClient::request(const QByteArray &method, const QByteArray &url,
    const QList<QByteArray> &headers, const QByteArray &body)
{
    auto wait = m_retry.firstWait;
    HttpResponse r;
    for (int attempt = 1;; ++attempt) {
        r = once(method, url, headers, body);
        if (!isTransient(r) || attempt >= m_retry.attempts)
            return r;
        std::this_thread::sleep_for(wait);
        wait = std::chrono::milliseconds(qint64(double(wait.count()) * m_retry.growth));
    }
}

HttpResponse HttpClient::once(const QByteArray &method, const QByteArray &url,
    const QList<QByteArray> &headers, const QByteArray &body)
{
    HttpResponse r;
    auto *curl = static_cast<CURL *>(m_curl);
    if (!curl) {
        r.transportError = QStringLiteral("the HTTP library could not start");
        return r;
    }
    curl_easy_reset(curl); // keeps the connection cache, clears the last request's options
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.constData());
    if (method == "GET")
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    else if (method == "HEAD")
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    if (!body.isEmpty() || method == "POST" || method == "PUT" || method == "MERGE") {
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(body.size()));
    }
    curl_slist *list = nullptr;
    for (const QByteArray &h : headers)
        list = curl_slist_append(list, h.constData());
    // No "Expect: 100-continue" round trip for bodies.
    list = curl_slist_append(list, "Expect:");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &r.body);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &r);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, long(m_connectTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, long(m_totalTimeout.count()));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(curl, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);

    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(list);
    long connects = 0;
    curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &connects);
    m_connects += connects;
    if (rc != CURLE_OK) {
        r.transportError = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(rc));
        r.status = 0;
        r.body.clear();
        r.headers.clear();
        return r;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.status);
    return r;
}
