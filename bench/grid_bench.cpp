// Fills the Scans page's All Scans view with N stored scans, offscreen, and in the same run
// times a bare QueryScans of the same rows; then times header-click sorts of the view.
// Prints the best of each over the rounds, their ratios and the process's peak memory.
//   grid_bench [--rows N] [--rounds R]
#include "Controls.h"
#include "Dialogs.h"
#include "KestrunU.h"
#include "StringGrid.h"
#include "TApplication.h"
#include "dbWriters.h"
#include "qzSQL.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <limits>

namespace {
bool seed(const QString &db, int rows)
{
    if (!dbOpenScans(db))
        return false;
    DbTransaction tx;
    const int perSession = 500;
    for (int s = 0; s * perSession < rows; ++s) {
        TScanSession ses;
        ses.Uid = QStringLiteral("session-%1").arg(s);
        ses.Name = QStringLiteral("Pen %1 draft").arg(s);
        ses.Creator = QStringLiteral("farmer@example.com");
        ses.Count = perSession;
        ses.TimeStamp = ses.Date = 45000.0 + s;
        ses.Value1Name = QStringLiteral("Weight");
        if (!dbInsert(ses))
            return false;
    }
    for (int i = 0; i < rows; ++i) {
        TScan c;
        c.SessionUid = QStringLiteral("session-%1").arg(i / perSession);
        c.Uid = QStringLiteral("scan-%1").arg(i);
        // Dates interleave across sessions, so no column is already in order.
        c.Date = 45000.0 + double((i * 7919) % rows) / 1000.0;
        c.TimeStamp = c.Date;
        c.Creator = QStringLiteral("farmer@example.com");
        c.Eid = QStringLiteral("9820004201%1").arg((i * 104729) % 100000, 5, 10, QLatin1Char('0'));
        c.Latitude = -33.8688197 + i * 1e-6;
        c.Longitude = 151.2092955 - i * 1e-6;
        c.PremiseId = QStringLiteral("PIC1234");
        c.Value1 = QString::number(300 + i % 200);
        c.Value2 = QStringLiteral("Pen %1").arg(i % 12);
        c.VisibleID = QString::number(i % 5000);
        c.Sequence = i;
        c.Herdcode = QStringLiteral("H1");
        if (!dbInsert(c))
            return false;
    }
    const bool ok = tx.commit();
    dbClose();
    return ok;
}

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

long peakKiB()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}
} // namespace

int main(int argc, char **argv)
{
    int rows = 200000, rounds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rows"))
            rows = std::atoi(argv[i + 1]);
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::atoi(argv[i + 1]);
    }
    if (rows <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: grid_bench [--rows N] [--rounds R]\n");
        return 2;
    }
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + QStringLiteral("/data")).toLocal8Bit());
    qputenv("XDG_DOCUMENTS_DIR", (home.path() + QStringLiteral("/docs")).toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");

    TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kestrun"));
    DialogScript dialogs;
    const QString db = scansDbFileName();
    QElapsedTimer t;
    t.start();
    if (!seed(db, rows)) {
        std::fprintf(stderr, "cannot fill %s\n", qPrintable(db));
        return 1;
    }
    std::printf("stored %d scans in %.0f ms\n", rows, ms(t));
    const long baseKiB = peakKiB();

    TKestrunF w;
    KestrunF = &w;
    w.resize(914, 458);
    w.show();
    QApplication::processEvents();

    const double inf = std::numeric_limits<double>::infinity();
    double bare = inf, view = inf, sortEid = inf, sortDate = inf, sortSession = inf;
    for (int r = 0; r < rounds; ++r) {
        t.restart();
        if (!dbOpenScans(db))
            return 1;
        TScanList list = QueryScans(QString(), QString());
        dbClose();
        bare = qMin(bare, ms(t));
        if (int(list.size()) != rows)
            return 1;
        FreeScanList(list);

        // The navigation entry's click, painted.
        t.restart();
        w.Panel7Click(w.pnScans);
        w.repaint();
        view = qMin(view, ms(t));
        if (w.grdScans->RowCount() != rows + 1)
            return 1;

        const auto timeSort = [&](int col, double &best) {
            t.restart();
            w.grdScans->SortByColumn(col, Qt::AscendingOrder);
            w.repaint();
            best = qMin(best, ms(t));
        };
        timeSort(1, sortEid); // EID: recognised as numbers from the texts
        timeSort(3, sortDate); // Date: by the stored value
        timeSort(8, sortSession); // Session: text
    }
    std::printf("bare QueryScans          %8.1f ms\n", bare);
    std::printf(
        "All Scans view           %8.1f ms  (%.2fx the query; goal 1.5x)\n", view, view / bare);
    std::printf(
        "sort by EID (numbers)    %8.1f ms  (%.2fx the query; goal 1x)\n", sortEid, sortEid / bare);
    std::printf("sort by Date (values)    %8.1f ms  (%.2fx)\n", sortDate, sortDate / bare);
    std::printf("sort by Session (text)   %8.1f ms  (%.2fx)\n", sortSession, sortSession / bare);
    std::printf("peak memory              %8.1f MiB (%.1f MiB after filling the store)\n",
        double(peakKiB()) / 1024.0, double(baseKiB) / 1024.0);
    KestrunF = nullptr;
    return 0;
}
