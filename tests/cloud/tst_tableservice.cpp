#include "AzuriteFixture.h"
#include "FaultServer.h"
#include "TableService.h"

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

TAzureConnectionInfo devAccount(const QString &endpoint)
{
    TAzureConnectionInfo c;
    c.AccountName = QString::fromLatin1(AzuriteFixture::Account);
    c.AccountKey = QString::fromLatin1(AzuriteFixture::Key);
    c.Endpoint = endpoint;
    return c;
}

TCloudTableRow entity(const QString &pk, const QString &rk, const QString &name = {})
{
    TCloudTableRow r;
    r.SetColumn(QStringLiteral("PartitionKey"), pk);
    r.SetColumn(QStringLiteral("RowKey"), rk);
    r.SetColumn(QStringLiteral("Name"), name);
    return r;
}

QByteArray headerValue(const QList<QByteArray> &headers, const QByteArray &name)
{
    for (const QByteArray &h : headers)
        if (h.startsWith(name + ": "))
            return h.mid(name.size() + 2);
    return {};
}
} // namespace

class TestTableService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // Signing and encoding, against the protocol's documented forms.
    void stringToSign();
    void signatureOfKnownRequest_data();
    void signatureOfKnownRequest();
    void httpDateIsEnglish();
    void quotingAndEncoding_data();
    void quotingAndEncoding();
    void endpoints_data();
    void endpoints();

    // Answers.
    void parseAnswer_data();
    void parseAnswer();
    void entityBodyTypes();
    void failureReasons_data();
    void failureReasons();

    // Against the local table service.
    void createTableTwice();
    void entityLifecycle();
    void oddKeysRoundTrip_data();
    void oddKeysRoundTrip();
    void pagingFollowsContinuations();
    void wrongKeyRefused();
    void missingTableIsFailure();
    void connectionKeptAlive();

    // Against the fault server.
    void pagingWithEmptyPage();
    void repeatedContinuationStops();
    void transientRetried();
    void timeoutBounded();
    void noAccountNoTraffic();

private:
    std::unique_ptr<AzuriteFixture> m_azurite;
    QString m_table;
};

void TestTableService::initTestCase()
{
    m_azurite = std::make_unique<AzuriteFixture>();
    QVERIFY2(m_azurite->ok(), qPrintable(m_azurite->error()));
    m_table = unique("t");
    TAzureTableService svc(devAccount(m_azurite->endpoint()));
    QString error;
    QVERIFY2(svc.CreateTable(m_table, &error), qPrintable(error));
}

void TestTableService::stringToSign()
{
    // The documented layout: VERB, Content-MD5, Content-Type, Date, CanonicalizedResource.
    QCOMPARE(TableProtocol::stringToSign(
                 "GET", {}, {}, "Sun, 11 Oct 2009 19:52:39 GMT", "/myaccount/mytable()"),
        QByteArray("GET\n\n\nSun, 11 Oct 2009 19:52:39 GMT\n/myaccount/mytable()"));
    // Only comp= of the query takes part.
    QCOMPARE(TableProtocol::canonicalizedResource(
                 QStringLiteral("myaccount"), "/mytable", "$filter=x&comp=acl&b=1"),
        QByteArray("/myaccount/mytable?comp=acl"));
    QCOMPARE(TableProtocol::canonicalizedResource(
                 QStringLiteral("myaccount"), "/mytable()", "$filter=PartitionKey%20eq%20%27a%27"),
        QByteArray("/myaccount/mytable()"));
}

void TestTableService::signatureOfKnownRequest_data()
{
    // Expected values computed independently: openssl dgst -sha256 -mac HMAC over the same
    // text with the development account's key.
    QTest::addColumn<QByteArray>("verb");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("date");
    QTest::addColumn<QByteArray>("resource");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("query") << QByteArray("GET") << QByteArray()
                           << QByteArray("Sun, 11 Oct 2009 19:52:39 GMT")
                           << QByteArray("/myaccount/mytable()")
                           << QByteArray("s7xq7rLLP15XaLbVcy/RyVVwW7gOAVI0QFF264ebIbw=");
}

void TestTableService::signatureOfKnownRequest()
{
    QFETCH(QByteArray, verb);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, date);
    QFETCH(QByteArray, resource);
    QFETCH(QByteArray, expected);
    const QByteArray key = QByteArray::fromBase64(AzuriteFixture::Key);
    QCOMPARE(TableProtocol::signature(
                 key, TableProtocol::stringToSign(verb, {}, contentType, date, resource)),
        expected);

    // A whole request on the path-style endpoint: the account appears twice in the
    // resource, the key's quote doubled and encoded exactly as sent.
    TAzureTableService svc(devAccount(QStringLiteral("http://127.0.0.1:1/devstoreaccount1/")));
    const auto req = svc.prepare("PUT",
        "scans" + TableProtocol::entityKeyPath(QStringLiteral("s1"), QStringLiteral("r'x")), {},
        "application/json", QDateTime(QDate(2026, 7, 1), QTime(2, 0), Qt::UTC));
    QCOMPARE(req.url,
        QByteArray(
            "http://127.0.0.1:1/devstoreaccount1/scans(PartitionKey='s1',RowKey='r%27%27x')"));
    QCOMPARE(headerValue(req.headers, "x-ms-date"), QByteArray("Wed, 01 Jul 2026 02:00:00 GMT"));
    QCOMPARE(headerValue(req.headers, "Content-Type"), QByteArray("application/json"));
    QCOMPARE(
        headerValue(req.headers, "Accept"), QByteArray("application/json;odata=minimalmetadata"));
    QCOMPARE(headerValue(req.headers, "DataServiceVersion"), QByteArray("3.0"));
    QCOMPARE(headerValue(req.headers, "MaxDataServiceVersion"), QByteArray("3.0;NetFx"));
    QVERIFY(!headerValue(req.headers, "x-ms-version").isEmpty());
    QCOMPARE(headerValue(req.headers, "Authorization"),
        QByteArray("SharedKey devstoreaccount1:6E/ndsS61U+9FnC5584CZsfGLPH6OfcmykTOOThHNbQ="));
}

void TestTableService::httpDateIsEnglish()
{
    QLocale::setDefault(QLocale(QLocale::German));
    QCOMPARE(TableProtocol::httpDate(QDateTime(QDate(2009, 10, 11), QTime(19, 52, 39), Qt::UTC)),
        QByteArray("Sun, 11 Oct 2009 19:52:39 GMT"));
    QCOMPARE(TableProtocol::httpDate(QDateTime(QDate(2024, 2, 29), QTime(0, 0, 5), Qt::UTC)),
        QByteArray("Thu, 29 Feb 2024 00:00:05 GMT"));
    QLocale::setDefault(QLocale::c());
}

void TestTableService::quotingAndEncoding_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("literal");
    QTest::addColumn<QByteArray>("keyPath");
    QTest::newRow("plain") << "a@b.com"
                           << "a@b.com" << QByteArray("(PartitionKey='a%40b.com',RowKey='r')");
    QTest::newRow("single quote") << "o'neil"
                                  << "o''neil"
                                  << QByteArray("(PartitionKey='o%27%27neil',RowKey='r')");
    QTest::newRow("double quote") << "a\"b"
                                  << "a\"b" << QByteArray("(PartitionKey='a%22b',RowKey='r')");
    QTest::newRow("space plus amp")
        << "a b+c&d"
        << "a b+c&d" << QByteArray("(PartitionKey='a%20b%2Bc%26d',RowKey='r')");
    QTest::newRow("unicode") << QString::fromUtf8("Zoë") << QString::fromUtf8("Zoë")
                             << QByteArray("(PartitionKey='Zo%C3%AB',RowKey='r')");
}

void TestTableService::quotingAndEncoding()
{
    QFETCH(QString, key);
    QFETCH(QString, literal);
    QFETCH(QByteArray, keyPath);
    QCOMPARE(TableProtocol::quoteLiteral(key), literal);
    QCOMPARE(TableProtocol::entityKeyPath(key, QStringLiteral("r")), keyPath);
}

void TestTableService::endpoints_data()
{
    QTest::addColumn<QString>("endpoint");
    QTest::addColumn<QByteArray>("url");
    QTest::addColumn<QByteArray>("resource");
    QTest::newRow("real account") << QString()
                                  << QByteArray("https://acct.table.core.windows.net/t()")
                                  << QByteArray("/acct/t()");
    QTest::newRow("path style") << "http://127.0.0.1:10002/devstoreaccount1"
                                << QByteArray("http://127.0.0.1:10002/devstoreaccount1/t()")
                                << QByteArray("/acct/devstoreaccount1/t()");
    QTest::newRow("trailing slash")
        << "https://acct.table.core.windows.net/"
        << QByteArray("https://acct.table.core.windows.net/t()") << QByteArray("/acct/t()");
}

void TestTableService::endpoints()
{
    QFETCH(QString, endpoint);
    QFETCH(QByteArray, url);
    QFETCH(QByteArray, resource);
    TAzureConnectionInfo c;
    c.AccountName = QStringLiteral("acct");
    c.AccountKey = QString::fromLatin1(AzuriteFixture::Key);
    c.Endpoint = endpoint;
    TAzureTableService svc(c);
    const QDateTime when(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    const auto req = svc.prepare("GET", "t()", {}, {}, when);
    QCOMPARE(req.url, url);
    const QByteArray sig = TableProtocol::signature(QByteArray::fromBase64(AzuriteFixture::Key),
        TableProtocol::stringToSign("GET", {}, {}, TableProtocol::httpDate(when), resource));
    QCOMPARE(headerValue(req.headers, "Authorization"), "SharedKey acct:" + sig);
}

void TestTableService::parseAnswer_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("rows"); // -1: unreadable
    QTest::newRow("entities") << QByteArray(
        R"({"odata.metadata":"m","value":[{"odata.etag":"e","PartitionKey":"p",)"
        R"("RowKey":"r","Timestamp@odata.type":"Edm.DateTime",)"
        R"("Timestamp":"2024-05-01T10:20:30.1234567Z","Count":7,"Lat":2.0,)"
        R"("Lon":-34.5,"Ok":true,"Big@odata.type":"Edm.Int64","Big":"12345678901"}]})")
                              << 1;
    QTest::newRow("empty list") << QByteArray(R"({"value":[]})") << 0;
    QTest::newRow("html") << QByteArray("<html><body>Bad gateway</body></html>") << -1;
    QTest::newRow("truncated") << QByteArray(R"({"value":[{"PartitionKey":"p","Row)") << -1;
    QTest::newRow("other shape") << QByteArray(R"({"items":[]})") << -1;
    QTest::newRow("value not a list") << QByteArray(R"({"value":{"a":1}})") << -1;
    QTest::newRow("entity not an object") << QByteArray(R"({"value":[1,2]})") << -1;
    QTest::newRow("top-level array") << QByteArray(R"([{"value":[]}])") << -1;
    QTest::newRow("empty body") << QByteArray() << -1;
}

void TestTableService::parseAnswer()
{
    QFETCH(QByteArray, body);
    QFETCH(int, rows);
    QString error;
    const auto parsed = TableProtocol::parseEntities(body, &error);
    if (rows < 0) {
        QVERIFY(!parsed);
        QVERIFY(error.contains(QLatin1String("could not be read")));
        return;
    }
    QVERIFY2(parsed, qPrintable(error));
    QCOMPARE(int(parsed->size()), rows);
    if (rows == 0)
        return;
    const TCloudTableRow &r = parsed->front();
    QVERIFY(!r.GetColumn(QStringLiteral("odata.etag")));
    QCOMPARE(r.GetColumn(QStringLiteral("timestamp"))->Value,
        QStringLiteral("2024-05-01T10:20:30.1234567Z"));
    QCOMPARE(r.GetColumn(QStringLiteral("Timestamp"))->DataType, QStringLiteral("Edm.DateTime"));
    QCOMPARE(r.GetColumn(QStringLiteral("Count"))->Value, QStringLiteral("7"));
    QCOMPARE(r.GetColumn(QStringLiteral("Lat"))->Value, QStringLiteral("2"));
    QCOMPARE(r.GetColumn(QStringLiteral("Lon"))->Value, QStringLiteral("-34.5"));
    QCOMPARE(r.GetColumn(QStringLiteral("Lon"))->DataType, QStringLiteral("Edm.Double"));
    QCOMPARE(r.GetColumn(QStringLiteral("Ok"))->Value, QStringLiteral("true"));
    QCOMPARE(r.GetColumn(QStringLiteral("Big"))->Value, QStringLiteral("12345678901"));
    QCOMPARE(r.GetColumn(QStringLiteral("Big"))->DataType, QStringLiteral("Edm.Int64"));
}

void TestTableService::entityBodyTypes()
{
    TCloudTableRow r = entity(QStringLiteral("p"), QStringLiteral("r"), QStringLiteral("n"));
    r.SetColumn(QStringLiteral("Date"), QStringLiteral("2019-07-01T02:00:00Z"),
        QStringLiteral("Edm.DateTime"));
    r.SetColumn(QStringLiteral("Count"), QStringLiteral("-3"), QStringLiteral("Edm.Int32"));
    r.SetColumn(QStringLiteral("Latitude"), QStringLiteral("2"), QStringLiteral("Edm.Double"));
    r.SetColumn(QStringLiteral("name"), QStringLiteral("again")); // replaces "Name"
    const QJsonObject o = QJsonDocument::fromJson(TableProtocol::entityBody(r)).object();
    QCOMPARE(o.value(QLatin1String("PartitionKey")).toString(), QStringLiteral("p"));
    QCOMPARE(o.value(QLatin1String("name")).toString(), QStringLiteral("again"));
    QVERIFY(!o.contains(QLatin1String("Name")));
    QCOMPARE(o.value(QLatin1String("Date@odata.type")).toString(), QStringLiteral("Edm.DateTime"));
    QCOMPARE(o.value(QLatin1String("Count")).toInt(), -3);
    QVERIFY(!o.contains(QLatin1String("Count@odata.type")));
    // A whole Double must be typed, or the service would store an Int32.
    QCOMPARE(o.value(QLatin1String("Latitude")).toDouble(), 2.0);
    QCOMPARE(
        o.value(QLatin1String("Latitude@odata.type")).toString(), QStringLiteral("Edm.Double"));
    QVERIFY(!o.contains(QLatin1String("PartitionKey@odata.type")));
}

void TestTableService::failureReasons_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("expected");
    QTest::newRow("json error")
        << 404
        << QByteArray(R"({"odata.error":{"code":"TableNotFound","message":)"
                      R"({"lang":"en-US","value":"The table specified does )"
                      R"(not exist.\nRequestId:1\nTime:x"}}})")
        << "status 404 (TableNotFound: The table specified does not exist.)";
    QTest::newRow("xml auth error")
        << 403
        << QByteArray("<?xml version=\"1.0\"?>\n<Error>\n  <Code>AuthorizationFailure</Code>\n"
                      "  <Message>Server failed to authenticate the request.\nRequestId:1"
                      "</Message>\n</Error>")
        << "refused the storage account's credentials for the query (status 403, "
           "AuthorizationFailure: Server failed to authenticate the request.)";
    QTest::newRow("html page") << 503 << QByteArray("<html>busy</html>")
                               << "status 503 (no reason given)";
}

void TestTableService::failureReasons()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QString, expected);
    HttpResponse r;
    r.status = status;
    r.body = body;
    const QString reason = TableProtocol::describeFailure(r, "query");
    QVERIFY2(reason.contains(expected), qPrintable(reason));

    HttpResponse none;
    none.transportError = QStringLiteral("Connection refused");
    QCOMPARE(TableProtocol::describeFailure(none, "query"),
        QStringLiteral("No connection to the table service for the query (Connection refused)."));
}

void TestTableService::createTableTwice()
{
    TAzureTableService svc(devAccount(m_azurite->endpoint()));
    const QString t = unique("c");
    QString error;
    QVERIFY2(svc.CreateTable(t, &error), qPrintable(error));
    QVERIFY2(svc.CreateTable(t, &error), qPrintable(error));
    QVERIFY(error.isEmpty());
}

void TestTableService::entityLifecycle()
{
    TAzureTableService svc(devAccount(m_azurite->endpoint()));
    const QString pk = unique("p");
    QString error;

    QVERIFY(!svc.QueryEntity(m_table, pk, QStringLiteral("r1"), &error));
    QVERIFY2(error.isEmpty(), qPrintable(error)); // missing, not failed

    TCloudTableRow row = entity(pk, QStringLiteral("r1"), QStringLiteral("first"));
    row.SetColumn(QStringLiteral("Extra"), QStringLiteral("x"));
    QVERIFY2(svc.InsertEntity(m_table, row, &error), qPrintable(error));
    // A second insert of the same keys is refused, and said so.
    QVERIFY(!svc.InsertEntity(m_table, row, &error));
    QVERIFY2(error.contains(QLatin1String("409")), qPrintable(error));

    auto got = svc.QueryEntity(m_table, pk, QStringLiteral("r1"), &error);
    QVERIFY2(got, qPrintable(error));
    QCOMPARE(got->GetColumn(QStringLiteral("Name"))->Value, QStringLiteral("first"));
    QVERIFY(got->GetColumn(QStringLiteral("Timestamp")));

    // Update replaces the whole entity: "Extra" is gone.
    QVERIFY2(svc.UpdateEntity(
                 m_table, entity(pk, QStringLiteral("r1"), QStringLiteral("second")), &error),
        qPrintable(error));
    got = svc.QueryEntity(m_table, pk, QStringLiteral("r1"), &error);
    QCOMPARE(got->GetColumn(QStringLiteral("Name"))->Value, QStringLiteral("second"));
    QVERIFY(!got->GetColumn(QStringLiteral("Extra")));

    // Update of a missing entity fails; insert-or-replace makes it.
    QVERIFY(!svc.UpdateEntity(m_table, entity(pk, QStringLiteral("r2")), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY2(svc.InsertOrReplaceEntity(
                 m_table, entity(pk, QStringLiteral("r2"), QStringLiteral("a")), &error),
        qPrintable(error));
    QVERIFY2(svc.InsertOrReplaceEntity(
                 m_table, entity(pk, QStringLiteral("r2"), QStringLiteral("b")), &error),
        qPrintable(error));
    auto rows = svc.QueryEntities(m_table, QStringLiteral("PartitionKey eq '%1'").arg(pk), &error);
    QVERIFY2(rows, qPrintable(error));
    QCOMPARE(int(rows->size()), 2);
    QCOMPARE(rows->at(1).GetColumn(QStringLiteral("Name"))->Value, QStringLiteral("b"));

    QVERIFY2(svc.DeleteEntity(m_table, pk, QStringLiteral("r1"), &error), qPrintable(error));
    QVERIFY(!svc.QueryEntity(m_table, pk, QStringLiteral("r1"), &error));
    QVERIFY(error.isEmpty());
}

void TestTableService::oddKeysRoundTrip_data()
{
    QTest::addColumn<QString>("key");
    QTest::newRow("single quote") << "o'neil@farm.com.au";
    QTest::newRow("two single quotes") << "a''b";
    QTest::newRow("double quote") << "a\"b";
    QTest::newRow("space plus amp percent") << "a b+c&d%20e";
    QTest::newRow("unicode") << QString::fromUtf8("Zoë Ñandú");
    QTest::newRow("parens comma equals") << "f(x)=1,2";
}

void TestTableService::oddKeysRoundTrip()
{
    QFETCH(QString, key);
    TAzureTableService svc(devAccount(m_azurite->endpoint()));
    const QString pk = unique("k") + key;
    QString error;
    QVERIFY2(svc.InsertOrReplaceEntity(m_table, entity(pk, key, key), &error), qPrintable(error));
    const auto got = svc.QueryEntity(m_table, pk, key, &error);
    QVERIFY2(got, qPrintable(error));
    QCOMPARE(got->GetColumn(QStringLiteral("RowKey"))->Value, key);
    const auto rows = svc.QueryEntities(m_table,
        QStringLiteral("PartitionKey eq '%1'").arg(TableProtocol::quoteLiteral(pk)), &error);
    QVERIFY2(rows, qPrintable(error));
    QCOMPARE(int(rows->size()), 1);
    QCOMPARE(rows->front().GetColumn(QStringLiteral("PartitionKey"))->Value, pk);
}

void TestTableService::pagingFollowsContinuations()
{
    TAzureTableService svc(devAccount(m_azurite->endpoint()));
    const QString pk = unique("page");
    QString error;
    constexpr int n = 2100;
    for (int i = 0; i < n; ++i)
        QVERIFY2(svc.InsertOrReplaceEntity(
                     m_table, entity(pk, QString::asprintf("%05d", i), QString::number(i)), &error),
            qPrintable(error));

    const QString filter = QStringLiteral("PartitionKey eq '%1'").arg(pk);
    TCloudTableRows first;
    TableContinuation next;
    QVERIFY2(svc.queryPage(m_table, filter, {}, &first, &next, &error), qPrintable(error));
    QCOMPARE(int(first.size()), 1000); // one answer holds no more
    QVERIFY(!next.isEmpty());

    const auto all = svc.QueryEntities(m_table, filter, &error);
    QVERIFY2(all, qPrintable(error));
    QCOMPARE(int(all->size()), n);
    for (int i = 0; i < n; ++i)
        QCOMPARE(all->at(size_t(i)).GetColumn(QStringLiteral("RowKey"))->Value,
            QString::asprintf("%05d", i));
}

void TestTableService::wrongKeyRefused()
{
    TAzureConnectionInfo c = devAccount(m_azurite->endpoint());
    c.AccountKey = QStringLiteral("AAAA") + c.AccountKey.mid(4);
    TAzureTableService svc(c);
    QString error;
    QVERIFY(!svc.QueryEntities(m_table, {}, &error));
    QVERIFY2(error.contains(QLatin1String("refused")) && error.contains(QLatin1String("403")),
        qPrintable(error));
    QVERIFY(!svc.InsertOrReplaceEntity(
        m_table, entity(QStringLiteral("p"), QStringLiteral("r")), &error));
    QVERIFY(error.contains(QLatin1String("403")));
}

void TestTableService::missingTableIsFailure()
{
    TAzureTableService svc(devAccount(m_azurite->endpoint()));
    QString error;
    QVERIFY(!svc.QueryEntities(QStringLiteral("nosuchtable"), {}, &error));
    QVERIFY2(error.contains(QLatin1String("404")), qPrintable(error));
    QVERIFY(!svc.QueryEntity(
        QStringLiteral("nosuchtable"), QStringLiteral("p"), QStringLiteral("r"), &error));
    QVERIFY2(!error.isEmpty(), "a missing table must not read as a missing entity");
}

void TestTableService::connectionKeptAlive()
{
    TAzureTableService svc(devAccount(m_azurite->endpoint()));
    const QString pk = unique("ka");
    QString error;
    for (int i = 0; i < 10; ++i)
        QVERIFY(svc.InsertOrReplaceEntity(m_table, entity(pk, QString::number(i)), &error));
    QVERIFY(svc.QueryEntities(m_table, QStringLiteral("PartitionKey eq '%1'").arg(pk), &error));
    QCOMPARE(svc.http().connectionsOpened(), 1L);
}

void TestTableService::pagingWithEmptyPage()
{
    FaultServer server;
    server.setHandler([](const httplib::Request &req, httplib::Response &res) {
        res.status = 200;
        const std::string npk = req.get_param_value("NextPartitionKey");
        if (npk.empty()) {
            res.set_header("x-ms-continuation-NextPartitionKey", "1!8!cA--");
            res.set_header("x-ms-continuation-NextRowKey", "1!4!cg--");
            res.set_content(R"({"value":[{"PartitionKey":"p","RowKey":"a"}]})", "application/json");
        } else if (npk == "1!8!cA--") {
            // An empty page that still carries a continuation.
            res.set_header("X-MS-CONTINUATION-NEXTPARTITIONKEY", "2!8!cA--");
            res.set_content(R"({"value":[]})", "application/json");
        } else {
            res.set_content(R"({"value":[{"PartitionKey":"p","RowKey":"b"}]})", "application/json");
        }
    });
    TAzureTableService svc(devAccount(QString::fromLatin1(server.url()) + "/devstoreaccount1"));
    QString error;
    const auto rows = svc.QueryEntities(
        QStringLiteral("scans"), QStringLiteral("PartitionKey eq 'p' "), &error);
    QVERIFY2(rows, qPrintable(error));
    QCOMPARE(int(rows->size()), 2);
    const auto reqs = server.requests();
    QCOMPARE(int(reqs.size()), 3);
    // The original filter is sent beside the continuation.
    QCOMPARE(reqs[1].get_param_value("$filter"), std::string("PartitionKey eq 'p' "));
    QCOMPARE(reqs[1].get_param_value("NextRowKey"), std::string("1!4!cg--"));
    QCOMPARE(reqs[2].get_param_value("NextPartitionKey"), std::string("2!8!cA--"));
    QVERIFY(!reqs[2].has_param("NextRowKey"));
}

void TestTableService::repeatedContinuationStops()
{
    FaultServer server;
    server.setHandler([](const httplib::Request &, httplib::Response &res) {
        res.status = 200;
        res.set_header("x-ms-continuation-NextPartitionKey", "same");
        res.set_content(R"({"value":[]})", "application/json");
    });
    TAzureTableService svc(devAccount(QString::fromLatin1(server.url())));
    QString error;
    QVERIFY(!svc.QueryEntities(QStringLiteral("scans"), {}, &error));
    QVERIFY(error.contains(QLatin1String("repeated")));
    QCOMPARE(int(server.requests().size()), 2);
}

void TestTableService::transientRetried()
{
    FaultServer server;
    std::atomic<int> calls = 0;
    server.setHandler([&](const httplib::Request &, httplib::Response &res) {
        if (++calls < 3) {
            res.status = 503;
            res.set_content("<html>busy</html>", "text/html");
        } else {
            res.status = 200;
            res.set_content(R"({"value":[]})", "application/json");
        }
    });
    TAzureTableService svc(devAccount(QString::fromLatin1(server.url())));
    svc.http().setRetryPolicy({4, 10ms, 2.0});
    QString error;
    QVERIFY2(svc.QueryEntities(QStringLiteral("scans"), {}, &error), qPrintable(error));
    QCOMPARE(calls.load(), 3);
}

void TestTableService::timeoutBounded()
{
    FaultServer server;
    server.setHandler(FaultServer::slow(2000ms, 200, R"({"value":[]})"));
    TAzureTableService svc(devAccount(QString::fromLatin1(server.url())));
    svc.http().setTimeouts(1000ms, 200ms);
    svc.http().setRetryPolicy({2, 10ms, 2.0});
    QElapsedTimer t;
    t.start();
    QString error;
    QVERIFY(!svc.QueryEntities(QStringLiteral("scans"), {}, &error));
    QVERIFY(error.startsWith(QLatin1String("No connection")));
    QVERIFY(t.elapsed() < 1500);
}

void TestTableService::noAccountNoTraffic()
{
    FaultServer server;
    server.setHandler(FaultServer::status(200, R"({"value":[]})"));
    TAzureConnectionInfo c;
    c.Endpoint = QString::fromLatin1(server.url());
    TAzureTableService svc(c);
    QString error;
    QVERIFY(!svc.QueryEntities(QStringLiteral("scans"), {}, &error));
    QVERIFY(error.contains(QLatin1String("no storage account")));
    QVERIFY(server.requests().empty());
}

QTEST_GUILESS_MAIN(TestTableService)
#include "tst_tableservice.moc"
