#include "TestHome.h"
#include "dbWriters.h"
#include "qzConfig.h"
#include "qzSQL.h"
#include "qzUtils.h"

#include <QFile>
#include <QTest>

#include <sqlite3.h>

#include <clocale>

namespace {
// Runs statements on a file outside the store, keyed or not.
void rawExec(const QString &path, const QStringList &statements, bool keyed = true,
    const char *key = KESTRUN_DB_PASSWORD)
{
    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    if (keyed)
        sqlite3_exec(
            db, (QByteArray("PRAGMA key = '") + key + "'").constData(), nullptr, nullptr, nullptr);
    for (const QString &s : statements) {
        char *err = nullptr;
        const int rc = sqlite3_exec(db, s.toUtf8().constData(), nullptr, nullptr, &err);
        QVERIFY2(rc == SQLITE_OK, err);
    }
    sqlite3_close(db);
}

QString one(const QString &sql)
{
    TSQLQuery q;
    if (!DoQuery(q, sql) || q.eof())
        return QStringLiteral("<none>");
    return q.isNull(0) ? QStringLiteral("<null>") : q.asString(0);
}

int rowCount(const QString &table)
{
    return one(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
}

TScanSession session(const QString &uid, double ts)
{
    TScanSession s;
    s.Uid = uid;
    s.Name = QStringLiteral("Session ") + uid;
    s.Creator = QStringLiteral("farmer@example.com");
    s.TimeStamp = ts;
    s.Date = ts;
    s.Count = 3;
    s.Value1Name = QStringLiteral("Pen");
    return s;
}

TScan scan(const QString &session, const QString &uid, const QString &eid, double date)
{
    TScan s;
    s.SessionUid = session;
    s.Uid = uid;
    s.Eid = eid;
    s.Date = date;
    s.Creator = QStringLiteral("farmer@example.com");
    s.MStatus = QStringLiteral("M");
    s.DStatus = QStringLiteral("X");
    s.Herdcode = QStringLiteral("H7");
    return s;
}
} // namespace

class TestQzSQL : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void newFileHasTablesAndIsPrivate();
    void openTwiceAndSwitch();
    void unopenable_data();
    void unopenable();
    void plainFileOpensWithoutKey();
    void readOnlyFileDoesNotCrash();
    void herdcodeUpgrade();
    void tableNamesCaseBlind();
    void noDatabase();
    void queryScansFilters();
    void sessionsNewestFirst();
    void numbersAsStored_data();
    void numbersAsStored();
    void commaDecimalLocale();
    void textsLandExactly_data();
    void textsLandExactly();
    void emptyRecords();
    void insertTwiceTwoRows();
    void updateSession();
    void updateLookupOnlyItsAccount();
    void readBackLeavesUnreadColumns();
    void transactionRollsBack();
    void indexesPresent();

private:
    std::unique_ptr<TestHome> m_home;
    QString m_db;
};

void TestQzSQL::init()
{
    m_home = std::make_unique<TestHome>();
    m_db = m_home->file(QStringLiteral("scans.db"));
}

void TestQzSQL::cleanup()
{
    dbClose();
    QLocale::setDefault(QLocale::c());
    std::setlocale(LC_ALL, "C");
    m_home.reset();
}

void TestQzSQL::newFileHasTablesAndIsPrivate()
{
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbIsOpen(m_db));
    QVERIFY(TableExists(QStringLiteral("ScanSession")));
    QVERIFY(TableExists(QStringLiteral("scan")));
    QVERIFY(TableExists(QStringLiteral("LOOKUP")));
    QVERIFY(QueryScanSessions().empty());
    QVERIFY(QueryScans(QString(), QString()).empty());
    QVERIFY(QueryLookups().empty());
    QCOMPARE(one(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("wal"));
    QCOMPARE(one(QStringLiteral("PRAGMA synchronous")), QStringLiteral("1"));
    QVERIFY(one(QStringLiteral("PRAGMA encoding")).startsWith(QStringLiteral("UTF-16")));
    QCOMPARE(one(QStringLiteral("SELECT sql FROM sqlite_master WHERE name='Scan'")),
        TableCreate<TScan>());
    dbClose();
    QVERIFY(!dbIsOpen(m_db));
    QFile f(m_db);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QVERIFY(!f.read(16).startsWith("SQLite format 3")); // encrypted
    QCOMPARE(QFile::permissions(m_db) & 0x0FF, QFileDevice::Permissions()); // no group, other
}

void TestQzSQL::openTwiceAndSwitch()
{
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(session(QStringLiteral("a"), 45000)));
    QVERIFY(dbOpenScans(m_db)); // no new attempt, same connection
    QCOMPARE(rowCount(QStringLiteral("ScanSession")), 1);
    const QString other = m_home->file(QStringLiteral("other.db"));
    QVERIFY(dbOpenScans(other));
    QVERIFY(dbIsOpen(other));
    QVERIFY(!dbIsOpen(m_db));
    QCOMPARE(rowCount(QStringLiteral("ScanSession")), 0);
    QVERIFY(!dbIsOpen(other.toUpper())); // the path is compared exactly
}

void TestQzSQL::unopenable_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing folder") << "folder";
    QTest::newRow("not a database") << "text";
    QTest::newRow("other password") << "password";
    QTest::newRow("a folder") << "dir";
}

void TestQzSQL::unopenable()
{
    QFETCH(QString, kind);
    QString path = m_db;
    if (kind == QLatin1String("folder")) {
        path = m_home->file(QStringLiteral("nowhere/scans.db"));
    } else if (kind == QLatin1String("text")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(8192, 'x'));
    } else if (kind == QLatin1String("password")) {
        rawExec(path, {TableCreate<TScan>()}, true, "other!");
    } else {
        QVERIFY(QDir().mkpath(path));
    }
    const QByteArray before = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QVERIFY(!dbOpenScans(path));
    QVERIFY(!dbIsOpen(path)); // nothing left behind: the next call tries again
    QVERIFY(!dbOpenScans(path));
    QVERIFY(!DoSQL(QStringLiteral("SELECT 1")));
    QVERIFY(QueryScanSessions().empty());
    QFile f(path);
    if (f.open(QIODevice::ReadOnly))
        QCOMPARE(f.readAll(), before); // the user's file is not touched
}

void TestQzSQL::plainFileOpensWithoutKey()
{
    rawExec(m_db,
        {TableCreate<TScanSession>(),
            QStringLiteral("INSERT INTO ScanSession (Uid, Name) VALUES ('u1', 'Plain')")},
        false);
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(!Connection->encrypted());
    const TScanSessionList list = QueryScanSessions();
    QCOMPARE(list.size(), size_t(1));
    QCOMPARE(list[0]->Name, QStringLiteral("Plain"));
    QVERIFY(TableExists(QStringLiteral("Lookup")));
}

void TestQzSQL::readOnlyFileDoesNotCrash()
{
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(session(QStringLiteral("a"), 45000)));
    dbClose();
    QVERIFY(QFile::setPermissions(m_db, QFileDevice::ReadOwner));
    if (dbOpenScans(m_db)) {
        QCOMPARE(QueryScanSessions().size(), size_t(1));
        dbInsert(session(QStringLiteral("b"), 45000)); // may fail, must not crash
    }
    dbClose();
}

void TestQzSQL::herdcodeUpgrade()
{
    QString oldScan = TableCreate<TScan>();
    oldScan.replace(QStringLiteral(",  Herdcode TEXT"), QString());
    QVERIFY(!oldScan.contains(QStringLiteral("Herdcode")));
    rawExec(m_db,
        {oldScan,
            QStringLiteral("INSERT INTO Scan (SessionUid, Eid, Date) VALUES ('s', "
                           "'982000420103750', 45000)")});
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(ColumnExists(QStringLiteral("Scan"), QStringLiteral("herdCODE")));
    const TScanList scans = QueryScans(QString(), QString());
    QCOMPARE(scans.size(), size_t(1));
    QCOMPARE(scans[0]->Eid, QStringLiteral("982000420103750"));
    QVERIFY(scans[0]->Herdcode.isEmpty());
}

void TestQzSQL::tableNamesCaseBlind()
{
    rawExec(m_db, {QStringLiteral("CREATE TABLE scansession (Id INT, Uid TEXT, TimeStamp REAL)")});
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(one(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND "
                                "name LIKE 'scansession'")),
        QStringLiteral("1"));
    QVERIFY(!ColumnExists(QStringLiteral("NoSuchTable"), QStringLiteral("Id")));
}

void TestQzSQL::noDatabase()
{
    QVERIFY(!DoSQL(QStringLiteral("SELECT 1")));
    QVERIFY(!dbInsert(TScan()));
    QVERIFY(!dbUpdate(TScanSession()));
    QVERIFY(QueryScans(QString(), QString()).empty());
    QVERIFY(QueryLookups().empty());
    dbClose(); // harmless without a connection
}

void TestQzSQL::queryScansFilters()
{
    QVERIFY(dbOpenScans(m_db));
    const QString e1 = QStringLiteral("982000420103750"), e2 = QStringLiteral("982000420103751");
    QVERIFY(dbInsert(scan(QStringLiteral("s1"), QStringLiteral("a"), e1, 45001)));
    QVERIFY(dbInsert(scan(QStringLiteral("s1"), QStringLiteral("b"), e2, 45003)));
    QVERIFY(dbInsert(scan(QStringLiteral("s2"), QStringLiteral("c"), e1, 45002)));
    QVERIFY(dbInsert(scan(QStringLiteral("s\"2"), QStringLiteral("d"), e2, 45000)));
    auto dates = [](const TScanList &l) {
        QList<double> d;
        for (const auto &s : l)
            d.append(s->Date);
        return d;
    };
    QCOMPARE(dates(QueryScans(QString(), QString())), (QList<double> {45003, 45002, 45001, 45000}));
    QCOMPARE(dates(QueryScans(QStringLiteral("s1"), QString())), (QList<double> {45003, 45001}));
    QCOMPARE(dates(QueryScans(QStringLiteral("s1"), e1)), (QList<double> {45002, 45001}));
    QCOMPARE(dates(QueryScans(QStringLiteral("s\"2"), QString())), (QList<double> {45000}));
    QVERIFY(QueryScans(QStringLiteral("\" OR 1=1 OR \""), QString()).empty());
}

void TestQzSQL::sessionsNewestFirst()
{
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(session(QStringLiteral("old"), 45000)));
    QVERIFY(dbInsert(session(QStringLiteral("new"), 45100)));
    QVERIFY(dbInsert(session(QStringLiteral("mid"), 45050)));
    const TScanSessionList list = QueryScanSessions();
    QCOMPARE(list.size(), size_t(3));
    QCOMPARE(list[0]->Uid, QStringLiteral("new"));
    QCOMPARE(list[1]->Uid, QStringLiteral("mid"));
    QCOMPARE(list[2]->Uid, QStringLiteral("old"));
    QCOMPARE(list[0]->Value1Name, QStringLiteral("Pen"));
    QCOMPARE(list[0]->Count, 3);
}

void TestQzSQL::numbersAsStored_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("stored");
    QTest::newRow("zero") << 0.0 << "0.0";
    QTest::newRow("NullDate") << NullDate << "25569.0423726968";
    QTest::newRow("noon 2018-01-01") << 43101.5 << "43101.5";
    QTest::newRow("latitude") << -33.8688197 << "-33.8688197";
    QTest::newRow("17 digits rounded") << 45000.123456789012345 << "45000.1234567890";
}

void TestQzSQL::numbersAsStored()
{
    QFETCH(double, value);
    QFETCH(QString, stored);
    QVERIFY(dbOpenScans(m_db));
    TScan s = scan(QStringLiteral("s"), QStringLiteral("u"), QStringLiteral("e"), value);
    s.Latitude = value;
    QVERIFY(dbInsert(s));
    QCOMPARE(one(QStringLiteral("SELECT Date FROM Scan")).toDouble(), stored.toDouble());
    QCOMPARE(one(QStringLiteral("SELECT Latitude = Date FROM Scan")), QStringLiteral("1"));
    QCOMPARE(QueryScans(QString(), QString())[0]->Latitude, stored.toDouble());
}

void TestQzSQL::commaDecimalLocale()
{
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    std::setlocale(LC_ALL, "de_DE.UTF-8"); // when the machine has it
    QVERIFY(dbOpenScans(m_db));
    TScanSession s = session(QStringLiteral("u"), 43101.5);
    QVERIFY(dbInsert(s));
    TScan sc = scan(QStringLiteral("u"), QStringLiteral("x"), QStringLiteral("e"), 43101.25);
    sc.Latitude = -34.5;
    QVERIFY(dbInsert(sc));
    QCOMPARE(QueryScanSessions()[0]->TimeStamp, 43101.5);
    QCOMPARE(QueryScans(QString(), QString())[0]->Latitude, -34.5);
}

void TestQzSQL::textsLandExactly_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("double quote") << "Pen \"A\"";
    QTest::newRow("column name") << "Name";
    QTest::newRow("uid column") << "uid";
    QTest::newRow("single quote") << "O'Brien's";
    QTest::newRow("sql") << "\"); DROP TABLE Scan; --";
    QTest::newRow("unicode") << QStringLiteral("Kälber 🐄 第一");
}

void TestQzSQL::textsLandExactly()
{
    QFETCH(QString, text);
    QVERIFY(dbOpenScans(m_db));
    TScanSession s = session(text, 45000);
    s.Name = text;
    s.Value2Default = text;
    QVERIFY(dbInsert(s));
    s.Value3Name = text;
    QVERIFY(dbUpdate(s));
    TVisIDLookup l;
    l.Creator = text;
    l.Eid = QStringLiteral("982000420103750");
    l.VisibleID = text;
    QVERIFY(dbInsert(l));
    l.VisibleID = text + text;
    QVERIFY(dbUpdate(l));
    const TScanSessionList sessions = QueryScanSessions();
    QCOMPARE(sessions.size(), size_t(1));
    QCOMPARE(sessions[0]->Uid, text);
    QCOMPARE(sessions[0]->Name, text);
    QCOMPARE(sessions[0]->Value2Default, text);
    QCOMPARE(sessions[0]->Value3Name, text);
    const TVisIDLookupList lookups = QueryLookups();
    QCOMPARE(lookups.size(), size_t(1));
    QCOMPARE(lookups[0]->Creator, text);
    QCOMPARE(lookups[0]->VisibleID, text + text);
    QVERIFY(TableExists(QStringLiteral("Scan")));
}

void TestQzSQL::emptyRecords()
{
    QVERIFY(dbOpenScans(m_db));
    QVERIFY(dbInsert(TScanSession()));
    QVERIFY(dbInsert(TScan()));
    QVERIFY(dbInsert(TVisIDLookup()));
    QCOMPARE(one(QStringLiteral("SELECT typeof(Name) || typeof(Count) || typeof(Date) || Count || "
                                "Date FROM ScanSession")),
        QStringLiteral("textintegerreal00.0"));
    QCOMPARE(one(QStringLiteral("SELECT count(*) FROM Scan WHERE Eid = '' AND Herdcode = '' AND "
                                "Uid = '' AND Latitude = 0 AND Sequence = 0 AND Id = 0")),
        QStringLiteral("1"));
    QCOMPARE(one(QStringLiteral("SELECT Name || VisibleID || TimeStamp FROM Lookup")),
        QStringLiteral("0.0"));
}

void TestQzSQL::insertTwiceTwoRows()
{
    QVERIFY(dbOpenScans(m_db));
    const TScanSession s = session(QStringLiteral("dup"), 45000);
    QVERIFY(dbInsert(s));
    QVERIFY(dbInsert(s));
    QCOMPARE(QueryScanSessions().size(), size_t(2));
}

void TestQzSQL::updateSession()
{
    QVERIFY(dbOpenScans(m_db));
    TScanSession s = session(QStringLiteral("u1"), 45000);
    QVERIFY(dbUpdate(s)); // not stored: true, nothing written
    QCOMPARE(rowCount(QStringLiteral("ScanSession")), 0);
    QVERIFY(dbInsert(s));
    QVERIFY(dbInsert(session(QStringLiteral("u2"), 45000)));
    s.DStatus = QStringLiteral("D");
    s.Count = 99;
    s.TimeStamp = 45001.25;
    QVERIFY(dbUpdate(s));
    const TScanSessionList list = QueryScanSessions();
    QCOMPARE(list[0]->Uid, QStringLiteral("u1"));
    QCOMPARE(list[0]->DStatus, QStringLiteral("D"));
    QCOMPARE(list[0]->Count, 99);
    QCOMPARE(list[1]->DStatus, QString());
    QCOMPARE(one(QStringLiteral("SELECT count(*) FROM ScanSession WHERE LastUpdate IS NULL")),
        QStringLiteral("2"));
}

void TestQzSQL::updateLookupOnlyItsAccount()
{
    QVERIFY(dbOpenScans(m_db));
    TVisIDLookup mine, theirs;
    mine.Creator = QStringLiteral("me@example.com");
    theirs.Creator = QStringLiteral("you@example.com");
    mine.Eid = theirs.Eid = QStringLiteral("982000420103750");
    mine.VisibleID = theirs.VisibleID = QStringLiteral("1");
    QVERIFY(dbInsert(mine));
    QVERIFY(dbInsert(mine));
    QVERIFY(dbInsert(theirs));
    mine.VisibleID = QStringLiteral("42");
    QVERIFY(dbUpdate(mine));
    const TVisIDLookupList list = QueryLookups();
    QCOMPARE(list.size(), size_t(3));
    QCOMPARE(list[0]->VisibleID, QStringLiteral("42"));
    QCOMPARE(list[1]->VisibleID, QStringLiteral("42"));
    QCOMPARE(list[2]->VisibleID, QStringLiteral("1"));
    QCOMPARE(list[2]->Creator, QStringLiteral("you@example.com"));
}

void TestQzSQL::readBackLeavesUnreadColumns()
{
    QVERIFY(dbOpenScans(m_db));
    TScan s = scan(QStringLiteral("s"), QStringLiteral("uid-1"), QStringLiteral("e"), 45000);
    s.TimeStamp = 45000.5;
    QVERIFY(dbInsert(s));
    TVisIDLookup l;
    l.Name = QStringLiteral("cow");
    l.MStatus = QStringLiteral("M");
    l.DStatus = QStringLiteral("D");
    QVERIFY(dbInsert(l));
    const TScanList scans = QueryScans(QString(), QString());
    QVERIFY(scans[0]->Uid.isEmpty());
    QVERIFY(scans[0]->MStatus.isEmpty());
    QVERIFY(scans[0]->DStatus.isEmpty());
    QCOMPARE(scans[0]->TimeStamp, 0.0);
    QCOMPARE(scans[0]->Herdcode, QStringLiteral("H7"));
    QCOMPARE(one(QStringLiteral("SELECT Uid || MStatus || DStatus FROM Scan")),
        QStringLiteral("uid-1MX"));
    const TVisIDLookupList lookups = QueryLookups();
    QVERIFY(lookups[0]->Name.isEmpty());
    QVERIFY(lookups[0]->MStatus.isEmpty());
    QVERIFY(lookups[0]->DStatus.isEmpty());
}

void TestQzSQL::transactionRollsBack()
{
    QVERIFY(dbOpenScans(m_db));
    {
        DbTransaction tx;
        QVERIFY(tx.active());
        QVERIFY(dbInsert(session(QStringLiteral("gone"), 45000)));
    }
    QCOMPARE(rowCount(QStringLiteral("ScanSession")), 0);
    {
        DbTransaction tx;
        QVERIFY(dbInsert(session(QStringLiteral("kept"), 45000)));
        QVERIFY(tx.commit());
    }
    dbClose();
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(rowCount(QStringLiteral("ScanSession")), 1);
}

void TestQzSQL::indexesPresent()
{
    QVERIFY(dbOpenScans(m_db));
    QCOMPARE(one(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index'")),
        QStringLiteral("4"));
    TSQLQuery q;
    QVERIFY(DoQuery(q, QStringLiteral("EXPLAIN QUERY PLAN SELECT * FROM Scan WHERE Eid=?1"),
        std::array<SqlParam, 1> {QStringLiteral("x")}));
    QVERIFY(StringValue(q, QStringLiteral("detail")).contains(QStringLiteral("Scan_Eid")));
}

QTEST_GUILESS_MAIN(TestQzSQL)
#include "tst_qzsql.moc"
