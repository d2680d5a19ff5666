#include "FaultServer.h"
#include "HttpClient.h"

#include <QElapsedTimer>
#include <QTest>

using namespace std::chrono_literals;

class TestHttpClient : public QObject
{
    Q_OBJECT

private slots:
    void answerAndHeaders();
    void connectionReused();
    void retriesTransient_data();
    void retriesTransient();
    void noRetryOnClientError();
    void timeout();
    void droppedMidAnswer();
    void refused();
};

void TestHttpClient::answerAndHeaders()
{
    FaultServer server;
    server.setHandler([](const httplib::Request &req, httplib::Response &res) {
        res.status = 201;
        res.set_header("X-Ms-Continuation-NextRowKey", "abc");
        res.set_content(req.method + ":" + req.body, "text/plain");
    });
    HttpClient http;
    const HttpResponse r = http.request("POST", server.url() + "/x", {"X-Test: 1"}, "body");
    QVERIFY(r.answered());
    QCOMPARE(r.status, 201L);
    QCOMPARE(r.body, QByteArray("POST:body"));
    QCOMPARE(r.header("x-ms-continuation-nextrowkey"), QByteArray("abc"));
    QCOMPARE(server.requests().at(0).get_header_value("X-Test"), std::string("1"));
}

void TestHttpClient::connectionReused()
{
    FaultServer server;
    server.setHandler(FaultServer::status(200, "{}"));
    HttpClient http;
    for (int i = 0; i < 5; ++i)
        QCOMPARE(http.request("GET", server.url() + "/q", {}).status, 200L);
    QCOMPARE(http.connectionsOpened(), 1L);
}

void TestHttpClient::retriesTransient_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("500") << 500;
    QTest::newRow("503") << 503;
}

void TestHttpClient::retriesTransient()
{
    QFETCH(int, status);
    FaultServer server;
    std::atomic<int> calls = 0;
    server.setHandler([&](const httplib::Request &, httplib::Response &res) {
        res.status = ++calls < 3 ? status : 200;
        res.set_content("{}", "application/json");
    });
    HttpClient http;
    http.setRetryPolicy({4, 10ms, 2.0});
    QCOMPARE(http.request("GET", server.url() + "/", {}).status, 200L);
    QCOMPARE(calls.load(), 3);
    // A bounded number of tries: the last answer is handed back.
    calls = -100;
    http.setRetryPolicy({2, 10ms, 2.0});
    QCOMPARE(http.request("GET", server.url() + "/", {}).status, long(status));
    QCOMPARE(calls.load(), -98);
}

void TestHttpClient::noRetryOnClientError()
{
    FaultServer server;
    server.setHandler(FaultServer::status(403, "no"));
    HttpClient http;
    http.setRetryPolicy({3, 10ms, 2.0});
    QCOMPARE(http.request("GET", server.url() + "/", {}).status, 403L);
    QCOMPARE(server.requests().size(), size_t(1));
}

void TestHttpClient::timeout()
{
    FaultServer server;
    server.setHandler(FaultServer::slow(1500ms));
    HttpClient http;
    http.setTimeouts(1000ms, 300ms);
    QElapsedTimer t;
    t.start();
    const HttpResponse r = http.request("GET", server.url() + "/", {});
    QVERIFY(!r.answered());
    QVERIFY(!r.transportError.isEmpty());
    QVERIFY(t.elapsed() < 1400);
}

void TestHttpClient::droppedMidAnswer()
{
    FaultServer server;
    server.setHandler(FaultServer::dropMidAnswer());
    HttpClient http;
    const HttpResponse r = http.request("GET", server.url() + "/", {});
    QVERIFY(!r.answered());
    QVERIFY(r.body.isEmpty());
}

void TestHttpClient::refused()
{
    int port;
    {
        FaultServer gone;
        port = gone.port();
    }
    HttpClient http;
    const HttpResponse r
        = http.request("GET", "http://127.0.0.1:" + QByteArray::number(port) + "/", {});
    QVERIFY(!r.answered());
    QCOMPARE(r.status, 0L);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
