#include "PagesFixture.h"
#include "RecordEdits.h"
#include "UiTestMain.h"

#include <QCheckBox>
#include <QLabel>
#include <QProcess>
#include <QTabWidget>

class TstSessionsPage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void emptyStore();
    void countsLineAndActiveFilter();
    void archiveAnswered_data();
    void archiveAnswered();
    void archiveCloudFailureKeepsTheSessionActive();
    void nameCellOpensTheSessionOfItsRow_data();
    void nameCellOpensTheSessionOfItsRow();
    void cliArchive_data();
    void cliArchive();
    void cliArchiveCloudFailure();

private:
    // Four sessions in the store and in the cloud: active, archived, without Uid, active.
    void seed();
    QString cloudDStatus(const QString &uid);
    QString storedDStatus(const QString &uid);
    int runCli(const QStringList &args, QString *output = nullptr);

    std::unique_ptr<AzuriteFixture> m_azurite;
    std::unique_ptr<PagesFixture> f;
    QString m_active, m_archived, m_second;
};

void TstSessionsPage::initTestCase()
{
    m_azurite = std::make_unique<AzuriteFixture>();
    QVERIFY2(m_azurite->ok(), qPrintable(m_azurite->error()));
    useAzurite(*m_azurite);
    QString error;
    QVERIFY2(AzureCreateTables(&error), qPrintable(error));
}

void TstSessionsPage::init()
{
    useAzurite(*m_azurite);
    f = std::make_unique<PagesFixture>();
}

void TstSessionsPage::cleanup()
{
    f.reset();
}

void TstSessionsPage::seed()
{
    m_active = uniqueName("a-");
    m_archived = uniqueName("b-");
    m_second = uniqueName("d-");
    const TScanSession sessions[] = {
        makeSession(f->email, m_active, QStringLiteral("Heifers"), 9, 45010.5),
        makeSession(
            f->email, m_archived, QStringLiteral("Old pen"), 40, 45009.5, QStringLiteral("D")),
        makeSession(f->email, QString(), QStringLiteral("No identity"), 100, 45008.5),
        makeSession(f->email, m_second, QStringLiteral("Bulls"), 120, 45007.5),
    };
    QVERIFY(dbOpenScans(f->db()));
    QString error;
    for (const TScanSession &s : sessions) {
        QVERIFY(dbInsert(s));
        if (!s.Uid.isEmpty())
            QVERIFY2(AzureStore(s, &error), qPrintable(error));
    }
    QVERIFY(dbInsert(makeScan(m_active, QStringLiteral("982000000000001"), 45010.6, 1)));
    QVERIFY(dbInsert(makeScan(m_second, QStringLiteral("982000000000002"), 45007.6, 1)));
    dbClose();
}

QString TstSessionsPage::cloudDStatus(const QString &uid)
{
    QString error;
    const TScanSessionList cloud = AzureQueryScanSessions(f->email, &error);
    for (const auto &s : cloud)
        if (s->Uid == uid)
            return s->DStatus;
    return QStringLiteral("<missing: %1>").arg(error);
}

QString TstSessionsPage::storedDStatus(const QString &uid)
{
    if (!dbOpenScans(f->db()))
        return QStringLiteral("<no store>");
    QString out = QStringLiteral("<missing>");
    for (const auto &s : QueryScanSessions())
        if (s->Uid == uid)
            out = s->DStatus;
    dbClose();
    return out;
}

void TstSessionsPage::emptyStore()
{
    f->start();
    QCOMPARE(f->w()->pnSessionsLeft->text(), QStringLiteral(" 0 Sessions, 0 Active"));
    QCOMPARE(f->w()->grdSessions->RowCount(), 1);
    QVERIFY(f->w()->cbActiveOnly->isChecked());
    QCOMPARE(f->w()->grdSessions->Cells(1, 0), QStringLiteral("Session Name"));
}

void TstSessionsPage::countsLineAndActiveFilter()
{
    seed();
    f->start();
    TKestrunF *w = f->w();
    TStringGrid *g = w->grdSessions;
    QCOMPARE(w->pnSessionsLeft->text(), QStringLiteral(" 4 Sessions, 2 Active"));
    QStringList headers;
    for (int c = 0; c < g->ColCount(); ++c)
        headers << g->Cells(c, 0);
    QCOMPARE(
        headers, QStringList({"Index", "Session Name", "Scans", "Updated", "Creator", QString()}));
    QVERIFY(g->isColumnHidden(0));

    // Checked at start: the archived session is left out, the counts still hold it.
    QCOMPARE(g->RowCount(), 4);
    QCOMPARE(rowWithText(g, 1, QStringLiteral("Old pen")), -1);
    const int noId = rowWithText(g, 1, QStringLiteral("No identity"));
    const int heifers = rowWithText(g, 1, QStringLiteral("Heifers"));
    QVERIFY(noId > 0 && heifers > 0);
    QCOMPARE(g->Cells(5, heifers), QStringLiteral(" Archive "));
    QCOMPARE(g->Cells(5, noId), QString());
    QVERIFY(!g->buttonRect(5, noId).isValid());
    // Rows keep the list's order, newest TimeStamp first; the index names each one.
    QCOMPARE(g->Cells(1, 1), QStringLiteral("Heifers"));
    QCOMPARE(g->Cells(0, noId), QStringLiteral("2"));
    QCOMPARE(g->Cells(2, heifers), QStringLiteral("9"));
    QCOMPARE(g->Cells(3, heifers), gridDateText(GetLocalTime(45010.5), false));

    // The hint over the button column, by visible position, on any row.
    const QString hint = QStringLiteral("Makes session inactive, does not delete anything");
    QCOMPARE(g->hintAt(cellCentre(g, 5, noId)), hint);
    QCOMPARE(g->hintAt(cellCentre(g, 5, heifers)), hint);
    QCOMPARE(g->hintAt(cellCentre(g, 4, heifers)), QString());

    QTest::mouseClick(w->cbActiveOnly, Qt::LeftButton);
    QVERIFY(!w->cbActiveOnly->isChecked());
    QCOMPARE(g->RowCount(), 5);
    const int old = rowWithText(g, 1, QStringLiteral("Old pen"));
    QVERIFY(old > 0);
    QCOMPARE(g->Cells(5, old), QString());
    QCOMPARE(w->pnSessionsLeft->text(), QStringLiteral(" 4 Sessions, 2 Active"));
    // Widths fit the content plus 8 pixels.
    const QFontMetrics fm(g->font());
    QVERIFY(g->columnWidth(4) >= fm.horizontalAdvance(f->email) + 8);
    QVERIFY(f->dialogs.requests().empty());
}

void TstSessionsPage::archiveAnswered_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes") << true;
    QTest::newRow("No") << false;
}

void TstSessionsPage::archiveAnswered()
{
    QFETCH(bool, yes);
    seed();
    f->start();
    TKestrunF *w = f->w();
    TStringGrid *g = w->grdSessions;
    // Sorted by "Scans", then the button of the row that shows "Bulls".
    clickHeader(g, 2);
    QCOMPARE(g->Cells(1, g->RowCount() - 1), QStringLiteral("Bulls"));
    const int row = rowWithText(g, 1, QStringLiteral("Bulls"));
    f->dialogs.push({yes, {}});
    clickButton(g, 5, row);

    QCOMPARE(f->dialogs.requests().size(), size_t(1));
    QCOMPARE(f->dialogs.requests()[0].kind, DialogKind::YesNo);
    QCOMPARE(f->dialogs.requests()[0].text,
        QStringLiteral("Archive Session \"Bulls\", and remove it from mobile devices ? "));
    QCOMPARE(cloudDStatus(m_second), yes ? QStringLiteral("D") : QString());
    QCOMPARE(storedDStatus(m_second), yes ? QStringLiteral("D") : QString());
    QCOMPARE(cloudDStatus(m_active), QString());
    QCOMPARE(storedDStatus(m_active), QString());
    QCOMPARE(w->pnSessionsLeft->text(),
        yes ? QStringLiteral(" 4 Sessions, 1 Active") : QStringLiteral(" 4 Sessions, 2 Active"));
    QCOMPARE(rowWithText(g, 1, QStringLiteral("Bulls")) > 0, !yes);
    QCOMPARE(g->RowCount(), yes ? 3 : 4);
}

void TstSessionsPage::archiveCloudFailureKeepsTheSessionActive()
{
    seed();
    FaultServer server;
    server.setHandler(FaultServer::status(503, kServiceError));
    useEndpoint(QString::fromLatin1(server.url()) + QStringLiteral("/devstoreaccount1"));
    f->start();
    TStringGrid *g = f->w()->grdSessions;
    const int row = rowWithText(g, 1, QStringLiteral("Heifers"));
    clickButton(g, 5, row);

    const QStringList msgs = f->dialogs.messages();
    QCOMPARE(msgs.size(), 2);
    QVERIFY2(msgs[1].startsWith(QStringLiteral("Session \"Heifers\" was not archived")),
        qPrintable(msgs[1]));
    QVERIFY2(msgs[1].contains(QStringLiteral("The server is busy.")), qPrintable(msgs[1]));
    QVERIFY(!server.requests().empty());
    // Memory, store and grid all still say active, as the cloud does.
    const TScanSession *s = nullptr;
    for (const auto &x : ScanSessionList)
        if (x->Uid == m_active)
            s = x.get();
    QVERIFY(s);
    QCOMPARE(s->DStatus, QString());
    QCOMPARE(storedDStatus(m_active), QString());
    QCOMPARE(f->w()->pnSessionsLeft->text(), QStringLiteral(" 4 Sessions, 2 Active"));
    QCOMPARE(
        g->Cells(5, rowWithText(g, 1, QStringLiteral("Heifers"))), QStringLiteral(" Archive "));
    useAzurite(*m_azurite);
    QCOMPARE(cloudDStatus(m_active), QString());
}

void TstSessionsPage::nameCellOpensTheSessionOfItsRow_data()
{
    QTest::addColumn<int>("realCol");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<bool>("opens");
    QTest::newRow("name, click") << 1 << false << true;
    QTest::newRow("name, double click") << 1 << true << true;
    QTest::newRow("Scans") << 2 << false << false;
    QTest::newRow("Updated") << 3 << false << false;
    QTest::newRow("Creator, double click") << 4 << true << false;
}

void TstSessionsPage::nameCellOpensTheSessionOfItsRow()
{
    QFETCH(int, realCol);
    QFETCH(bool, doubleClick);
    QFETCH(bool, opens);
    seed();
    f->start();
    TKestrunF *w = f->w();
    w->GotoMainPage(TKestrunF::PageSessions);
    TStringGrid *g = w->grdSessions;
    clickHeader(g, 2); // by "Scans": Heifers (9) first
    clickHeader(g, 2); // and again: descending, Bulls (120) first
    QCOMPARE(g->Cells(1, 1), QStringLiteral("Bulls"));
    if (doubleClick)
        QTest::mouseDClick(g->viewport(), Qt::LeftButton, {}, cellCentre(g, realCol, 1));
    else
        clickCell(g, realCol, 1);
    if (!opens) {
        QCOMPARE(w->PageControl1->currentIndex(), int(TKestrunF::PageSessions));
        QVERIFY(!w->CurrentSession);
        return;
    }
    QCOMPARE(w->PageControl1->currentIndex(), int(TKestrunF::PageScans));
    QVERIFY(w->CurrentSession);
    QCOMPARE(w->CurrentSession->Uid, m_second);
    // The session's recorded count, not the one row of the store.
    QCOMPARE(w->pnSessionInfo->text(), QStringLiteral("120 scans in Bulls, 0 selected"));
    QCOMPARE(w->grdScans->RowCount(), 2);
    QCOMPARE(w->grdScans->ColCount(), 8);
    QCOMPARE(w->grdScans->Cells(4, 0), QStringLiteral("Bulls weight"));
    QCOMPARE(w->grdScans->Cells(6, 0), QStringLiteral("Bulls note"));
}

int TstSessionsPage::runCli(const QStringList &args, QString *output)
{
    QProcess p;
    p.setStandardInputFile(QProcess::nullDevice());
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(KESTRUN_CLI), args);
    p.waitForFinished(60000);
    if (output)
        *output = QString::fromUtf8(p.readAll());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

void TstSessionsPage::cliArchive_data()
{
    QTest::addColumn<bool>("yesOption");
    QTest::newRow("--yes") << true;
    QTest::newRow("no terminal: not asked") << false;
}

void TstSessionsPage::cliArchive()
{
    QFETCH(bool, yesOption);
    seed();
    QStringList args {QStringLiteral("archive"), m_active};
    if (yesOption)
        args << QStringLiteral("--yes");
    QString output;
    QCOMPARE(runCli(args, &output), 0);
    QCOMPARE(output, QStringLiteral("Archived session \"Heifers\".\n"));
    QCOMPARE(cloudDStatus(m_active), QStringLiteral("D"));
    QCOMPARE(storedDStatus(m_active), QStringLiteral("D"));
    QCOMPARE(storedDStatus(m_second), QString());

    QCOMPARE(runCli({QStringLiteral("archive"), m_active}, &output), 1);
    QCOMPARE(output, QStringLiteral("Session \"Heifers\" is archived already.\n"));
    QCOMPARE(runCli({QStringLiteral("archive"), QStringLiteral("no-such-uid")}, &output), 1);
    QCOMPARE(runCli({QStringLiteral("archive")}, &output), 2);
}

void TstSessionsPage::cliArchiveCloudFailure()
{
    seed();
    FaultServer server;
    server.setHandler(FaultServer::status(503, kServiceError));
    useEndpoint(QString::fromLatin1(server.url()) + QStringLiteral("/devstoreaccount1"));
    QString output;
    const int rc = runCli({QStringLiteral("archive"), m_active, QStringLiteral("--yes")}, &output);
    useAzurite(*m_azurite);
    QCOMPARE(rc, 1);
    QVERIFY2(output.startsWith(QStringLiteral("Session \"Heifers\" was not archived")),
        qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("The server is busy.")), qPrintable(output));
    QCOMPARE(storedDStatus(m_active), QString());
    QCOMPARE(cloudDStatus(m_active), QString());
}

KESTRUN_UI_TEST_MAIN(TstSessionsPage)
#include "tst_sessionspage.moc"
