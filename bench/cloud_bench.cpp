// Pages through one partition of the "scans" table twice: with AzureQueryScans (requests,
// JSON, records) and with a bare libcurl loop sending the same signed requests and only
// collecting the bytes. Prints both times and their ratio.
//   cloud_bench [--entities N] [--rounds R]
// Uses the table service of KESTRUN_TABLE_ENDPOINT / _ACCOUNT / _KEY when set, otherwise a
// local one (the test run's, or one started for the bench).
#include "AzuriteFixture.h"
#include "BenchTables.h"
#include "qzCloud.h"
#include "qzUtils.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUrl>
#include <QUuid>

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

namespace {
void seed(const TAzureConnectionInfo &conn, const QString &session, int n, int threads)
{
    const bool ok = BenchTables::seed(
        conn, CloudTables::Scans,
        [&](int i) {
            TScan s;
            s.SessionUid = session;
            s.Uid = QString::asprintf("scan-%06d", i);
            s.Eid = QString::number(982000411000000LL + i);
            s.VisibleID = QString::number(i + 1);
            s.Date = encodeDate(2025, 6, 17) + 0.3 + i / 86400.0;
            s.Latitude = -30.51246 + i * 1e-7;
            s.Longitude = 151.66532 - i * 1e-7;
            s.Value1 = QString::number(180 + i % 400);
            s.Value2 = QStringLiteral("Pen %1").arg(i % 12);
            s.PremiseId = QStringLiteral("NE307221");
            s.Creator = QStringLiteral("bench@example.com");
            s.Sequence = i + 1;
            s.Herdcode = QStringLiteral("KSTR");
            return ToTableRow(s);
        },
        n, threads);
    if (!ok)
        std::exit(1);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int entities = 20000;
    int rounds = 3;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--entities") && i + 1 < args.size())
            entities = args[++i].toInt();
        else if (args[i] == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = std::max(1, args[++i].toInt());
        else {
            std::fprintf(stderr, "usage: cloud_bench [--entities N] [--rounds R]\n");
            return 2;
        }
    }
    qputenv("TZ", "UTC");

    std::unique_ptr<AzuriteFixture> local;
    if (qEnvironmentVariableIsEmpty("KESTRUN_TABLE_ENDPOINT")) {
        local = std::make_unique<AzuriteFixture>();
        if (!local->ok()) {
            std::fprintf(stderr, "cloud_bench: no table service: %s\n", qPrintable(local->error()));
            return 1;
        }
        local->exportEnv();
    }
    AzureStart('S');
    QString error;
    if (!AzureCreateTables(&error)) {
        std::fprintf(stderr, "cloud_bench: %s\n", qPrintable(error));
        return 1;
    }
    const TAzureConnectionInfo conn = *azConn;
    const QString session = QStringLiteral("bench-") + QUuid::createUuid().toString(QUuid::Id128);

    QElapsedTimer timer;
    timer.start();
    seed(conn, session, entities, 4);
    std::printf("seeded %d entities in %.1f s\n", entities, timer.elapsed() / 1000.0);

    CURL *curl = curl_easy_init();
    const QString filter = PartitionFilter(session);
    qint64 oursBest = -1, bareBest = -1, bytes = 0;
    int pages = 0;
    for (int r = 0; r < rounds; ++r) {
        // Alternate the two so that neither always runs on a warmer service.
        timer.restart();
        const TScanList scans = AzureQueryScans(session, &error);
        const qint64 ours = timer.nsecsElapsed();
        if (!error.isEmpty() || int(scans.size()) != entities) {
            std::fprintf(stderr, "cloud_bench: our query gave %d of %d entities: %s\n",
                int(scans.size()), entities, qPrintable(error));
            return 1;
        }
        timer.restart();
        pages = BenchTables::bareLoop(curl, conn, CloudTables::Scans, filter, &bytes);
        const qint64 bare = timer.nsecsElapsed();
        if (pages < 0) {
            std::fprintf(stderr, "cloud_bench: the bare loop failed\n");
            return 1;
        }
        oursBest = oursBest < 0 ? ours : std::min(oursBest, ours);
        bareBest = bareBest < 0 ? bare : std::min(bareBest, bare);
    }
    curl_easy_cleanup(curl);
    AzureStop();

    std::printf("pages: %d, %.1f MB per pass; best of %d rounds\n", pages, bytes / 1e6, rounds);
    std::printf("AzureQueryScans:  %8.1f ms (%d records)\n", oursBest / 1e6, entities);
    std::printf("bare libcurl loop: %7.1f ms\n", bareBest / 1e6);
    std::printf("ratio: %.2fx\n", double(oursBest) / double(bareBest));
    return 0;
}
