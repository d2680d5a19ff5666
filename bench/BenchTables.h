#pragma once
// Shared by the benches: the bare libcurl paging loop that is their floor, and parallel
// seeding of a table service.
#include "qzCloud.h"

#include <QDateTime>
#include <QUrl>

#include <curl/curl.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace BenchTables {
inline size_t collect(char *data, size_t size, size_t n, void *user)
{
    static_cast<QByteArray *>(user)->append(data, qsizetype(size * n));
    return size * n;
}

struct Continuation
{
    QByteArray pk, rk;
};

inline size_t onHeader(char *data, size_t size, size_t n, void *user)
{
    auto *c = static_cast<Continuation *>(user);
    const QByteArray line = QByteArray(data, qsizetype(size * n)).trimmed();
    const qsizetype colon = line.indexOf(':');
    if (colon > 0) {
        const QByteArray name = line.left(colon).trimmed().toLower();
        if (name == "x-ms-continuation-nextpartitionkey")
            c->pk = line.mid(colon + 1).trimmed();
        else if (name == "x-ms-continuation-nextrowkey")
            c->rk = line.mid(colon + 1).trimmed();
    }
    return size * n;
}

// The same requests as TAzureTableService::queryPage, by hand; returns pages, -1 on error.
inline int bareLoop(CURL *curl, const TAzureConnectionInfo &conn, const QString &table,
    const QString &filter, qint64 *bytes)
{
    using namespace TableProtocol;
    const QByteArray base = conn.baseUrl().toUtf8();
    QByteArray basePath = QUrl(conn.baseUrl()).path(QUrl::FullyEncoded).toUtf8();
    const QByteArray key = QByteArray::fromBase64(conn.AccountKey.toLatin1());
    const QByteArray resource = table.toUtf8() + "()";
    Continuation from;
    int pages = 0;
    *bytes = 0;
    for (;;) {
        QByteArray query = "$filter=" + encode(filter);
        if (!from.pk.isEmpty())
            query += "&NextPartitionKey=" + QUrl::toPercentEncoding(QString::fromUtf8(from.pk));
        if (!from.rk.isEmpty())
            query += "&NextRowKey=" + QUrl::toPercentEncoding(QString::fromUtf8(from.rk));
        const QByteArray url = base + '/' + resource + '?' + query;
        const QByteArray date = httpDate(QDateTime::currentDateTimeUtc());
        const QByteArray sig = signature(key,
            stringToSign("GET", {}, {}, date,
                canonicalizedResource(conn.AccountName, basePath + '/' + resource, query)));
        curl_slist *headers = nullptr;
        for (const QByteArray &h : {"x-ms-date: " + date, QByteArray("x-ms-version: ") + Version,
                 QByteArray("DataServiceVersion: 3.0"),
                 QByteArray("MaxDataServiceVersion: 3.0;NetFx"),
                 QByteArray("Accept: application/json;odata=minimalmetadata"),
                 "Authorization: SharedKey " + conn.AccountName.toUtf8() + ':' + sig})
            headers = curl_slist_append(headers, h.constData());
        QByteArray body;
        Continuation next;
        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, onHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &next);
        const CURLcode rc = curl_easy_perform(curl);
        curl_slist_free_all(headers);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (rc != CURLE_OK || status != 200)
            return -1;
        *bytes += body.size();
        ++pages;
        if (next.pk.isEmpty() && next.rk.isEmpty())
            return pages;
        from = next;
    }
}

// Writes rows 0..n-1 made by make(i) into table with several connections at once.
inline bool seed(const TAzureConnectionInfo &conn, const QString &table,
    const std::function<TCloudTableRow(int)> &make, int n, int threads = 4)
{
    std::atomic<int> nextIndex = 0;
    std::atomic<bool> failed = false;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            TAzureTableService svc(conn);
            QString error;
            for (int i = nextIndex++; i < n && !failed; i = nextIndex++) {
                if (!svc.InsertOrReplaceEntity(table, make(i), &error)) {
                    std::fprintf(stderr, "seeding failed: %s\n", qPrintable(error));
                    failed = true;
                }
            }
        });
    }
    for (auto &t : pool)
        t.join();
    return !failed;
}
} // namespace BenchTables
