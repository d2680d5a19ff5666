#pragma once

// Shared by the offscreen suites of the Sessions, Scans and Visible IDs pages: a temp home
// with a real encrypted store, the main window shown offscreen, scripted dialogs, and the
// shared local table service for the cloud writes.
#include "AzuriteFixture.h"
#include "Dialogs.h"
#include "FaultServer.h"
#include "KestrunU.h"
#include "StringGrid.h"
#include "TApplication.h"
#include "TestHome.h"
#include "dbWriters.h"
#include "qzCloud.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QHeaderView>
#include <QTest>
#include <QUuid>

inline QString uniqueName(const char *prefix)
{
    return QLatin1String(prefix) + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

inline TScanSession makeSession(const QString &creator, const QString &uid, const QString &name,
    int count, double timeStamp, const QString &dstatus = {})
{
    TScanSession s;
    s.Creator = creator;
    s.Uid = uid;
    s.Name = name;
    s.Count = count;
    s.TimeStamp = timeStamp;
    s.Date = timeStamp;
    s.DStatus = dstatus;
    s.Value1Name = name + QStringLiteral(" weight");
    s.Value2Name = name + QStringLiteral(" pen");
    s.Value3Name = name + QStringLiteral(" note");
    return s;
}

inline TScan makeScan(const QString &sessionUid, const QString &eid, double date, int sequence)
{
    TScan c;
    c.SessionUid = sessionUid;
    c.Uid = uniqueName("scan-");
    c.Eid = eid;
    c.VisibleID = QStringLiteral("V") + QString::number(sequence);
    c.Date = date;
    c.TimeStamp = date;
    c.Sequence = sequence;
    c.Value1 = QString::number(300 + sequence);
    return c;
}

inline TVisIDLookup makeLookup(const QString &creator, const QString &eid, const QString &visId)
{
    TVisIDLookup l;
    l.Creator = creator;
    l.Eid = eid;
    l.VisibleID = visId;
    l.Date = 45000.5;
    l.TimeStamp = 45000.5;
    return l;
}

// Grid rows whose cell in the real column holds the text.
inline int rowWithText(const TStringGrid *g, int col, const QString &text)
{
    for (int r = 1; r < g->RowCount(); ++r)
        if (g->Cells(col, r) == text)
            return r;
    return -1;
}

inline QPoint cellCentre(const TStringGrid *g, int realCol, int ARow)
{
    return g->visualRect(g->model()->index(ARow - 1, realCol)).center();
}

// The header section of a real column, clicked as the user would.
inline void clickHeader(TStringGrid *g, int realCol)
{
    QHeaderView *h = g->horizontalHeader();
    const int x = h->sectionViewportPosition(realCol) + h->sectionSize(realCol) / 2;
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, QPoint(x, h->height() / 2));
}

inline void clickButton(TStringGrid *g, int realCol, int ARow)
{
    const QRect r = g->buttonRect(realCol, ARow);
    QVERIFY2(r.isValid(), "no button in that cell");
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, r.center());
}

inline void clickCell(TStringGrid *g, int realCol, int ARow, Qt::KeyboardModifiers mods = {})
{
    QTest::mouseClick(g->viewport(), Qt::LeftButton, mods, cellCentre(g, realCol, ARow));
}

class PagesFixture
{
public:
    PagesFixture()
    {
        OrvaloPath.clear();
        resetTagSettings();
        resetKestrunState();
        setHaltHandler([this](int code) { halts << code; });
        email = uniqueName("farmer-") + QStringLiteral("@example.com");
    }
    ~PagesFixture()
    {
        window.reset();
        KestrunF = nullptr;
        setHaltHandler({});
        resetKestrunState();
        dbClose();
    }

    QString db() const { return scansDbFileName(); }

    void start()
    {
        window = std::make_unique<TKestrunF>();
        KestrunF = window.get();
        window->resize(1100, 600);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    TKestrunF *w() const { return window.get(); }

    TestHome home;
    DialogScript dialogs;
    QString email;
    QList<int> halts;
    std::unique_ptr<TKestrunF> window;
};

// The table service of a test run (or a private one); the window's AzureStart('S') reads
// the environment that this exports.
inline void useAzurite(AzuriteFixture &azurite)
{
    azurite.exportEnv();
    AzureStart('S');
}

inline void useEndpoint(const QString &endpoint)
{
    qputenv("KESTRUN_TABLE_ENDPOINT", endpoint.toUtf8());
    qputenv("KESTRUN_TABLE_ACCOUNT", AzuriteFixture::Account);
    qputenv("KESTRUN_TABLE_KEY", AzuriteFixture::Key);
    AzureStart('S');
}

inline const char *kServiceError
    = R"({"odata.error":{"code":"ServerBusy","message":{"value":"The server is busy."}}})";
