#include "TestHome.h"
#include "cliFormat.h"
#include "dbWriters.h"
#include "qzSQL.h"

#include <QProcess>
#include <QTest>

class TestKestrunCli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void statusCountsSessionRecords();
    void scansFilterAndEscape();
    void sessionsAndLookups();
    void defaultDatabaseInAppData();
    void unopenableDatabase();
    void helpAndBadCommand();

private:
    struct Result
    {
        int code;
        QString out;
        QString err;
    };
    Result cli(const QStringList &args) const;
    std::unique_ptr<TestHome> m_home;
    QString m_db;
};

void TestKestrunCli::init()
{
    m_home = std::make_unique<TestHome>();
    m_db = m_home->file(QStringLiteral("scans.db"));
    QVERIFY(dbOpenScans(m_db));
}

void TestKestrunCli::cleanup()
{
    dbClose();
    m_home.reset();
}

TestKestrunCli::Result TestKestrunCli::cli(const QStringList &args) const
{
    dbClose();
    QProcess p;
    p.start(QStringLiteral(KESTRUN_CLI), args);
    if (!p.waitForFinished(30000))
        return {-1, {}, {}};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
        QString::fromUtf8(p.readAllStandardError())};
}

void TestKestrunCli::statusCountsSessionRecords()
{
    TScanSession a, b, allScans;
    a.Uid = QStringLiteral("a");
    a.Count = 5;
    b.Uid = QStringLiteral("b");
    b.Count = 7;
    b.DStatus = QStringLiteral("D"); // archived sessions count too
    allScans.Count = 100; // no Uid: not counted, but is a session
    QVERIFY(dbInsert(a) && dbInsert(b) && dbInsert(allScans));
    const Result r = cli({QStringLiteral("--db"), m_db, QStringLiteral("status")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("You have 12 scans in 3 sessions\n"));
}

void TestKestrunCli::scansFilterAndEscape()
{
    TScan s1, s2, s3;
    s1.SessionUid = s2.SessionUid = QStringLiteral("s1");
    s3.SessionUid = QStringLiteral("s2");
    s1.Eid = s3.Eid = QStringLiteral("982000420103750");
    s2.Eid = QStringLiteral("982000420103751");
    s1.Date = 45001;
    s2.Date = 45002.5;
    s3.Date = 45003;
    s1.Value1 = QStringLiteral("a\tb\\c\r\nd");
    QVERIFY(dbInsert(s1) && dbInsert(s2) && dbInsert(s3));

    Result r = cli({QStringLiteral("--db"), m_db, QStringLiteral("scans"),
        QStringLiteral("--session"), QStringLiteral("s1")});
    QCOMPARE(r.code, 0);
    QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith(QStringLiteral("Id\tTimeStamp\tEid\tVisibleID\tSessionUid\tUid")));
    QCOMPARE(lines[1].split(QLatin1Char('\t'))[6], QStringLiteral("45002.5"));
    QCOMPARE(lines[2].split(QLatin1Char('\t'))[9], QStringLiteral("a\\tb\\\\c\\r\\nd"));

    r = cli({QStringLiteral("--db"), m_db, QStringLiteral("scans"), QStringLiteral("--session"),
        QStringLiteral("s1"), QStringLiteral("--eid"), QStringLiteral("982000420103750")});
    lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3); // the EID wins: s3 and s1
    QCOMPARE(lines[1].split(QLatin1Char('\t'))[4], QStringLiteral("s2"));

    r = cli({QStringLiteral("--db"), m_db, QStringLiteral("scans")});
    QCOMPARE(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 4);
}

void TestKestrunCli::sessionsAndLookups()
{
    TScanSession s;
    s.Uid = QStringLiteral("u");
    s.Name = QStringLiteral("Weaning");
    TVisIDLookup l;
    l.Creator = QStringLiteral("me@example.com");
    l.Eid = QStringLiteral("982000420103750");
    l.VisibleID = QStringLiteral("17");
    QVERIFY(dbInsert(s) && dbInsert(l));
    Result r = cli({QStringLiteral("sessions"), QStringLiteral("--db"), m_db});
    QCOMPARE(r.code, 0);
    QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0].section(QLatin1Char('\t'), 0, 4),
        QStringLiteral("Id\tDate\tTimeStamp\tName\tUid"));
    QCOMPARE(lines[1].section(QLatin1Char('\t'), 3, 4), QStringLiteral("Weaning\tu"));
    r = cli({QStringLiteral("--db"), m_db, QStringLiteral("lookups")});
    lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines[0],
        QStringLiteral("Id\tCreator\tEid\tName\tTimeStamp\tDate\tVisibleID\tMStatus\tDStatus"));
    QCOMPARE(lines[1], QStringLiteral("0\tme@example.com\t982000420103750\t\t0\t0\t17\t\t"));
}

void TestKestrunCli::defaultDatabaseInAppData()
{
    const Result r = cli({QStringLiteral("status")});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.out, QStringLiteral("You have 0 scans in 0 sessions\n"));
    QVERIFY(QFile::exists(m_home->file(QStringLiteral(".local/share/Kestrun/scans.db"))));
}

void TestKestrunCli::unopenableDatabase()
{
    const QString bad = m_home->file(QStringLiteral("junk.db"));
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'j'));
    f.close();
    const Result r = cli({QStringLiteral("--db"), bad, QStringLiteral("status")});
    QCOMPARE(r.code, 1);
    QVERIFY(r.out.isEmpty());
    QCOMPARE(r.err,
        QStringLiteral("Exiting, cannot open database ^M") + bad
            + QStringLiteral(" Try deleting SCANS.DB, and restart the program.  Your "
                             "scans still exist on our system and can be recovered "
                             "with Collect Scans.\n"));
}

void TestKestrunCli::helpAndBadCommand()
{
    Result r = cli({QStringLiteral("--help")});
    QCOMPARE(r.code, 0);
    for (const char *word :
        {"status", "sessions", "scans", "lookups", "--db", "--session", "--eid"})
        QVERIFY2(r.out.contains(QLatin1String(word)), word);
    r = cli({QStringLiteral("frobnicate")});
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains(QStringLiteral("Unknown command")));
}

QTEST_GUILESS_MAIN(TestKestrunCli)
#include "tst_kestruncli.moc"
