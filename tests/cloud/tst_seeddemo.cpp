#include "AzuriteFixture.h"
#include "TestHome.h"
#include "qzCloud.h"
#include "qzUtils.h"

#include <QProcess>
#include <QSet>
#include <QTest>
#include <QUuid>

#include <cmath>

class TestSeedDemo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void seedsOneFarmsSeason();

private:
    int runSeed(const QString &email);

    std::unique_ptr<AzuriteFixture> m_azurite;
};

void TestSeedDemo::initTestCase()
{
    setTimeZone("Australia/Sydney");
    m_azurite = std::make_unique<AzuriteFixture>();
    QVERIFY2(m_azurite->ok(), qPrintable(m_azurite->error()));
    m_azurite->exportEnv();
}

int TestSeedDemo::runSeed(const QString &email)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KESTRUN_DEMO_EMAIL"), email);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KESTRUN_SEED_DEMO), {});
    if (!p.waitForFinished(60000))
        return -1;
    if (p.exitCode() != 0)
        qWarning("%s", p.readAllStandardError().constData());
    return p.exitCode();
}

void TestSeedDemo::seedsOneFarmsSeason()
{
    const QString email
        = QUuid::createUuid().toString(QUuid::Id128).left(10) + QStringLiteral("@demo.example");
    QCOMPARE(runSeed(email), 0);
    AzureStart('S');
    QString error;
    const TScanSessionList sessions = AzureQueryScanSessions(email, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(sessions.size() >= 4);
    int total = 0;
    double lat0 = 0, lon0 = 0;
    QSet<QString> names;
    for (const auto &s : sessions) {
        names.insert(s->Name);
        QVERIFY(!s->Value1Name.isEmpty() && !s->Value2Name.isEmpty());
        QVERIFY(s->Date > encodeDate(2020, 1, 1));
        const TScanList scans = AzureQueryScans(s->Uid, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(int(scans.size()), s->Count);
        for (const auto &c : scans) {
            QVERIFY2(ValidEID(c->Eid), qPrintable(c->Eid));
            QCOMPARE(c->Creator, email);
            if (lat0 == 0) {
                lat0 = c->Latitude;
                lon0 = c->Longitude;
            }
            // All around one farm.
            QVERIFY(std::fabs(c->Latitude - lat0) < 0.02 && std::fabs(c->Longitude - lon0) < 0.02);
            QVERIFY(c->Date >= s->Date);
        }
        total += int(scans.size());
    }
    QCOMPARE(int(names.size()), int(sessions.size()));
    QVERIFY2(total >= 200 && total <= 1000, qPrintable(QString::number(total)));
    QVERIFY(lat0 < 0); // southern hemisphere

    const TVisIDLookupList lookups = AzureQueryLookups(email, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(lookups.size() >= 10);
    for (const auto &l : lookups) {
        QVERIFY(ValidEID(l->Eid));
        QVERIFY(!l->VisibleID.isEmpty());
    }

    // Seeding again replaces: nothing doubles.
    QCOMPARE(runSeed(email), 0);
    QCOMPARE(AzureQueryScanSessions(email, &error).size(), sessions.size());
    QCOMPARE(AzureQueryLookups(email, &error).size(), lookups.size());
    AzureStop();
}

QTEST_GUILESS_MAIN(TestSeedDemo)
#include "tst_seeddemo.moc"
