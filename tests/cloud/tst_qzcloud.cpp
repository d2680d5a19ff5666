#include "AzuriteFixture.h"
#include "FaultServer.h"
#include "TestHome.h"
#include "qzCloud.h"
#include "qzConfig.h"
#include "qzUtils.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QUuid>

using namespace std::chrono_literals;

namespace {
QString unique(const char *prefix)
{
    return QString::fromLatin1(prefix) + QUuid::createUuid().toString(QUuid::Id128).left(12);
}

TDateTime local(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::LocalTime));
}

TCloudTableRow rowOf(std::initializer_list<std::pair<const char *, const char *>> props)
{
    TCloudTableRow r;
    for (const auto &[name, value] : props)
        r.SetColumn(QString::fromUtf8(name), QString::fromUtf8(value));
    return r;
}

TScanSession sampleSession(const QString &email)
{
    TScanSession s;
    s.Creator = email;
    s.Uid = unique("sess-");
    s.Date = local(2024, 3, 15, 9, 30, 12, 250);
    s.Name = QStringLiteral("Weaners – \"north\" paddock");
    s.Count = 42;
    s.PromptOption = QStringLiteral("P2");
    s.Value1Name = QStringLiteral("Weight");
    s.Value1Format = QStringLiteral("N");
    s.Value1Default = QStringLiteral("0");
    s.Value2Name = QStringLiteral("Pen");
    s.Value2Format = QStringLiteral("T");
    s.Value2Default = QStringLiteral("A");
    s.Value3Name = QStringLiteral("Treatment");
    s.Value3Format = QStringLiteral("L");
    s.Value3Default = QString();
    s.MStatus = QStringLiteral("M");
    s.DStatus = QStringLiteral("D");
    return s;
}

TScan sampleScan(const QString &sessionUid, int i)
{
    TScan s;
    s.SessionUid = sessionUid;
    s.Uid = QString::asprintf("scan-%05d", i);
    s.Eid = QString::number(982000420103750LL + i % 100);
    s.VisibleID = QString::number(1000 + i);
    s.Date = local(2024, 3, 15, 10, 0, 0) + i / 86400.0;
    s.Latitude = -34.5;
    s.Longitude = 146.123456789012;
    s.Value1 = QStringLiteral("312.5");
    s.Value2 = QStringLiteral("A");
    s.Value3 = QString();
    s.PremiseId = QStringLiteral("NE123456");
    s.Creator = QStringLiteral("farmer@example.com");
    s.Sequence = i;
    s.MStatus = QStringLiteral("m");
    s.DStatus = QString();
    s.Herdcode = QStringLiteral("HX01");
    return s;
}

// Closes the cloud connection before a test's fault server goes, which would otherwise
// wait for the kept-alive connection to time out.
struct StopCloudFirst
{
    ~StopCloudFirst() { AzureStop(); }
};
} // namespace

class TestQzCloud : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void startSelectsAccount_data();
    void startSelectsAccount();
    void startWithoutCredentialsFails();
    void notStarted();

    void reQuoteAndFilter_data();
    void reQuoteAndFilter();
    void intReader_data();
    void intReader();
    void floatReader_data();
    void floatReader();
    void dateReader_data();
    void dateReader();
    void createFromSparseRows();
    void createSessionTimeStamp();
    void toTableRowLayouts();
    void doublesIgnoreLocale();
    void skippedHourNotStored();
    void writtenBody();

    void sessionRoundTrip();
    void scanAndLookupRoundTrip();
    void storeReplaces();
    void filterMatchesKeyExactly_data();
    void filterMatchesKeyExactly();
    void emptyKeyQueriesWholeTable();
    void largeSessionAllPages();
    void emptyPartitionIsNoFailure();
    void failedQueriesSayWhy_data();
    void failedQueriesSayWhy();
    void failureOnLaterPage_data();
    void failureOnLaterPage();
    void storeUnreachable();
    void entityExists();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<AzuriteFixture> m_azurite;
};

void TestQzCloud::initTestCase()
{
    m_home = std::make_unique<TestHome>();
    m_azurite = std::make_unique<AzuriteFixture>();
    QVERIFY2(m_azurite->ok(), qPrintable(m_azurite->error()));
    m_azurite->exportEnv();
    AzureStart('S');
    QString error;
    QVERIFY2(AzureCreateTables(&error), qPrintable(error));
}

void TestQzCloud::init()
{
    setTimeZone("Australia/Sydney");
    m_azurite->exportEnv();
    AzureStop();
    AzureStart('S');
}

void TestQzCloud::cleanupTestCase()
{
    AzureStop();
}

void TestQzCloud::startSelectsAccount_data()
{
    QTest::addColumn<char>("which");
    QTest::addColumn<bool>("overrides");
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("key");
    QTest::newRow("S compiled") << 'S' << false << KESTRUN_ACCOUNT_NAME_SCAN
                                << KESTRUN_ACCOUNT_KEY_SCAN;
    QTest::newRow("B compiled") << 'B' << false << KESTRUN_ACCOUNT_NAME_PELLAM
                                << KESTRUN_ACCOUNT_KEY_PELLAM;
    QTest::newRow("S overridden") << 'S' << true << "override"
                                  << "b3ZlcnJpZGU=";
    QTest::newRow("B overridden") << 'B' << true << "override"
                                  << "b3ZlcnJpZGU=";
    QTest::newRow("other") << 'X' << false << ""
                           << "";
    QTest::newRow("other ignores overrides") << 's' << true << ""
                                             << "";
}

void TestQzCloud::startSelectsAccount()
{
    QFETCH(char, which);
    QFETCH(bool, overrides);
    QFETCH(QString, account);
    QFETCH(QString, key);
    qunsetenv("KESTRUN_TABLE_ENDPOINT");
    qunsetenv("KESTRUN_TABLE_ACCOUNT");
    qunsetenv("KESTRUN_TABLE_KEY");
    if (overrides) {
        qputenv("KESTRUN_TABLE_ENDPOINT", "https://override.table.core.windows.net/");
        qputenv("KESTRUN_TABLE_ACCOUNT", "override");
        qputenv("KESTRUN_TABLE_KEY", "b3ZlcnJpZGU=");
    }
    AzureStop();
    AzureStart(which);
    QVERIFY(azConn && TableService);
    QCOMPARE(azConn->Protocol, QStringLiteral("https"));
    QCOMPARE(azConn->AccountName, account);
    QCOMPARE(azConn->AccountKey, key);
    QCOMPARE(azConn->Endpoint,
        overrides ? QStringLiteral("https://override.table.core.windows.net/")
                  : QStringLiteral(KESTRUN_TABLE_ENDPOINT));
    AzureStop();
    QVERIFY(!azConn && !TableService);
    AzureStop(); // harmless without a connection
}

void TestQzCloud::startWithoutCredentialsFails()
{
    FaultServer server;
    StopCloudFirst stop;
    server.setHandler(FaultServer::status(200, R"({"value":[]})"));
    qputenv("KESTRUN_TABLE_ENDPOINT", server.url());
    AzureStop();
    AzureStart('?');
    QString error;
    QVERIFY(AzureQueryScanSessions(QStringLiteral("a@b.com"), &error).empty());
    QVERIFY(!error.isEmpty());
    QVERIFY(!AzureStore(sampleSession(QStringLiteral("a@b.com")), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(server.requests().empty());
}

void TestQzCloud::notStarted()
{
    AzureStop();
    QString error;
    QVERIFY(AzureQueryLookups(QStringLiteral("a@b.com"), &error).empty());
    QVERIFY(error.contains(QLatin1String("not started")));
    QVERIFY(!AzureStore(TVisIDLookup(), &error));
    QVERIFY(!EntityExists(CloudTables::Lookups, QStringLiteral("a"), QStringLiteral("b"), &error));
    QVERIFY(!QueryEntities(CloudTables::Lookups, {}, &error));
}

void TestQzCloud::reQuoteAndFilter_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("filter");
    QTest::newRow("plain") << "farmer@example.com"
                           << "PartitionKey eq 'farmer@example.com' ";
    QTest::newRow("single quote doubled") << "o'neil@x.com"
                                          << "PartitionKey eq 'o''neil@x.com' ";
    QTest::newRow("double quote kept") << "a\"b@x.com"
                                       << "PartitionKey eq 'a\"b@x.com' ";
    QTest::newRow("injection stays inside") << "x' or PartitionKey ne 'x"
                                            << "PartitionKey eq 'x'' or PartitionKey ne ''x' ";
    QTest::newRow("empty: whole table") << ""
                                        << "";
}

void TestQzCloud::reQuoteAndFilter()
{
    QFETCH(QString, key);
    QFETCH(QString, filter);
    QCOMPARE(PartitionFilter(key), filter);
    QCOMPARE(ReQuote(QStringLiteral("a'b\"c''")), QStringLiteral("a''b\"c''''"));
}

void TestQzCloud::intReader_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("expected");
    QTest::newRow("number") << "42" << true << 42;
    QTest::newRow("negative") << "-7" << true << -7;
    QTest::newRow("missing") << "" << false << 0;
    QTest::newRow("empty") << "" << true << 0;
    QTest::newRow("letters") << "12ab" << true << 0;
    QTest::newRow("fraction") << "2.5" << true << 0;
    QTest::newRow("too big") << "99999999999" << true << 0;
}

void TestQzCloud::intReader()
{
    QFETCH(QString, text);
    QFETCH(bool, present);
    QFETCH(int, expected);
    TCloudTableRow r;
    if (present)
        r.SetColumn(QStringLiteral("Count"), text, QStringLiteral("Edm.Int32"));
    QCOMPARE(GetColIntValue(r, QStringLiteral("count")), expected);
}

void TestQzCloud::floatReader_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("present");
    QTest::addColumn<double>("expected");
    QTest::newRow("negative") << "-34.5" << true << -34.5;
    QTest::newRow("whole") << "2" << true << 2.0;
    QTest::newRow("exponent") << "1.5e2" << true << 150.0;
    QTest::newRow("comma is no separator") << "-34,5" << true << 0.0;
    QTest::newRow("letters") << "north" << true << 0.0;
    QTest::newRow("not a number") << "NaN" << true << 0.0;
    QTest::newRow("missing") << "" << false << 0.0;
}

void TestQzCloud::floatReader()
{
    QFETCH(QString, text);
    QFETCH(bool, present);
    QFETCH(double, expected);
    QLocale::setDefault(QLocale(QLocale::German));
    TCloudTableRow r;
    if (present)
        r.SetColumn(QStringLiteral("Latitude"), text, QStringLiteral("Edm.Double"));
    QCOMPARE(GetColFloatValue(r, QStringLiteral("LATITUDE")), expected);
    QLocale::setDefault(QLocale::c());
}

void TestQzCloud::dateReader_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isUTC");
    QTest::addColumn<QDateTime>("expected"); // invalid: NullDate
    const QDateTime none;
    // Sydney is UTC+10 in July, UTC+11 in January.
    QTest::newRow("utc") << "2019-07-01T02:00:00Z" << true
                         << QDateTime(QDate(2019, 7, 1), QTime(2, 0), Qt::UTC);
    QTest::newRow("to local") << "2019-07-01T02:00:00Z" << false
                              << QDateTime(QDate(2019, 7, 1), QTime(12, 0), Qt::LocalTime);
    QTest::newRow("to local summer") << "2019-01-01T02:00:00Z" << false
                                     << QDateTime(QDate(2019, 1, 1), QTime(13, 0), Qt::LocalTime);
    QTest::newRow("service fraction")
        << "2024-05-01T10:20:30.9999999Z" << true
        << QDateTime(QDate(2024, 5, 1), QTime(10, 20, 30, 999), Qt::UTC);
    QTest::newRow("offset") << "2019-07-01T04:00:00+02:00" << true
                            << QDateTime(QDate(2019, 7, 1), QTime(2, 0), Qt::UTC);
    QTest::newRow("no zone is utc")
        << "2019-07-01T02:00:00" << true << QDateTime(QDate(2019, 7, 1), QTime(2, 0), Qt::UTC);
    QTest::newRow("16 characters")
        << "2019-07-01T02:00" << true << QDateTime(QDate(2019, 7, 1), QTime(2, 0), Qt::UTC);
    QTest::newRow("15 characters") << "2019-07-01T02:0" << true << none;
    QTest::newRow("date only") << "2019-07-01" << true << none;
    QTest::newRow("garbage") << "not a date at all, really" << true << none;
    QTest::newRow("impossible") << "2019-02-30T02:00:00Z" << true << none;
    QTest::newRow("missing") << QString() << true << none;
}

void TestQzCloud::dateReader()
{
    QFETCH(QString, text);
    QFETCH(bool, isUTC);
    QFETCH(QDateTime, expected);
    TCloudTableRow r;
    if (!text.isNull())
        r.SetColumn(QStringLiteral("Date"), text, QStringLiteral("Edm.DateTime"));
    const TDateTime got = GetColDateTime(r, QStringLiteral("date"), isUTC);
    if (!expected.isValid())
        QCOMPARE(got, NullDate);
    else
        QCOMPARE(toQDateTime(got, expected.timeSpec()), expected);
}

void TestQzCloud::createFromSparseRows()
{
    const TScanSession s = CreateScanSession(rowOf({{"PartitionKey", "a@b.com"}, {"RowKey", "u1"},
        {"Count", "lots"}, {"Date", "2019-07-01"}, {"Name", "Heifers"}}));
    QCOMPARE(s.Id, 0);
    QCOMPARE(s.Creator, QStringLiteral("a@b.com"));
    QCOMPARE(s.Uid, QStringLiteral("u1"));
    QCOMPARE(s.Name, QStringLiteral("Heifers"));
    QCOMPARE(s.Count, 0);
    QCOMPARE(s.Date, NullDate);
    QCOMPARE(s.TimeStamp, NullDate);
    QVERIFY(s.Value1Name.isEmpty() && s.DStatus.isEmpty());

    const TScan sc = CreateScan(rowOf({{"PartitionKey", "u1"}, {"RowKey", "s1"}, {"Uid", "other"},
        {"Longitude", "x"}, {"Sequence", "3"}, {"VisibleID", "V9"}}));
    QCOMPARE(sc.SessionUid, QStringLiteral("u1"));
    QCOMPARE(sc.Uid, QStringLiteral("s1")); // from RowKey, not from "Uid"
    QCOMPARE(sc.Latitude, 0.0);
    QCOMPARE(sc.Longitude, 0.0);
    QCOMPARE(sc.Sequence, 3);
    QCOMPARE(sc.VisibleID, QStringLiteral("V9"));
    QCOMPARE(sc.Date, NullDate);

    const TVisIDLookup l = CreateVisIDLookup(TCloudTableRow());
    QCOMPARE(l.Creator, QString());
    QCOMPARE(l.Date, NullDate);
    QCOMPARE(l.TimeStamp, NullDate);
}

void TestQzCloud::createSessionTimeStamp()
{
    const TScanSession s = CreateScanSession(rowOf({{"PartitionKey", "a@b.com"}, {"RowKey", "u"},
        {"Timestamp", "2024-05-01T10:20:30.1234567Z"}, {"Date", "2024-05-01T00:30:00.500Z"}}));
    QCOMPARE(toQDateTime(s.TimeStamp, Qt::UTC),
        QDateTime(QDate(2024, 5, 1), QTime(10, 20, 30), Qt::UTC));
    // Date in local time (Sydney, UTC+10), milliseconds kept.
    QCOMPARE(toQDateTime(s.Date), QDateTime(QDate(2024, 5, 1), QTime(10, 30, 0, 500)));
}

void TestQzCloud::toTableRowLayouts()
{
    const TScanSession s = sampleSession(QStringLiteral("a@b.com"));
    const QStringList sessionNames = {"PartitionKey", "RowKey", "Date", "Name", "Creator", "Count",
        "PromptOption", "Value1Name", "Value1Format", "Value1Default", "Value2Name", "Value2Format",
        "Value2Default", "Value3Name", "Value3Format", "Value3Default", "MStatus", "DStatus"};
    const TCloudTableRow sr = ToTableRow(s);
    QStringList names;
    for (const TCloudColumn &c : sr.Columns())
        names << c.Name;
    QCOMPARE(names, sessionNames);
    QCOMPARE(sr.GetColumn("Date")->DataType, QStringLiteral("Edm.DateTime"));
    // 09:30:12.250 in Sydney (UTC+11 in March) is 22:30:12 UTC the day before.
    QCOMPARE(sr.GetColumn("Date")->Value, QStringLiteral("2024-03-14T22:30:12Z"));
    QCOMPARE(sr.GetColumn("Count")->DataType, QStringLiteral("Edm.Int32"));
    QCOMPARE(sr.GetColumn("Count")->Value, QStringLiteral("42"));
    QCOMPARE(sr.GetColumn("Creator")->Value, QStringLiteral("a@b.com"));
    QVERIFY(sr.GetColumn("Name")->DataType.isEmpty());

    const TCloudTableRow cr = ToTableRow(sampleScan(QStringLiteral("sess"), 7));
    names.clear();
    for (const TCloudColumn &c : cr.Columns())
        names << c.Name;
    QCOMPARE(names,
        QStringList({"PartitionKey", "RowKey", "Date", "Uid", "Eid", "Creator", "Latitude",
            "Longitude", "PremiseId", "Value1", "Value2", "Value3", "VisibleID", "Sequence",
            "MStatus", "DStatus", "Herdcode"}));
    QCOMPARE(cr.GetColumn("PartitionKey")->Value, QStringLiteral("sess"));
    QCOMPARE(cr.GetColumn("Uid")->Value, QStringLiteral("scan-00007"));
    QCOMPARE(cr.GetColumn("Latitude")->DataType, QStringLiteral("Edm.Double"));
    QCOMPARE(cr.GetColumn("Longitude")->Value, QStringLiteral("146.123456789012"));
    QCOMPARE(cr.GetColumn("Sequence")->DataType, QStringLiteral("Edm.Int32"));

    TVisIDLookup l;
    l.Creator = QStringLiteral("a@b.com");
    l.Eid = QStringLiteral("982000420103750");
    l.Date = local(2024, 7, 1, 12, 0, 0);
    const TCloudTableRow lr = ToTableRow(l);
    names.clear();
    for (const TCloudColumn &c : lr.Columns())
        names << c.Name;
    QCOMPARE(names,
        QStringList({"PartitionKey", "RowKey", "Date", "Name", "VisibleID", "MStatus", "DStatus"}));
    QCOMPARE(lr.GetColumn("RowKey")->Value, QStringLiteral("982000420103750"));
    QCOMPARE(lr.GetColumn("Date")->Value, QStringLiteral("2024-07-01T02:00:00Z"));
}

void TestQzCloud::doublesIgnoreLocale()
{
    QLocale::setDefault(QLocale(QLocale::German));
    TScan s = sampleScan(QStringLiteral("x"), 1);
    s.Latitude = -34.5;
    s.Longitude = 0.1 + 0.2; // 15 significant digits, as the local store keeps them
    const TCloudTableRow r = ToTableRow(s);
    QCOMPARE(r.GetColumn("Latitude")->Value, QStringLiteral("-34.5"));
    QCOMPARE(r.GetColumn("Longitude")->Value, QStringLiteral("0.3"));
    QCOMPARE(GetColFloatValue(r, QStringLiteral("Latitude")), -34.5);
    QLocale::setDefault(QLocale::c());
}

void TestQzCloud::skippedHourNotStored()
{
    // 2 a.m. on 6 October 2024 does not exist in Sydney.
    TScanSession s = sampleSession(QStringLiteral("gap@x.com"));
    s.Date = local(2024, 10, 6, 2, 30, 0);
    QVERIFY_THROWS_EXCEPTION(EConvertError, ToTableRow(s));
    QString error;
    QVERIFY(!AzureStore(s, &error));
    QVERIFY(error.contains(QLatin1String("date")));
}

void TestQzCloud::writtenBody()
{
    FaultServer server;
    StopCloudFirst stop;
    server.setHandler(FaultServer::status(204));
    qputenv("KESTRUN_TABLE_ENDPOINT", server.url() + "/devstoreaccount1");
    AzureStop();
    AzureStart('S');
    TScan s = sampleScan(QStringLiteral("o'ne il"), 3);
    s.Latitude = 2.0;
    QString error;
    QVERIFY2(AzureStore(s, &error), qPrintable(error));
    const auto reqs = server.requests();
    QCOMPARE(int(reqs.size()), 1); // one request, no look-up first
    QCOMPARE(reqs[0].method, std::string("PUT"));
    QCOMPARE(reqs[0].path,
        std::string("/devstoreaccount1/scans(PartitionKey='o''ne il',RowKey='scan-00003')"));
    QVERIFY(!reqs[0].has_header("If-Match")); // insert or replace
    const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(reqs[0].body)).object();
    QCOMPARE(o.value("Latitude@odata.type").toString(), QStringLiteral("Edm.Double"));
    QCOMPARE(o.value("Latitude").toDouble(), 2.0);
    QCOMPARE(o.value("Date@odata.type").toString(), QStringLiteral("Edm.DateTime"));
    QVERIFY(o.value("Date").toString().endsWith(QLatin1Char('Z')));
    QCOMPARE(o.value("Sequence").toInt(), 3);

    // Only 204 confirms the write; a 200 page is no confirmation.
    server.setHandler(FaultServer::status(200, "<html>ok</html>", "text/html"));
    QVERIFY(!AzureStore(s, &error));
    QVERIFY(error.contains(QLatin1String("200")));
}

void TestQzCloud::sessionRoundTrip()
{
    const QString email = unique("rt") + QStringLiteral("@example.com");
    const TScanSession s = sampleSession(email);
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
    QString error;
    QVERIFY2(AzureStore(s, &error), qPrintable(error));
    QVERIFY(error.isEmpty());
    TScanSessionList list = AzureQueryScanSessions(email, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(int(list.size()), 1);
    const TScanSession &g = *list.front();
    QCOMPARE(g.Id, 0);
    QCOMPARE(g.Creator, email);
    QCOMPARE(g.Uid, s.Uid);
    QCOMPARE(g.Name, s.Name);
    QCOMPARE(g.Count, 42);
    QCOMPARE(g.PromptOption, s.PromptOption);
    QCOMPARE(g.Value1Name, s.Value1Name);
    QCOMPARE(g.Value2Default, s.Value2Default);
    QCOMPARE(g.Value3Format, s.Value3Format);
    QCOMPARE(g.Value3Default, QString());
    QCOMPARE(g.MStatus, s.MStatus);
    QCOMPARE(g.DStatus, QStringLiteral("D"));
    // Written to the second, read back in local time.
    QCOMPARE(toQDateTime(g.Date), QDateTime(QDate(2024, 3, 15), QTime(9, 30, 12)));
    // The service's time of change, UTC, whole seconds.
    const QDateTime ts = toQDateTime(g.TimeStamp, Qt::UTC);
    QCOMPARE(ts.time().msec(), 0);
    QVERIFY(ts >= before.addMSecs(-before.time().msec()));
    QVERIFY(ts <= QDateTime::currentDateTimeUtc().addSecs(2));
    FreeScanSessionList(list);
    QVERIFY(list.empty());
}

void TestQzCloud::scanAndLookupRoundTrip()
{
    const QString session = unique("sess-");
    TScan s = sampleScan(session, 11);
    s.Value3 = QString::fromUtf8("Ñ \"quoted\" & 'single'");
    QString error;
    QVERIFY2(AzureStore(s, &error), qPrintable(error));
    TScanList scans = AzureQueryScans(session, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(int(scans.size()), 1);
    const TScan &g = *scans.front();
    QCOMPARE(g.SessionUid, session);
    QCOMPARE(g.Uid, s.Uid);
    QCOMPARE(g.Eid, s.Eid);
    QCOMPARE(g.Creator, s.Creator);
    QCOMPARE(g.Latitude, -34.5);
    QCOMPARE(g.Longitude, 146.123456789012);
    QCOMPARE(g.Value1, s.Value1);
    QCOMPARE(g.Value3, s.Value3);
    QCOMPARE(g.PremiseId, s.PremiseId);
    QCOMPARE(g.VisibleID, s.VisibleID);
    QCOMPARE(g.Sequence, 11);
    QCOMPARE(g.MStatus, s.MStatus);
    QCOMPARE(g.Herdcode, s.Herdcode);
    QCOMPARE(g.Date, s.Date);
    QVERIFY(g.TimeStamp > NullDate);

    const QString email = unique("lk") + QStringLiteral("@example.com");
    TVisIDLookup l;
    l.Creator = email;
    l.Eid = QStringLiteral("982000420103799");
    l.Name = QStringLiteral("Bessie");
    l.VisibleID = QStringLiteral("Y123");
    l.Date = local(2023, 12, 24, 18, 5, 9);
    l.MStatus = QStringLiteral("1");
    QVERIFY2(AzureStore(l, &error), qPrintable(error));
    // The same Eid under another account is another lookup.
    TVisIDLookup other = l;
    other.Creator = unique("lk2") + QStringLiteral("@example.com");
    other.VisibleID = QStringLiteral("Z9");
    QVERIFY(AzureStore(other, &error));
    TVisIDLookupList lookups = AzureQueryLookups(email, &error);
    QCOMPARE(int(lookups.size()), 1);
    QCOMPARE(lookups.front()->Eid, l.Eid);
    QCOMPARE(lookups.front()->VisibleID, QStringLiteral("Y123"));
    QCOMPARE(lookups.front()->Name, QStringLiteral("Bessie"));
    QCOMPARE(lookups.front()->MStatus, QStringLiteral("1"));
    QCOMPARE(lookups.front()->Date, l.Date);
}

void TestQzCloud::storeReplaces()
{
    const QString email = unique("rp") + QStringLiteral("@example.com");
    TScanSession s = sampleSession(email);
    QString error;
    QVERIFY(!EntityExists(CloudTables::Sessions, email, s.Uid, &error));
    QVERIFY(error.isEmpty());
    QVERIFY2(AzureStore(s, &error), qPrintable(error)); // insert
    s.DStatus = QStringLiteral("D");
    s.Name = QStringLiteral("Renamed");
    s.Value1Name.clear();
    QVERIFY2(AzureStore(s, &error), qPrintable(error)); // replace
    const TScanSessionList list = AzureQueryScanSessions(email, &error);
    QCOMPARE(int(list.size()), 1);
    QCOMPARE(list.front()->Name, QStringLiteral("Renamed"));
    QCOMPARE(list.front()->Value1Name, QString());
    QCOMPARE(list.front()->DStatus, QStringLiteral("D"));
}

void TestQzCloud::filterMatchesKeyExactly_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::newRow("single quote") << "o'neil@x.com";
    QTest::newRow("double quote") << "a\"b@x.com";
    QTest::newRow("ampersand and plus") << "a+b&c@x.com";
}

void TestQzCloud::filterMatchesKeyExactly()
{
    QFETCH(QString, suffix);
    const QString base = unique("q");
    const QString key = base + suffix;
    QString error;
    // Neighbours that a loose quoting would match too.
    QString lookalike = key;
    lookalike.replace(QLatin1Char('"'), QLatin1Char('\''));
    const QSet<QString> keys = {key, lookalike, base + QStringLiteral("x")};
    for (const QString &k : keys) {
        TScanSession s = sampleSession(k);
        s.Name = k;
        QVERIFY2(AzureStore(s, &error), qPrintable(error));
    }
    const TScanSessionList list = AzureQueryScanSessions(key, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(int(list.size()), 1);
    QCOMPARE(list.front()->Creator, key);

    // A crafted key cannot widen the filter to other partitions.
    const TScanSessionList crafted
        = AzureQueryScanSessions(base + QStringLiteral("x' or PartitionKey ne 'z"), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(crafted.empty());
}

void TestQzCloud::emptyKeyQueriesWholeTable()
{
    const QString a = unique("wa") + QStringLiteral("@x.com");
    const QString b = unique("wb") + QStringLiteral("@x.com");
    TVisIDLookup l;
    l.Eid = QStringLiteral("982000420103751");
    l.Date = local(2024, 1, 1, 0, 0, 0);
    QString error;
    l.Creator = a;
    QVERIFY(AzureStore(l, &error));
    l.Creator = b;
    QVERIFY(AzureStore(l, &error));
    const TVisIDLookupList all = AzureQueryLookups(QString(), &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QSet<QString> creators;
    for (const auto &x : all)
        creators.insert(x->Creator);
    QVERIFY(creators.contains(a) && creators.contains(b));
}

void TestQzCloud::largeSessionAllPages()
{
    // More scans than one answer holds: every one of them comes back.
    const QString session = unique("big-");
    TAzureTableService writer(*azConn);
    QString error;
    constexpr int n = 1234;
    for (int i = 0; i < n; ++i)
        QVERIFY2(writer.InsertOrReplaceEntity(
                     CloudTables::Scans, ToTableRow(sampleScan(session, i)), &error),
            qPrintable(error));
    const TScanList scans = AzureQueryScans(session, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(int(scans.size()), n);
    QCOMPARE(scans.back()->Sequence, n - 1);
}

void TestQzCloud::emptyPartitionIsNoFailure()
{
    QString error = QStringLiteral("stale");
    QVERIFY(AzureQueryScans(unique("none-"), &error).empty());
    QVERIFY(error.isEmpty());
}

void TestQzCloud::failedQueriesSayWhy_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("reason");
    QTest::newRow("html") << 200 << QByteArray("<html><body>Sign in to Wi-Fi</body></html>")
                          << "could not be read";
    QTest::newRow("truncated json")
        << 200 << QByteArray(R"({"value":[{"PartitionKey":"a@b.com","RowKey":"1","Na)")
        << "could not be read";
    QTest::newRow("other shape") << 200 << QByteArray(R"({"sessions":[]})") << "could not be read";
    QTest::newRow("403") << 403
                         << QByteArray(R"({"odata.error":{"code":"AuthenticationFailed",)"
                                       R"("message":{"value":"Signature did not match."}}})")
                         << "refused the storage account's credentials";
    QTest::newRow("503") << 503 << QByteArray("Service Unavailable") << "status 503";
    QTest::newRow("400") << 400
                         << QByteArray(R"({"odata.error":{"code":"InvalidInput","message":)"
                                       R"({"value":"One of the request inputs is not valid."}}})")
                         << "One of the request inputs is not valid.";
}

void TestQzCloud::failedQueriesSayWhy()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, reason);
    FaultServer server;
    StopCloudFirst stop;
    server.setHandler(FaultServer::status(status, body.toStdString()));
    qputenv("KESTRUN_TABLE_ENDPOINT", server.url() + "/devstoreaccount1");
    AzureStop();
    AzureStart('S');
    TableService->http().setRetryPolicy({2, 5ms, 2.0});
    QString error;
    QVERIFY(AzureQueryScanSessions(QStringLiteral("a@b.com"), &error).empty());
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY(AzureQueryScans(QStringLiteral("s"), &error).empty());
    QVERIFY(!error.isEmpty());
    QVERIFY(AzureQueryLookups(QStringLiteral("a@b.com"), &error).empty());
    QVERIFY(!error.isEmpty());
    // Same reason for every failure kind, and the query was asked for correctly.
    QCOMPARE(server.requests().front().get_param_value("$filter"),
        std::string("PartitionKey eq 'a@b.com' "));
}

void TestQzCloud::failureOnLaterPage_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("garbage") << 200 << QByteArray("<html>proxy</html>");
    QTest::newRow("403") << 403 << QByteArray();
}

void TestQzCloud::failureOnLaterPage()
{
    // The first page arrives, the second does not: no partial list is handed on.
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    FaultServer server;
    StopCloudFirst stop;
    server.setHandler([&](const httplib::Request &req, httplib::Response &res) {
        if (!req.has_param("NextPartitionKey")) {
            res.status = 200;
            res.set_header("x-ms-continuation-NextPartitionKey", "1!4!cA--");
            res.set_header("x-ms-continuation-NextRowKey", "1!4!cg--");
            res.set_content(R"({"value":[{"PartitionKey":"s","RowKey":"1"}]})", "application/json");
        } else {
            res.status = status;
            res.set_content(body.toStdString(), "text/html");
        }
    });
    qputenv("KESTRUN_TABLE_ENDPOINT", server.url());
    AzureStop();
    AzureStart('S');
    QString error;
    QVERIFY(AzureQueryScans(QStringLiteral("s"), &error).empty());
    QVERIFY(!error.isEmpty());
    QCOMPARE(int(server.requests().size()), 2);
}

void TestQzCloud::storeUnreachable()
{
    int port;
    {
        FaultServer gone;
        port = gone.port();
    }
    qputenv("KESTRUN_TABLE_ENDPOINT", QByteArray("http://127.0.0.1:") + QByteArray::number(port));
    AzureStop();
    AzureStart('S');
    TableService->http().setRetryPolicy({1, 1ms, 1.0});
    const TScanSession s = sampleSession(QStringLiteral("off@x.com"));
    const TScanSession copy = s;
    QString error;
    QVERIFY(!AzureStore(s, &error));
    QVERIFY(error.startsWith(QLatin1String("No connection")));
    QCOMPARE(s.Name, copy.Name);
    QVERIFY(AzureQueryScanSessions(QStringLiteral("off@x.com"), &error).empty());
    QVERIFY(error.startsWith(QLatin1String("No connection")));
}

void TestQzCloud::entityExists()
{
    const QString email = unique("ex") + QStringLiteral("@x.com");
    TVisIDLookup l;
    l.Creator = email;
    l.Eid = QStringLiteral("982000420103752");
    l.Date = local(2024, 1, 1, 0, 0, 0);
    QString error;
    QVERIFY(!EntityExists(CloudTables::Lookups, email, l.Eid, &error));
    QVERIFY(error.isEmpty());
    QVERIFY(AzureStore(l, &error));
    QVERIFY(EntityExists(CloudTables::Lookups, email, l.Eid, &error));
    QVERIFY(!EntityExists(QStringLiteral("nosuchtable"), email, l.Eid, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestQzCloud)
#include "tst_qzcloud.moc"
