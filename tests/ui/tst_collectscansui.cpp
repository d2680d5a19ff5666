#include "AccountServiceFixture.h"
#include "AzuriteFixture.h"
#include "Controls.h"
#include "Dialogs.h"
#include "KestrunU.h"
#include "LoginU.h"
#include "TestHome.h"
#include "UiTestMain.h"
#include "qzBackendless.h"
#include "qzCloud.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QUuid>

namespace {
QString unique(const char *prefix)
{
    return QLatin1String(prefix) + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

// Records what a widget shows each time it is painted.
class PaintSpy : public QObject
{
public:
    PaintSpy(QWidget *w, std::function<QString()> what) : m_what(std::move(what))
    {
        w->installEventFilter(this);
    }
    QStringList seen;
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            seen << m_what();
        return false;
    }

private:
    std::function<QString()> m_what;
};
} // namespace

class TstCollectScansUi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void newUserCollectsFromHome_data();
    void newUserCollectsFromHome();
    void refusedLoginChangesNothing();
    void dialogClosedWithoutLoginStopsSilently();

private:
    void seedCloud(int sessions, int scansEach);
    void answerLoginDialog(const QString &password);
    std::unique_ptr<TKestrunF> start();

    std::unique_ptr<AzuriteFixture> m_azurite;
    std::unique_ptr<AccountService> m_accounts;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<DialogScript> m_dialogs;
    QString m_email;
    QList<int> m_halts;
};

void TstCollectScansUi::initTestCase()
{
    m_azurite = std::make_unique<AzuriteFixture>();
    QVERIFY2(m_azurite->ok(), qPrintable(m_azurite->error()));
    m_azurite->exportEnv();
    m_accounts = std::make_unique<AccountService>();
    QVERIFY2(m_accounts->ok(), qPrintable(m_accounts->error()));
    qputenv("KESTRUN_ACCOUNTS_URL", m_accounts->baseUrl().toUtf8());
    AzureStart('S');
    QString error;
    QVERIFY2(AzureCreateTables(&error), qPrintable(error));
}

void TstCollectScansUi::init()
{
    m_home = std::make_unique<TestHome>();
    OrvaloPath.clear();
    resetTagSettings();
    resetKestrunState();
    m_dialogs = std::make_unique<DialogScript>();
    m_halts.clear();
    setHaltHandler([this](int code) { m_halts << code; });
    m_email = unique("farmer-") + QStringLiteral("@example.com");
    QCOMPARE(BackendlessRegister(m_email, QStringLiteral("Right 1"), QStringLiteral("Ann Smith"),
                 QStringLiteral("tag")),
        QString());
    resetTagSettings();
}

void TstCollectScansUi::cleanup()
{
    setHaltHandler({});
    m_dialogs.reset();
    delete LoginF;
    KestrunF = nullptr;
    resetKestrunState();
    m_home.reset();
}

void TstCollectScansUi::seedCloud(int sessions, int scansEach)
{
    AzureStart('S');
    for (int i = 0; i < sessions; ++i) {
        TScanSession s;
        s.Creator = m_email;
        s.Uid = unique("sess-");
        s.Name = QStringLiteral("Pen %1").arg(i + 1);
        s.Count = scansEach;
        s.Date = encodeDate(2025, 3, 1 + i) + 0.25;
        s.TimeStamp = s.Date;
        QString error;
        QVERIFY2(AzureStore(s, &error), qPrintable(error));
        for (int j = 0; j < scansEach; ++j) {
            TScan c;
            c.SessionUid = s.Uid;
            c.Uid = unique("scan-");
            c.Creator = m_email;
            c.Eid = QStringLiteral("9820001234%1").arg(i * 100 + j, 5, 10, QLatin1Char('0'));
            c.Date = s.Date + j / 1440.0;
            c.TimeStamp = c.Date;
            c.Sequence = j + 1;
            QVERIFY2(AzureStore(c, &error), qPrintable(error));
        }
    }
}

// The dialog that Collect Scans opens for a new user: log in, then close it.
void TstCollectScansUi::answerLoginDialog(const QString &password)
{
    QTimer::singleShot(0, [this, password] {
        QVERIFY(LoginF && LoginF->isVisible());
        LoginF->edEmail->setText(m_email);
        LoginF->edPassword->setText(password);
        QTest::mouseClick(LoginF->pnLogin, Qt::LeftButton);
        QTest::mouseClick(LoginF->Panel2, Qt::LeftButton);
    });
}

std::unique_ptr<TKestrunF> TstCollectScansUi::start()
{
    auto w = std::make_unique<TKestrunF>();
    KestrunF = w.get();
    LoginF = new TLoginF(w.get());
    w->show();
    return w;
}

void TstCollectScansUi::newUserCollectsFromHome_data()
{
    QTest::addColumn<bool>("byPicture");
    QTest::newRow("Collect Scans panel") << false;
    QTest::newRow("Home page picture") << true;
}

void TstCollectScansUi::newUserCollectsFromHome()
{
    QFETCH(bool, byPicture);
    seedCloud(2, 3);
    auto w = start();
    QCOMPARE(w->lbStatus->text(), QStringLiteral("You have 0 scans in 0 sessions"));
    QVERIFY(TagSettings.NewUser);

    PaintSpy caption(w->pnDownload, [&] { return w->pnDownload->text(); });
    PaintSpy bar(w->pbDownload, [&] {
        return QStringLiteral("%1/%2").arg(w->pbDownload->value()).arg(w->pbDownload->maximum());
    });
    QWidget *clicked = byPicture ? static_cast<QWidget *>(w->Image10) : w->pnDownload;
    answerLoginDialog(QStringLiteral("Right 1"));
    QTest::mouseClick(clicked, Qt::LeftButton);

    // "Checking ..." was painted before the work, the bar as each session was done.
    QVERIFY2(
        caption.seen.contains(QStringLiteral("Checking ...")), qPrintable(caption.seen.join('|')));
    QVERIFY2(bar.seen.contains(QStringLiteral("0/1")), qPrintable(bar.seen.join('|')));
    QVERIFY2(bar.seen.contains(QStringLiteral("1/2")), qPrintable(bar.seen.join('|')));
    QVERIFY2(bar.seen.contains(QStringLiteral("2/2")), qPrintable(bar.seen.join('|')));
    QVERIFY(w->pbDownload->isHidden());
    QCOMPARE(w->pnDownload->text(), QStringLiteral("Collect Scans"));
    QVERIFY(w->lbDownloading->isVisible());
    QCOMPARE(w->lbDownloading->text(), QStringLiteral("Updated 2 sessions and 6 scans"));
    // OpenLocalDB ran: the lists and the status line show the merged store.
    QCOMPARE(w->lbStatus->text(), QStringLiteral("You have 6 scans in 2 sessions"));
    QCOMPARE(int(ScanSessionList.size()), 2);
    QVERIFY(m_dialogs->requests().empty());
    QVERIFY(m_halts.isEmpty());
    resetTagSettings();
    TagSettings.Load();
    QCOMPARE(TagSettings.Email, m_email);
    QVERIFY(TagSettings.LastSync > TagSettings.TagBaseDate); // advanced past the default

    // Again, with nothing new: no dialog now, and the result says so.
    QTest::mouseClick(clicked, Qt::LeftButton);
    QCOMPARE(w->lbDownloading->text(), QStringLiteral("No new scans"));
    QVERIFY(w->lbDownloading->isVisible());
    QCOMPARE(w->lbStatus->text(), QStringLiteral("You have 6 scans in 2 sessions"));
    // Any page change hides the result.
    w->GotoMainPage(TKestrunF::PageSessions);
    w->GotoMainPage(TKestrunF::PageHome);
    QVERIFY(w->lbDownloading->isHidden());
}

void TstCollectScansUi::refusedLoginChangesNothing()
{
    seedCloud(1, 2);
    TagSettings.Email = m_email;
    TagSettings.Password = QStringLiteral("stale password");
    TagSettings.Save();
    resetTagSettings();
    auto w = start();
    PaintSpy caption(w->pnDownload, [&] { return w->pnDownload->text(); });
    QTest::mouseClick(w->pnDownload, Qt::LeftButton);
    QCOMPARE(m_dialogs->messages(), QStringList {QStringLiteral("Invalid login or password.")});
    QVERIFY(!caption.seen.contains(QStringLiteral("Checking ...")));
    QCOMPARE(w->pnDownload->text(), QStringLiteral("Collect Scans"));
    QVERIFY(w->lbDownloading->isHidden());
    QVERIFY(ScanSessionList.empty());
    QVERIFY(dbOpenScans(dbFileName));
    QVERIFY(QueryScanSessions().empty());
    dbClose();
}

void TstCollectScansUi::dialogClosedWithoutLoginStopsSilently()
{
    seedCloud(1, 1);
    auto w = start();
    QTimer::singleShot(0, [] { QTest::keyClick(LoginF, Qt::Key_Escape); });
    QTest::mouseClick(w->pnDownload, Qt::LeftButton);
    QVERIFY(m_dialogs->requests().empty());
    QVERIFY(w->lbDownloading->isHidden());
    QCOMPARE(w->pnDownload->text(), QStringLiteral("Collect Scans"));
    QVERIFY(ScanSessionList.empty());
}

KESTRUN_UI_TEST_MAIN(TstCollectScansUi)
#include "tst_collectscansui.moc"
