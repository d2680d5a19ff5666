#include "Controls.h"
#include "Dialogs.h"
#include "KestrunU.h"
#include "LoginU.h"
#include "TestHome.h"
#include "UiTestMain.h"
#include "dbWriters.h"
#include "qzConfig.h"
#include "qzSQL.h"
#include "qzTagSettings.h"
#include "qzUtils.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

namespace {
QString appDataDir(const TestHome &home)
{
    return home.path() + QStringLiteral("/.local/share/Kestrun");
}

// A settings file as the program reads it; Admin is written only by hand.
void writeSettings(
    const QString &email, const QString &password, const QString &name, const QString &admin = {})
{
    QDir().mkpath(QFileInfo(tagSettingsFileName()).path());
    if (!admin.isEmpty()) {
        QFile f(tagSettingsFileName());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[TagSettings]\nAdmin=" + admin.toUtf8() + "\n");
    }
    TagSettings.Email = email;
    TagSettings.Password = password;
    TagSettings.Name = name;
    TagSettings.Save();
    resetTagSettings();
}

TScanSession session(const QString &uid, int count, double ts, const QString &dstatus = {})
{
    TScanSession s;
    s.Uid = uid;
    s.Name = QStringLiteral("Pen ") + uid;
    s.Creator = QStringLiteral("farmer@example.com");
    s.Count = count;
    s.TimeStamp = ts;
    s.Date = ts;
    s.DStatus = dstatus;
    return s;
}

TScan scan(const QString &sessionUid, const QString &uid, double date)
{
    TScan s;
    s.SessionUid = sessionUid;
    s.Uid = uid;
    s.Eid = QStringLiteral("982000123456789");
    s.Date = date;
    s.TimeStamp = date;
    return s;
}

// Sessions whose counts differ from their scan rows, as the status line must show.
void seedStore(const QString &path)
{
    QVERIFY(dbOpenScans(path));
    QVERIFY(dbInsert(session(QStringLiteral("s1"), 5, 45000.5)));
    QVERIFY(dbInsert(session(QStringLiteral("s2"), 7, 45001.5, QStringLiteral("D"))));
    QVERIFY(dbInsert(session(QString(), 100, 45002.5)));
    QVERIFY(dbInsert(scan(QStringLiteral("s1"), QStringLiteral("a"), 45000.6)));
    QVERIFY(dbInsert(scan(QStringLiteral("s1"), QStringLiteral("b"), 45000.7)));
    QVERIFY(dbInsert(scan(QStringLiteral("s2"), QStringLiteral("c"), 45001.6)));
    dbClose();
}
} // namespace

class TstKestrunF : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstStartCreatesTheDatabase();
    void welcomeAndDebugEntryFollowTheSettings_data();
    void welcomeAndDebugEntryFollowTheSettings();
    void databaseFailureShowsThePathAndEnds();
    void statusLineSumsRecordedCounts();
    void navigation_data();
    void navigation();
    void comingHomeKeepsTheResultHidden();
    void menuIconTogglesThePane();
    void loginIconOpensTheDialogModally();
    void handlerErrorIsShownAndTheProgramGoesOn();
    void closingReleasesTheLists();

private:
    std::unique_ptr<TKestrunF> start();
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<DialogScript> m_dialogs;
    QList<int> m_halts;
};

void TstKestrunF::init()
{
    m_home = std::make_unique<TestHome>();
    OrvaloPath.clear();
    resetTagSettings();
    resetKestrunState();
    m_dialogs = std::make_unique<DialogScript>();
    m_halts.clear();
    setHaltHandler([this](int code) { m_halts << code; });
}

void TstKestrunF::cleanup()
{
    setHaltHandler({});
    m_dialogs.reset();
    delete LoginF;
    resetKestrunState();
    m_home.reset();
}

std::unique_ptr<TKestrunF> TstKestrunF::start()
{
    auto w = std::make_unique<TKestrunF>();
    w->show();
    return w;
}

void TstKestrunF::firstStartCreatesTheDatabase()
{
    const QString db = appDataDir(*m_home) + QStringLiteral("/scans.db");
    QVERIFY(!QFile::exists(db));
    auto w = start();
    QCOMPARE(dbFileName, db);
    QVERIFY(QFile::exists(db));
    QCOMPARE(w->lbStatus->text(), QStringLiteral("You have 0 scans in 0 sessions"));
    QCOMPARE(w->lbWelcome->text(), QStringLiteral("Welcome New User !"));
    QVERIFY(w->pnSvDebug->isHidden());
    QCOMPARE(w->PageControl1->currentIndex(), 0);
    QVERIFY(w->PageControl1->tabBar()->isHidden());
    QCOMPARE(w->PageControl1->count(), 7);
    QVERIFY(w->lbDownloading->isHidden());
    QVERIFY(AllScansSession);
    QCOMPARE(AllScansSession->Name, QStringLiteral("All Scans"));
    QVERIFY(AllScansSession->Uid.isEmpty());
    QCOMPARE(AllScansSession->Value3Name, QStringLiteral("Value 3"));
    QVERIFY(ScanSessionList.empty());
    QVERIFY(m_dialogs->requests().empty());
    QVERIFY(m_halts.isEmpty());
}

void TstKestrunF::welcomeAndDebugEntryFollowTheSettings_data()
{
    QTest::addColumn<QString>("email");
    QTest::addColumn<QString>("admin");
    QTest::addColumn<QString>("welcome");
    QTest::addColumn<bool>("debug");
    const QString admin = QString::number(KESTRUN_ADMIN_VALUE);
    QTest::newRow("admin") << "ann@example.com" << admin << "Welcome Ann Smith" << true;
    QTest::newRow("wrong admin value")
        << "ann@example.com" << admin + QLatin1Char('1') << "Welcome Ann Smith" << false;
    QTest::newRow("user") << "ann@example.com" << QString() << "Welcome Ann Smith" << false;
    QTest::newRow("admin without account") << QString() << admin << "Welcome New User !" << true;
}

void TstKestrunF::welcomeAndDebugEntryFollowTheSettings()
{
    QFETCH(QString, email);
    QFETCH(QString, admin);
    QFETCH(QString, welcome);
    QFETCH(bool, debug);
    writeSettings(email, QStringLiteral("secret"), QStringLiteral("Ann Smith"), admin);
    auto w = start();
    QCOMPARE(w->lbWelcome->text(), welcome);
    QCOMPARE(w->pnSvDebug->isVisible(), debug);
    if (debug) {
        // At the bottom of the pane, below the other entries.
        QCOMPARE(w->pnSvDebug->geometry().bottom(), w->sv->height() - 1);
        QVERIFY(w->pnSvDebug->y() > w->Panel9->geometry().bottom());
    }
}

void TstKestrunF::databaseFailureShowsThePathAndEnds()
{
    // A folder where the database file should be: it cannot be opened as a database.
    const QString db = appDataDir(*m_home) + QStringLiteral("/scans.db");
    QVERIFY(QDir().mkpath(db));
    auto w = start();
    QCOMPARE(m_halts, QList<int> {0});
    QCOMPARE(m_dialogs->messages(),
        QStringList {QStringLiteral("Exiting, cannot open database ^M") + db
            + QStringLiteral(" Try deleting SCANS.DB, and restart the program.  Your scans "
                             "still exist on our system and can be recovered with Collect "
                             "Scans.")});
    // It ended before the status line was written.
    QVERIFY(w->lbStatus->text().isEmpty());
}

void TstKestrunF::statusLineSumsRecordedCounts()
{
    QDir().mkpath(appDataDir(*m_home));
    seedStore(appDataDir(*m_home) + QStringLiteral("/scans.db"));
    auto w = start();
    // The session without a Uid counts as a session, its 100 scans do not; the archived one
    // counts with its scans.
    QCOMPARE(w->lbStatus->text(), QStringLiteral("You have 12 scans in 3 sessions"));
    QCOMPARE(ScanCount, 12);
    QCOMPARE(SessionCount, 3);
    QCOMPARE(int(ScanSessionList.size()), 3);
    QCOMPARE(ScanSessionList.front()->TimeStamp, 45002.5); // newest first
}

void TstKestrunF::navigation_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("page");
    QTest::newRow("Home panel") << "Panel7" << 0;
    QTest::newRow("Sessions panel") << "Panel6" << 1;
    QTest::newRow("Scans panel") << "pnScans" << 5;
    QTest::newRow("Visible IDs panel") << "Panel5" << 2;
    QTest::newRow("Account panel") << "Panel9" << 6;
    QTest::newRow("Debug panel") << "pnSvDebug" << 4;
    QTest::newRow("Home icon") << "Image4" << 0;
    QTest::newRow("Sessions icon") << "Image3" << 1;
    QTest::newRow("Scans icon") << "Image12" << 5;
    QTest::newRow("Visible IDs icon") << "Image2" << 2;
    QTest::newRow("Account icon") << "Image6" << 3;
    QTest::newRow("Debug icon") << "Image1" << 4;
}

void TstKestrunF::navigation()
{
    QFETCH(QString, control);
    QFETCH(int, page);
    writeSettings(QStringLiteral("ann@example.com"), QStringLiteral("secret"),
        QStringLiteral("Ann"), QString::number(KESTRUN_ADMIN_VALUE));
    QDir().mkpath(appDataDir(*m_home));
    seedStore(appDataDir(*m_home) + QStringLiteral("/scans.db"));
    auto w = start();
    w->GotoMainPage(TKestrunF::PageSettings);
    w->lbDownloading->show(); // as right after a Collect Scans
    QWidget *c = w->findChild<QWidget *>(control);
    QVERIFY(c);
    QVERIFY(c->isVisible());
    // A panel is clicked beside its icon, an icon in its middle.
    const QPoint at = qobject_cast<TClickPanel *>(c) ? QPoint(150, 27) : c->rect().center();
    QTest::mouseClick(c, Qt::LeftButton, {}, at);
    QCOMPARE(w->PageControl1->currentIndex(), page);
    QVERIFY(w->lbDownloading->isHidden());
    if (page == TKestrunF::PageScans) {
        // The All Scans view: every scan of the store.
        QCOMPARE(w->CurrentSession, AllScansSession.get());
        QCOMPARE(AllScansSession->Count, 3);
        QCOMPARE(int(ScanList.size()), 3);
    } else {
        QCOMPARE(w->CurrentSession, nullptr);
    }
    if (page == TKestrunF::PageSettings) {
        auto *label = w->tbSettings->findChild<QLabel *>();
        QVERIFY(label);
        QCOMPARE(label->text(), QStringLiteral("Settings Page"));
    }
}

void TstKestrunF::comingHomeKeepsTheResultHidden()
{
    auto w = start();
    w->lbDownloading->setText(QStringLiteral("No new scans"));
    w->lbDownloading->show();
    QTest::mouseClick(w->Panel6, Qt::LeftButton, {}, QPoint(150, 27));
    QTest::mouseClick(w->Panel7, Qt::LeftButton, {}, QPoint(150, 27));
    QCOMPARE(w->PageControl1->currentIndex(), 0);
    QVERIFY(w->lbDownloading->isHidden());
}

void TstKestrunF::menuIconTogglesThePane()
{
    auto w = start();
    const auto paneWidth = [&] {
        QApplication::processEvents();
        return w->sv->width();
    };
    QCOMPARE(paneWidth(), 200);
    for (int width : {54, 200, 54, 200}) {
        QTest::mouseClick(w->Image5, Qt::LeftButton);
        QCOMPARE(paneWidth(), width);
        QCOMPARE(w->sv->Opened(), width == 200);
    }
    // The compact pane still navigates by its icons.
    QTest::mouseClick(w->Image5, Qt::LeftButton);
    QTest::mouseClick(w->Image3, Qt::LeftButton);
    QCOMPARE(w->PageControl1->currentIndex(), 1);
}

void TstKestrunF::loginIconOpensTheDialogModally()
{
    auto w = start();
    KestrunF = w.get();
    LoginF = new TLoginF(w.get());
    bool seen = false;
    QTimer::singleShot(0, [&] {
        seen = LoginF->isVisible() && LoginF->isModal()
            && QApplication::activeModalWidget() == LoginF;
        QTest::keyClick(LoginF, Qt::Key_Escape);
    });
    QTest::mouseClick(w->imgLogin, Qt::LeftButton);
    QVERIFY(seen);
    QVERIFY(!LoginF->isVisible());
    QCOMPARE(w->imgLogin->toolTip(), QStringLiteral("Login"));
    // Nothing is reloaded afterwards.
    QCOMPARE(w->lbWelcome->text(), QStringLiteral("Welcome New User !"));
    KestrunF = nullptr;
}

void TstKestrunF::handlerErrorIsShownAndTheProgramGoesOn()
{
    TClickPanel p(QStringLiteral("x"));
    p.resize(50, 20);
    p.show();
    int after = 0;
    connect(&p, &TClickPanel::clicked, [] { throw std::runtime_error("Cannot write the file"); });
    QTest::mouseClick(&p, Qt::LeftButton);
    QTimer::singleShot(0, [&] { ++after; });
    QTRY_COMPARE(after, 1);
    QCOMPARE(m_dialogs->messages(), QStringList {QStringLiteral("Cannot write the file")});
}

void TstKestrunF::closingReleasesTheLists()
{
    QDir().mkpath(appDataDir(*m_home));
    seedStore(appDataDir(*m_home) + QStringLiteral("/scans.db"));
    auto w = start();
    QCOMPARE(int(ScanSessionList.size()), 3);
    w->close();
    QVERIFY(ScanSessionList.empty());
    QVERIFY(!AllScansSession);
}

KESTRUN_UI_TEST_MAIN(TstKestrunF)
#include "tst_kestrunf.moc"
