// Writes N scans in one transaction and reads them back with QueryScans, then does the same
// with a bare sqlite3 loop on another encrypted file; prints both rates and their ratios.
#include "dbWriters.h"
#include "qzConfig.h"
#include "qzSQL.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {
std::vector<TScan> makeScans(int n)
{
    std::vector<TScan> scans(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        TScan &s = scans[size_t(i)];
        s.SessionUid = QStringLiteral("session-%1").arg(i / 500);
        s.Uid = QStringLiteral("scan-%1").arg(i);
        s.Date = 45000.0 + i / 1000.0;
        s.Creator = QStringLiteral("farmer@example.com");
        s.Eid = QStringLiteral("9820004201%1").arg(i % 100000, 5, 10, QLatin1Char('0'));
        s.Latitude = -33.8688197 + i * 1e-6;
        s.Longitude = 151.2092955 - i * 1e-6;
        s.PremiseId = QStringLiteral("PIC1234");
        s.Value1 = QStringLiteral("Pen %1").arg(i % 12);
        s.Value2 = QString::number(300 + i % 200);
        s.Value3 = QString();
        s.VisibleID = QString::number(i % 5000);
        s.Sequence = i;
        s.Herdcode = QStringLiteral("H1");
    }
    return scans;
}

// The bare loop: the same rows, the same columns, read back the same way into records.
double bareWrite(sqlite3 *db, const std::vector<TScan> &scans)
{
    QElapsedTimer t;
    t.start();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *st = nullptr;
    const char *sql = "INSERT INTO Scan (Id, SessionUid, Uid, Date, Creator, Eid, Latitude, "
                      "Longitude, PremiseId, Value1, Value2, Value3, VisibleID, Sequence, MStatus, "
                      "DStatus, Herdcode) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)";
    sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    auto text = [&](int i, const QString &s) {
        sqlite3_bind_text16(st, i, s.utf16(), int(s.size() * 2), SQLITE_STATIC);
    };
    for (const TScan &s : scans) {
        sqlite3_bind_int(st, 1, s.Id);
        text(2, s.SessionUid);
        text(3, s.Uid);
        sqlite3_bind_double(st, 4, s.Date);
        text(5, s.Creator);
        text(6, s.Eid);
        sqlite3_bind_double(st, 7, s.Latitude);
        sqlite3_bind_double(st, 8, s.Longitude);
        text(9, s.PremiseId);
        text(10, s.Value1);
        text(11, s.Value2);
        text(12, s.Value3);
        text(13, s.VisibleID);
        sqlite3_bind_int(st, 14, s.Sequence);
        text(15, s.MStatus);
        text(16, s.DStatus);
        text(17, s.Herdcode);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return t.nsecsElapsed() / 1e9;
}

double bareRead(sqlite3 *db, size_t expected)
{
    QElapsedTimer t;
    t.start();
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db,
        "SELECT Id, Sequence, Date, Latitude, Longitude, Eid, VisibleID, SessionUid, "
        "Value1, Value2, Value3, PremiseId, Creator, Herdcode FROM Scan ORDER BY "
        "Date DESC",
        -1, &st, nullptr);
    TScanList list;
    auto text = [&](int i) {
        const void *p = sqlite3_column_text16(st, i);
        return p ? QString(static_cast<const QChar *>(p), sqlite3_column_bytes16(st, i) / 2)
                 : QString();
    };
    while (sqlite3_step(st) == SQLITE_ROW) {
        auto s = std::make_unique<TScan>();
        s->Id = sqlite3_column_int(st, 0);
        s->Sequence = sqlite3_column_int(st, 1);
        s->Date = sqlite3_column_double(st, 2);
        s->Latitude = sqlite3_column_double(st, 3);
        s->Longitude = sqlite3_column_double(st, 4);
        s->Eid = text(5);
        s->VisibleID = text(6);
        s->SessionUid = text(7);
        s->Value1 = text(8);
        s->Value2 = text(9);
        s->Value3 = text(10);
        s->PremiseId = text(11);
        s->Creator = text(12);
        s->Herdcode = text(13);
        list.push_back(std::move(s));
    }
    sqlite3_finalize(st);
    if (list.size() != expected)
        std::fprintf(stderr, "bare read returned %zu rows\n", list.size());
    return t.nsecsElapsed() / 1e9;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int rows = 200000;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--rows") == 0)
            rows = std::atoi(argv[i + 1]);
    QTemporaryDir dir;
    const std::vector<TScan> scans = makeScans(rows);

    // Ours.
    const QString ours = dir.filePath(QStringLiteral("ours.db"));
    if (!dbOpenScans(ours)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(ours));
        return 1;
    }
    QElapsedTimer t;
    t.start();
    {
        DbTransaction tx;
        for (const TScan &s : scans)
            dbInsert(s);
        tx.commit();
    }
    const double oursWrite = t.nsecsElapsed() / 1e9;
    t.restart();
    const TScanList back = QueryScans(QString(), QString());
    const double oursRead = t.nsecsElapsed() / 1e9;
    dbClose();
    if (back.size() != scans.size()) {
        std::fprintf(stderr, "QueryScans returned %zu rows\n", back.size());
        return 1;
    }

    // Bare sqlite3 on a file with the same key, schema and pragmas.
    const QByteArray bare = dir.filePath(QStringLiteral("bare.db")).toLocal8Bit();
    sqlite3 *db = nullptr;
    sqlite3_open(bare.constData(), &db);
    const QByteArray key = QByteArray("PRAGMA key = '") + KESTRUN_DB_PASSWORD + "'";
    sqlite3_exec(db, key.constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(db,
        "PRAGMA encoding = \"UTF-16\"; PRAGMA synchronous = NORMAL; "
        "PRAGMA journal_mode = WAL;",
        nullptr, nullptr, nullptr);
    sqlite3_exec(db, TableCreate<TScan>().toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, "CREATE INDEX a ON Scan(SessionUid); CREATE INDEX b ON Scan(Eid);", nullptr,
        nullptr, nullptr);
    const double bareW = bareWrite(db, scans);
    const double bareR = bareRead(db, scans.size());
    sqlite3_close(db);

    std::printf("rows                 %d\n", rows);
    std::printf("write  ours %9.0f rows/s   bare %9.0f rows/s   ours/bare time %.2f\n",
        rows / oursWrite, rows / bareW, oursWrite / bareW);
    std::printf("read   ours %9.0f rows/s   bare %9.0f rows/s   ours/bare time %.2f\n",
        rows / oursRead, rows / bareR, oursRead / bareR);
    return 0;
}
