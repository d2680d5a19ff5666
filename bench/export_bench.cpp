// Opens the export dialog for N scans and saves them (the scripted save dialog answers), then
// formats the same lines with a bare loop in the same run; prints both times and their ratio.
//   export_bench [--scans N] [--rounds R]
#include "Dialogs.h"
#include "ScanExport.h"
#include "TApplication.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
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
        s.Date = 45000.0 + i / 1000.0;
        s.Eid = QStringLiteral("9820004201%1").arg(i % 100000, 5, 10, QLatin1Char('0'));
        s.PremiseId = QStringLiteral("PIC1234");
        s.Value1 = QStringLiteral("Pen %1").arg(i % 12);
        s.Value2 = QString::number(300 + i % 200);
        s.Value3 = i % 7 ? QString() : QStringLiteral("lame \"left\"");
        s.VisibleID = QString::number(i % 5000);
        s.Sequence = i;
    }
    return scans;
}

double msSince(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}
} // namespace

int main(int argc, char **argv)
{
    int n = 200000;
    int rounds = 3;
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--scans"))
            n = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--rounds"))
            rounds = std::atoi(argv[++i]);
    }
    qputenv("QT_QPA_PLATFORM",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    TApplication app(argc, argv);
    QTemporaryDir dir;

    std::vector<TScan> scans = makeScans(n);
    TScanRefs refs;
    for (TScan &s : scans)
        refs.push_back(&s);
    TScanSession session;
    session.Value1Name = QStringLiteral("Pen");
    session.Value2Name = QStringLiteral("Weight");

    double bestDialog = 1e300, bestBare = 1e300, bestOpen = 1e300;
    QByteArray dialogBytes, bareBytes;
    for (int r = 0; r < rounds; ++r) {
        const QString path = dir.filePath(QStringLiteral("dialog.csv"));
        QElapsedTimer t;
        t.start();
        {
            TExportF f(refs, session);
            f.show();
            QApplication::processEvents();
            bestOpen = std::min(bestOpen, msSince(t));
            DialogScript script;
            script.push({true, path});
            f.btExport->click();
            f.close();
        }
        bestDialog = std::min(bestDialog, msSince(t));
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly))
            return 1;
        dialogBytes = in.readAll();

        // The bare loop: the same lines, CR LF, code page 1252, written.
        t.restart();
        {
            const TScanDatePattern pattern(ScanDateFormats()[0], regionalSeparators());
            const TExportColumns columns = defaultExportColumns();
            QString text;
            for (const TScan *s : refs) {
                appendScanLine(text, *s, columns, pattern);
                text += QLatin1String("\r\n");
            }
            bareBytes = toCodePage1252(text);
            QFile out(dir.filePath(QStringLiteral("bare.csv")));
            if (!out.open(QIODevice::WriteOnly) || out.write(bareBytes) != bareBytes.size())
                return 1;
        }
        bestBare = std::min(bestBare, msSince(t));
    }
    if (dialogBytes != bareBytes) {
        std::fprintf(stderr, "the dialog's file differs from the bare loop's\n");
        return 1;
    }
    std::printf("scans %d, file %.1f MB, best of %d\n", n, dialogBytes.size() / 1e6, rounds);
    std::printf("dialog open (grid + preview, shown): %8.1f ms\n", bestOpen);
    std::printf("dialog open + save:                  %8.1f ms\n", bestDialog);
    std::printf("bare loop format + encode + write:   %8.1f ms\n", bestBare);
    std::printf("ratio dialog / bare:                 %8.2f\n", bestDialog / bestBare);
    return 0;
}
