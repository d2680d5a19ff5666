#include "Controls.h"
#include "PagesFixture.h"
#include "UiTestMain.h"

#include <QLabel>
#include <QTabWidget>

class TstScansPage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void allScansViewHasTheSessionColumn();
    void selectionLineAfterAChange();
    void exportAndMapTakeRowsAsDisplayed_data();
    void exportAndMapTakeRowsAsDisplayed();
    void emptyGridHasNothingToExportOrMap_data();
    void emptyGridHasNothingToExportOrMap();
    void backToSessions();

private:
    void seed();

    std::unique_ptr<PagesFixture> f;
    QString m_pen1, m_pen2;
    std::vector<const TScan *> m_handedOver;
    const TScanSession *m_exportSession = nullptr;
    int m_calls = 0;
};

void TstScansPage::init()
{
    f = std::make_unique<PagesFixture>();
    m_handedOver.clear();
    m_exportSession = nullptr;
    m_calls = 0;
}

void TstScansPage::cleanup()
{
    f.reset();
}

// Two sessions and a scan of a session that is not stored; EIDs out of date order.
void TstScansPage::seed()
{
    m_pen1 = uniqueName("p1-");
    m_pen2 = uniqueName("p2-");
    QVERIFY(dbOpenScans(f->db()));
    QVERIFY(dbInsert(makeSession(f->email, m_pen1, QStringLiteral("Pen 1"), 7, 45010.5)));
    QVERIFY(dbInsert(makeSession(f->email, m_pen2, QStringLiteral("Pen 2"), 2, 45009.5)));
    QVERIFY(dbInsert(makeScan(m_pen1, QStringLiteral("982000000000030"), 45010.9, 3)));
    QVERIFY(dbInsert(makeScan(m_pen1, QStringLiteral("982000000000010"), 45010.8, 2)));
    QVERIFY(dbInsert(makeScan(m_pen2, QStringLiteral("982000000000040"), 45009.7, 1)));
    QVERIFY(
        dbInsert(makeScan(QStringLiteral("gone"), QStringLiteral("982000000000020"), 45000.5, 9)));
    dbClose();
}

void TstScansPage::allScansViewHasTheSessionColumn()
{
    seed();
    f->start();
    TKestrunF *w = f->w();
    QTest::mouseClick(w->pnScans, Qt::LeftButton);
    QCOMPARE(w->PageControl1->currentIndex(), int(TKestrunF::PageScans));
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("4 scans in All Scans, 0 selected"));
    QCOMPARE(w->CurrentSession, AllScansSession.get());
    QCOMPARE(AllScansSession->Count, 4);
    TStringGrid *g = w->grdScans;
    QStringList headers;
    for (int c = 0; c < g->ColCount(); ++c)
        headers << g->Cells(c, 0);
    QCOMPARE(headers,
        QStringList({"Index", "EID", "VisID", "Date", "Value 1", "Value 2", "Value 3", "Sequence",
            "Session"}));
    QVERIFY(g->isColumnHidden(0));
    // Newest first; each scan names its session, the one of a missing session nothing.
    QCOMPARE(g->Cells(1, 1), QStringLiteral("982000000000030"));
    QCOMPARE(g->Cells(8, 1), QStringLiteral("Pen 1"));
    QCOMPARE(g->Cells(8, 3), QStringLiteral("Pen 2"));
    QCOMPARE(g->Cells(8, 4), QString());
    QCOMPARE(g->Cells(3, 1), gridDateText(45010.9, true));
    QCOMPARE(g->Cells(3, 1), QStringLiteral("03/25 09:36:00 PM"));
    QCOMPARE(w->GetSessionName(m_pen2), QStringLiteral("Pen 2"));
    QCOMPARE(w->SelectedCount(), 0);
}

void TstScansPage::selectionLineAfterAChange()
{
    seed();
    f->start();
    TKestrunF *w = f->w();
    w->ShowAllScans();
    TStringGrid *g = w->grdScans;
    clickCell(g, 1, 1);
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("All Scans has 4 scans, 1 selected"));
    clickCell(g, 2, 3, Qt::ControlModifier);
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("All Scans has 4 scans, 2 selected"));
    // Shift+click extends from the last clicked row, keeping the rows picked before.
    clickCell(g, 1, 4, Qt::ShiftModifier);
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("All Scans has 4 scans, 3 selected"));
    QTest::mouseClick(w->pnClearSelections, Qt::LeftButton);
    QCOMPARE(g->SelectedRowCount(), 0);
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("All Scans has 4 scans"));

    // A session's view: its recorded count, then the first change.
    w->ShowSessionScans(ScanSessionList[0].get());
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("7 scans in Pen 1, 0 selected"));
    QCOMPARE(g->ColCount(), 8);
    clickCell(g, 1, 2);
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("Pen 1 has 7 scans, 1 selected"));
    QTest::mouseClick(w->pnClearSelections, Qt::LeftButton);
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("Pen 1 has 7 scans"));
}

void TstScansPage::exportAndMapTakeRowsAsDisplayed_data()
{
    QTest::addColumn<bool>("map");
    QTest::addColumn<bool>("selectSome");
    QTest::newRow("export, all rows") << false << false;
    QTest::newRow("export, selected rows") << false << true;
    QTest::newRow("map, all rows") << true << false;
    QTest::newRow("map, selected rows") << true << true;
}

void TstScansPage::exportAndMapTakeRowsAsDisplayed()
{
    QFETCH(bool, map);
    QFETCH(bool, selectSome);
    seed();
    f->start();
    TKestrunF *w = f->w();
    w->OnExportScans = [this](const TScanRefs &scans, TScanSession &session) {
        ++m_calls;
        m_handedOver.assign(scans.begin(), scans.end());
        m_exportSession = &session;
    };
    w->OnShowScansOnMap = [this](const TScanRefs &scans) {
        ++m_calls;
        m_handedOver.assign(scans.begin(), scans.end());
    };
    w->ShowAllScans();
    TStringGrid *g = w->grdScans;
    clickHeader(g, 1); // by "EID"
    QStringList shown;
    for (int r = 1; r < g->RowCount(); ++r)
        shown << g->Cells(1, r);
    QCOMPARE(shown,
        QStringList({"982000000000010", "982000000000020", "982000000000030", "982000000000040"}));
    QStringList expected = shown;
    if (selectSome) {
        clickCell(g, 2, 4);
        clickCell(g, 2, 2, Qt::ControlModifier);
        expected = QStringList({"982000000000020", "982000000000040"});
    }
    QTest::mouseClick(map ? static_cast<QWidget *>(w->pnShowMap) : w->pnExport, Qt::LeftButton);
    QCOMPARE(m_calls, 1);
    QStringList handed;
    for (const TScan *s : m_handedOver)
        handed << s->Eid;
    QCOMPARE(handed, expected);
    if (!map)
        QCOMPARE(m_exportSession, AllScansSession.get());
    QVERIFY(f->dialogs.requests().empty());
    // The export picture does what the panel does.
    if (!map) {
        QTest::mouseClick(w->Image11, Qt::LeftButton);
        QCOMPARE(m_calls, 2);
    }
}

void TstScansPage::emptyGridHasNothingToExportOrMap_data()
{
    QTest::addColumn<bool>("map");
    QTest::newRow("export") << false;
    QTest::newRow("map") << true;
}

void TstScansPage::emptyGridHasNothingToExportOrMap()
{
    QFETCH(bool, map);
    f->start();
    TKestrunF *w = f->w();
    w->OnExportScans = [this](const TScanRefs &, TScanSession &) { ++m_calls; };
    w->OnShowScansOnMap = [this](const TScanRefs &) { ++m_calls; };
    w->ShowAllScans();
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("0 scans in All Scans, 0 selected"));
    QCOMPARE(w->grdScans->RowCount(), 1);
    QTest::mouseClick(map ? static_cast<QWidget *>(w->pnShowMap) : w->pnExport, Qt::LeftButton);
    QCOMPARE(m_calls, 0);
    QCOMPARE(f->dialogs.messages(),
        QStringList(
            {map ? QStringLiteral("No scans to map") : QStringLiteral("No scans to export")}));
}

void TstScansPage::backToSessions()
{
    f->start();
    f->w()->ShowAllScans();
    QTest::mouseClick(f->w()->Image8, Qt::LeftButton);
    QCOMPARE(f->w()->PageControl1->currentIndex(), int(TKestrunF::PageSessions));
}

KESTRUN_UI_TEST_MAIN(TstScansPage)
#include "tst_scanspage.moc"
