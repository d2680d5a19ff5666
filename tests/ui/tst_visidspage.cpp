#include "PagesFixture.h"
#include "RecordEdits.h"
#include "UiTestMain.h"

#include <QLabel>
#include <QProcess>
#include <QTabWidget>

class TstVisIdsPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyStore();
    void countsLineAndColumns();
    void showScansListsTheEidAcrossSessions();
    void editAnswered_data();
    void editAnswered();
    void editCloudFailureKeepsBothStores();
    void cellTypingChangesNothingStored();
    void cliSetVisibleId();
    void cliSetVisibleIdCloudFailure();

private:
    void seed();
    QString cloudVisId(const QString &eid);
    QString storedVisId(const QString &eid);
    int runCli(const QStringList &args, QString *output);

    std::unique_ptr<AzuriteFixture> m_azurite;
    std::unique_ptr<PagesFixture> f;
    const QString m_eidA = QStringLiteral("982000000000111");
    const QString m_eidB = QStringLiteral("982000000000222");
    const QString m_eidC = QStringLiteral("982000000000333");
};

void TstVisIdsPage::initTestCase()
{
    m_azurite = std::make_unique<AzuriteFixture>();
    QVERIFY2(m_azurite->ok(), qPrintable(m_azurite->error()));
    useAzurite(*m_azurite);
    QString error;
    QVERIFY2(AzureCreateTables(&error), qPrintable(error));
}

void TstVisIdsPage::init()
{
    useAzurite(*m_azurite);
    f = std::make_unique<PagesFixture>();
}

void TstVisIdsPage::cleanup()
{
    f.reset();
}

// Three lookups in the store and the cloud; EID B scanned in two sessions.
void TstVisIdsPage::seed()
{
    const QString s1 = uniqueName("s1-"), s2 = uniqueName("s2-");
    QVERIFY(dbOpenScans(f->db()));
    QVERIFY(dbInsert(makeSession(f->email, s1, QStringLiteral("Pen 1"), 2, 45010.5)));
    QVERIFY(dbInsert(makeSession(f->email, s2, QStringLiteral("Pen 2"), 1, 45009.5)));
    QVERIFY(dbInsert(makeScan(s1, m_eidB, 45010.6, 1)));
    QVERIFY(dbInsert(makeScan(s1, m_eidA, 45010.7, 2)));
    QVERIFY(dbInsert(makeScan(s2, m_eidB, 45009.6, 1)));
    QString error;
    for (const TVisIDLookup &l : {makeLookup(f->email, m_eidC, QStringLiteral("Y3")),
             makeLookup(f->email, m_eidA, QStringLiteral("Y1")),
             makeLookup(f->email, m_eidB, QStringLiteral("Y2"))}) {
        QVERIFY(dbInsert(l));
        QVERIFY2(AzureStore(l, &error), qPrintable(error));
    }
    dbClose();
}

QString TstVisIdsPage::cloudVisId(const QString &eid)
{
    QString error;
    for (const auto &l : AzureQueryLookups(f->email, &error))
        if (l->Eid == eid)
            return l->VisibleID;
    return QStringLiteral("<missing: %1>").arg(error);
}

QString TstVisIdsPage::storedVisId(const QString &eid)
{
    if (!dbOpenScans(f->db()))
        return QStringLiteral("<no store>");
    QString out = QStringLiteral("<missing>");
    for (const auto &l : QueryLookups())
        if (l->Eid == eid)
            out = l->VisibleID;
    dbClose();
    return out;
}

void TstVisIdsPage::emptyStore()
{
    f->start();
    QCOMPARE(f->w()->pnVisIDsTop->text(), QStringLiteral("You have no visible IDs. Do a Sync !"));
    QCOMPARE(f->w()->grdLookups->RowCount(), 1);
}

void TstVisIdsPage::countsLineAndColumns()
{
    seed();
    f->start();
    TStringGrid *g = f->w()->grdLookups;
    QCOMPARE(f->w()->pnVisIDsTop->text(), QStringLiteral("You have 3 EIDs on file"));
    QStringList headers;
    for (int c = 0; c < g->ColCount(); ++c)
        headers << g->Cells(c, 0);
    QCOMPARE(headers, QStringList({"Index", "Visible ID", "EID", "Date", QString(), QString()}));
    // Stored order, buttons on every row.
    QCOMPARE(g->Cells(2, 1), m_eidC);
    QCOMPARE(g->Cells(1, 1), QStringLiteral("Y3"));
    QCOMPARE(g->Cells(3, 1), QStringLiteral("03/15 12:00 PM"));
    QCOMPARE(g->Cells(4, 2), QStringLiteral(" Show Scans "));
    QCOMPARE(g->Cells(5, 3), QStringLiteral(" Edit "));
    QVERIFY(g->isColumnHidden(0));
}

void TstVisIdsPage::showScansListsTheEidAcrossSessions()
{
    seed();
    f->start();
    TKestrunF *w = f->w();
    TStringGrid *g = w->grdLookups;
    clickHeader(g, 2); // by "EID": A, B, C
    QCOMPARE(g->Cells(2, 2), m_eidB);
    clickButton(g, 4, 2);
    QCOMPARE(w->PageControl1->currentIndex(), int(TKestrunF::PageScans));
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("2 scans for %1, 0 selected").arg(m_eidB));
    TStringGrid *s = w->grdScans;
    QCOMPARE(s->RowCount(), 3);
    QCOMPARE(s->ColCount(), 9);
    QCOMPARE(s->Cells(8, 1), QStringLiteral("Pen 1"));
    QCOMPARE(s->Cells(8, 2), QStringLiteral("Pen 2"));
    QCOMPARE(s->Cells(4, 0), QStringLiteral("Value 1"));
    clickCell(s, 1, 1);
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("All Scans has 2 scans, 1 selected"));

    // An EID without scans: an empty grid and 0 scans.
    w->GotoMainPage(TKestrunF::PageVisIDs);
    clickButton(g, 4, 3);
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("0 scans for %1, 0 selected").arg(m_eidC));
    QCOMPARE(s->RowCount(), 1);
}

void TstVisIdsPage::editAnswered_data()
{
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Cancel") << false << "ignored"
                            << "Y2";
    QTest::newRow("OK, empty") << true << ""
                               << "";
    QTest::newRow("OK, new value, kept as typed") << true << " Z 9 "
                                                  << " Z 9 ";
}

void TstVisIdsPage::editAnswered()
{
    QFETCH(bool, accepted);
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    seed();
    f->start();
    TStringGrid *g = f->w()->grdLookups;
    clickHeader(g, 1); // by "Visible ID": Y1, Y2, Y3
    clickHeader(g, 1); // descending: Y3, Y2, Y1
    QCOMPARE(g->Cells(2, 2), m_eidB);
    f->dialogs.push({accepted, typed});
    clickButton(g, 5, 2);
    QCOMPARE(f->dialogs.requests().size(), size_t(1));
    const DialogRequest &r = f->dialogs.requests()[0];
    QCOMPARE(r.kind, DialogKind::Input);
    QCOMPARE(r.caption, QStringLiteral("Enter Visible ID for ") + m_eidB);
    QCOMPARE(r.text, QStringLiteral("Visible ID"));
    QCOMPARE(r.value, QStringLiteral("Y2"));
    QCOMPARE(storedVisId(m_eidB), expected);
    QCOMPARE(cloudVisId(m_eidB), expected);
    QCOMPARE(storedVisId(m_eidA), QStringLiteral("Y1"));
    QCOMPARE(cloudVisId(m_eidA), QStringLiteral("Y1"));
    // The rebuilt grid shows the stored value in the stored order.
    const int row = rowWithText(g, 2, m_eidB);
    QCOMPARE(g->Cells(1, row), expected);
}

void TstVisIdsPage::editCloudFailureKeepsBothStores()
{
    seed();
    FaultServer server;
    server.setHandler(FaultServer::status(503, kServiceError));
    useEndpoint(QString::fromLatin1(server.url()) + QStringLiteral("/devstoreaccount1"));
    f->start();
    TStringGrid *g = f->w()->grdLookups;
    const int row = rowWithText(g, 2, m_eidA);
    f->dialogs.push({true, QStringLiteral("NEW")});
    clickButton(g, 5, row);
    const QStringList msgs = f->dialogs.messages();
    QCOMPARE(msgs.size(), 1);
    QVERIFY2(msgs[0].startsWith(QStringLiteral("The visible ID of %1 was not changed").arg(m_eidA)),
        qPrintable(msgs[0]));
    QVERIFY2(msgs[0].contains(QStringLiteral("The server is busy.")), qPrintable(msgs[0]));
    QCOMPARE(storedVisId(m_eidA), QStringLiteral("Y1"));
    for (const auto &l : VisIdLookupList)
        if (l->Eid == m_eidA)
            QCOMPARE(l->VisibleID, QStringLiteral("Y1"));
    QCOMPARE(g->Cells(1, row), QStringLiteral("Y1"));
    useAzurite(*m_azurite);
    QCOMPARE(cloudVisId(m_eidA), QStringLiteral("Y1"));
}

void TstVisIdsPage::cellTypingChangesNothingStored()
{
    seed();
    f->start();
    TStringGrid *g = f->w()->grdLookups;
    QVERIFY(g->model()->setData(g->model()->index(0, 1), QStringLiteral("typed"), Qt::EditRole));
    QCOMPARE(g->Cells(1, 1), QStringLiteral("typed"));
    QCOMPARE(storedVisId(m_eidC), QStringLiteral("Y3"));
    f->w()->LookupsToGrid();
    QCOMPARE(g->Cells(1, 1), QStringLiteral("Y3"));
}

int TstVisIdsPage::runCli(const QStringList &args, QString *output)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(KESTRUN_CLI), args);
    p.waitForFinished(60000);
    *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TstVisIdsPage::cliSetVisibleId()
{
    seed();
    QString output;
    QCOMPARE(runCli({QStringLiteral("set-visible-id"), m_eidB, QStringLiteral("T 7")}, &output), 0);
    QCOMPARE(output, QStringLiteral("Visible ID of %1 set to \"T 7\".\n").arg(m_eidB));
    QCOMPARE(storedVisId(m_eidB), QStringLiteral("T 7"));
    QCOMPARE(cloudVisId(m_eidB), QStringLiteral("T 7"));
    QCOMPARE(runCli({QStringLiteral("set-visible-id"), m_eidB, QString()}, &output), 0);
    QCOMPARE(storedVisId(m_eidB), QString());
    QCOMPARE(cloudVisId(m_eidB), QString());
    QCOMPARE(runCli({QStringLiteral("set-visible-id"), QStringLiteral("1"), QStringLiteral("x")},
                 &output),
        1);
    QCOMPARE(output, QStringLiteral("No stored visible-ID lookup has the EID 1.\n"));
}

void TstVisIdsPage::cliSetVisibleIdCloudFailure()
{
    seed();
    FaultServer server;
    server.setHandler(FaultServer::status(503, kServiceError));
    useEndpoint(QString::fromLatin1(server.url()) + QStringLiteral("/devstoreaccount1"));
    QString output;
    const int rc
        = runCli({QStringLiteral("set-visible-id"), m_eidA, QStringLiteral("NEW")}, &output);
    useAzurite(*m_azurite);
    QCOMPARE(rc, 1);
    QVERIFY2(output.contains(QStringLiteral("The server is busy.")), qPrintable(output));
    QCOMPARE(storedVisId(m_eidA), QStringLiteral("Y1"));
    QCOMPARE(cloudVisId(m_eidA), QStringLiteral("Y1"));
}

KESTRUN_UI_TEST_MAIN(TstVisIdsPage)
#include "tst_visidspage.moc"
