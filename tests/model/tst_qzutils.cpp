#include "TestHome.h"
#include "qzUtils.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTest>

class TestQzUtils : public QObject
{
    Q_OBJECT

private slots:
    void nullDate();
    void utcTimeStr_data();
    void utcTimeStr();
    void utcTimeStrSkippedHourRaises();
    void utcTimeStrIgnoresRegionalSeparator();
    void localTime();
    void deQuote();
    void validEmail_data();
    void validEmail();
    void tokenCount_data();
    void tokenCount();
    void validEid_data();
    void validEid();
    void fakeEid();
    void mmddyy_data();
    void mmddyy();
    void mmddyyImpossibleRaises();
    void sqlDate();
    void stripInt_data();
    void stripInt();
    void fileSize();
    void scramble_data();
    void scramble();
    void decryptOddAndBad();
    void orvaloPath();
};

void TestQzUtils::nullDate()
{
    QCOMPARE(QString::number(NullDate, 'g', 15), QStringLiteral("25569.0423726968"));
    const QDateTime d = toQDateTime(NullDate, Qt::UTC);
    QCOMPARE(d, QDateTime(QDate(1970, 1, 1), QTime(1, 1, 1, 1), Qt::UTC));
}

void TestQzUtils::utcTimeStr_data()
{
    QTest::addColumn<QByteArray>("tz");
    QTest::addColumn<QDateTime>("local");
    QTest::addColumn<QString>("expected");
    const QDate jul(2019, 7, 1);
    QTest::newRow("utc+10") << QByteArray("Australia/Brisbane") << QDateTime(jul, QTime(12, 0))
                            << "2019-07-01T02:00:00";
    QTest::newRow("fraction dropped")
        << QByteArray("Australia/Brisbane") << QDateTime(jul, QTime(12, 0, 0, 999))
        << "2019-07-01T02:00:00";
    QTest::newRow("summer time") << QByteArray("Europe/Berlin") << QDateTime(jul, QTime(12, 0))
                                 << "2019-07-01T10:00:00";
    QTest::newRow("day before") << QByteArray("Pacific/Auckland")
                                << QDateTime(QDate(2019, 1, 1), QTime(5, 30))
                                << "2018-12-31T16:30:00";
    // 02:30 happens twice on 2019-10-27 in Berlin: the later, standard-time one counts.
    QTest::newRow("repeated hour")
        << QByteArray("Europe/Berlin") << QDateTime(QDate(2019, 10, 27), QTime(2, 30))
        << "2019-10-27T01:30:00";
}

void TestQzUtils::utcTimeStr()
{
    QFETCH(QByteArray, tz);
    QFETCH(QDateTime, local);
    QFETCH(QString, expected);
    setTimeZone(tz.constData());
    const TDateTime dt = encodeDate(local.date().year(), local.date().month(), local.date().day())
        + local.time().msecsSinceStartOfDay() / 86400000.0;
    QCOMPARE(GetUTCTimeStr(dt), expected);
    setTimeZone("UTC");
}

void TestQzUtils::utcTimeStrSkippedHourRaises()
{
    setTimeZone("Europe/Berlin");
    const TDateTime gap = encodeDate(2019, 3, 31) + 2.5 / 24;
    QVERIFY_THROWS_EXCEPTION(EConvertError, GetUTCTimeStr(gap));
    setTimeZone("UTC");
}

void TestQzUtils::utcTimeStrIgnoresRegionalSeparator()
{
    QLocale::setDefault(QLocale(QStringLiteral("fi_FI"))); // uses '.' between hours and minutes
    QCOMPARE(GetUTCTimeStr(encodeDate(2020, 2, 29) + 0.5), QStringLiteral("2020-02-29T12:00:00"));
    QLocale::setDefault(QLocale::c());
}

void TestQzUtils::localTime()
{
    setTimeZone("Europe/Berlin");
    QCOMPARE(GetLocalTime(encodeDate(2019, 7, 1) + 0.5), encodeDate(2019, 7, 1) + 14.0 / 24);
    QCOMPARE(GetLocalTime(encodeDate(2019, 1, 1) + 0.5), encodeDate(2019, 1, 1) + 13.0 / 24);
    setTimeZone("UTC");
}

void TestQzUtils::deQuote()
{
    QCOMPARE(DeQuote(QStringLiteral("\"a\"b\"\"c'")), QStringLiteral("abc'"));
}

void TestQzUtils::validEmail_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    QTest::newRow("plain") << "farmer@example.com" << true;
    QTest::newRow("shortest") << "a@bc.de" << true;
    QTest::newRow("server of 4") << "a@b.cd" << false;
    QTest::newRow("ends in dot") << "a@bcdef." << false;
    QTest::newRow("one after dot") << "a@bcde.f" << false;
    QTest::newRow("empty name") << "@example.com" << false;
    QTest::newRow("dots and hyphens") << "j.o-e_x@mail-host.co.nz" << true;
    QTest::newRow("plus") << "joe+tag@example.com" << false;
    QTest::newRow("second at") << "joe@ex@ample.com" << false;
    QTest::newRow("blank") << "jo e@example.com" << false;
    QTest::newRow("non-ascii letter") << "jöe@example.com" << false;
    QTest::newRow("no at") << "example.com" << false;
    QTest::newRow("no dot") << "joe@examplecom" << false;
}

void TestQzUtils::validEmail()
{
    QFETCH(QString, address);
    QFETCH(bool, valid);
    QCOMPARE(IsValidEmail(address), valid);
}

void TestQzUtils::tokenCount_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("sep");
    QTest::addColumn<int>("count");
    QTest::newRow("first and last") << "Jane Doe"
                                    << " " << 2;
    QTest::newRow("blanks around") << "  Jane    Doe \t"
                                   << " " << 2;
    QTest::newRow("one word") << "Jane"
                              << " " << 1;
    QTest::newRow("empty") << ""
                           << " " << 1;
    QTest::newRow("all blank") << "   "
                               << " " << 1;
    QTest::newRow("three") << "Mary Jane Doe"
                           << " " << 3;
    QTest::newRow("overlapping finds") << "aaa"
                                       << "aa" << 3;
}

void TestQzUtils::tokenCount()
{
    QFETCH(QString, text);
    QFETCH(QString, sep);
    QFETCH(int, count);
    QCOMPARE(GetTokenCount(text, sep), count);
}

void TestQzUtils::validEid_data()
{
    QTest::addColumn<QString>("eid");
    QTest::addColumn<bool>("valid");
    QTest::newRow("15 digits") << "982000420103750" << true;
    QTest::newRow("14 digits") << "98200042010375" << false;
    QTest::newRow("16 digits") << "9820004201037501" << false;
    QTest::newRow("letter") << "98200042010375A" << false;
    QTest::newRow("arabic-indic digits") << QString(15, QChar(0x0663)) << false;
}

void TestQzUtils::validEid()
{
    QFETCH(QString, eid);
    QFETCH(bool, valid);
    QCOMPARE(ValidEID(eid), valid);
}

void TestQzUtils::fakeEid()
{
    QSet<QString> seen;
    for (int i = 0; i < 2000; ++i) {
        const QString e = FakeEID();
        QVERIFY(ValidEID(e));
        const qlonglong v = e.toLongLong();
        QVERIFY(v >= 982000420103750LL && v <= 982000420103849LL);
        seen.insert(e);
    }
    QCOMPARE(seen.size(), 100);
}

void TestQzUtils::mmddyy_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("days");
    QTest::addColumn<QString>("expected");
    QTest::newRow("15 March 2021") << "031521" << 0 << "2021-03-15";
    QTest::newRow("days added") << "022821" << 1 << "2021-03-01";
    QTest::newRow("year 00") << "031500" << 0 << "";
    QTest::newRow("four characters") << "0315" << 0 << "";
    QTest::newRow("letters") << "ab1521" << 0 << "";
    QTest::newRow("empty") << "" << 0 << "";
}

void TestQzUtils::mmddyy()
{
    QFETCH(QString, text);
    QFETCH(int, days);
    QFETCH(QString, expected);
    QCOMPARE(MMDDYYToSQLDateStr(text, days), expected);
}

void TestQzUtils::mmddyyImpossibleRaises()
{
    QVERIFY_THROWS_EXCEPTION(EConvertError, MMDDYYToSQLDateStr(QStringLiteral("133121"), 0));
    QVERIFY_THROWS_EXCEPTION(EConvertError, MMDDYYToSQLDateStr(QStringLiteral("023021"), 0));
    QVERIFY_THROWS_EXCEPTION(EConvertError, SqlDateToDate(QStringLiteral("2021-02-30")));
}

void TestQzUtils::sqlDate()
{
    QCOMPARE(SqlDateToDate(QStringLiteral("2021-03-15")), encodeDate(2021, 3, 15));
    QCOMPARE(SqlDateToDate(QStringLiteral("2018-01-01")), 43101.0);
    QCOMPARE(SqlDateToDate(QString()), 0.0);
    QCOMPARE(SqlDateToDate(QStringLiteral("2021/03/15")), encodeDate(2021, 3, 15));
    QCOMPARE(SqlDateToDate(QStringLiteral("2021-00-15")), 0.0);
}

void TestQzUtils::stripInt_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("len");
    QTest::addColumn<int>("value");
    QTest::newRow("blanks around") << "xx  42  yy" << 3 << 6 << 42;
    QTest::newRow("not a number") << "xx4xyy" << 3 << 2 << 0;
    QTest::newRow("short line") << "abc 7" << 4 << 10 << 7;
    QTest::newRow("past the end") << "abc" << 10 << 2 << 0;
    QTest::newRow("negative") << "-12" << 1 << 3 << -12;
    QTest::newRow("tab") << "\t5\t" << 1 << 3 << 5;
}

void TestQzUtils::stripInt()
{
    QFETCH(QString, line);
    QFETCH(int, col);
    QFETCH(int, len);
    QFETCH(int, value);
    QCOMPARE(StripInt(line, col, len), value);
}

void TestQzUtils::fileSize()
{
    TestHome home;
    QCOMPARE(GetFileSize(home.file(QStringLiteral("missing"))), 0);
    const QString name = home.file(QStringLiteral("f.dnl"));
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(1234, 'x'));
    f.close();
    QVERIFY(QFile::setPermissions(name, QFileDevice::ReadOwner));
    QCOMPARE(GetFileSize(name), 1234); // read-only still has a size
    QVERIFY_THROWS_EXCEPTION(EInOutError, GetFileSize(home.path())); // a folder cannot be read
}

void TestQzUtils::scramble_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("ascii") << "s3cret!";
    QTest::newRow("quotes") << "pa\"ss'w\\rd";
    QTest::newRow("umlaut and emoji") << QStringLiteral("Grüße 🐄");
}

void TestQzUtils::scramble()
{
    QFETCH(QString, text);
    for (uint16_t key : {uint16_t(0), uint16_t(27453), uint16_t(65535)}) {
        const QString enc = EncryptStr(text, key);
        QCOMPARE(enc.size(), text.toUtf8().size() * 2);
        QVERIFY(!text.isEmpty() || enc.isEmpty());
        for (QChar c : enc)
            QVERIFY(QStringLiteral("0123456789ABCDEF").contains(c));
        QCOMPARE(DecryptStr(enc, key), text);
        QCOMPARE(DecryptStr(enc.toLower(), key), text);
    }
}

void TestQzUtils::decryptOddAndBad()
{
    const QString enc = EncryptStr(QStringLiteral("abc"), 999);
    QCOMPARE(DecryptStr(enc + QLatin1Char('7'), 999), QStringLiteral("abc"));
    QCOMPARE(DecryptStr(QStringLiteral("0G12"), 999), QString());
    QCOMPARE(DecryptStr(enc + QStringLiteral("zz"), 999), QString());
    // The first byte's state is the key's high byte alone: known values pin the algorithm.
    QCOMPARE(EncryptStr(QStringLiteral("A"), 0x1200), QStringLiteral("53"));
    QCOMPARE(EncryptStr(QStringLiteral("AA"), 0x1200),
        QStringLiteral("53")
            + QString::asprintf("%02X", 0x41 ^ (uint16_t((0x53 + 0x1200) * 90617u + 93921u) >> 8)));
}

void TestQzUtils::orvaloPath()
{
    TestHome home;
    OrvaloPath.clear();
    SetOrvaloPath();
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QCOMPARE(OrvaloPath, docs + QStringLiteral("/orvalo/"));
    QVERIFY(QDir(OrvaloPath).exists());
    OrvaloPath.clear();
}

QTEST_GUILESS_MAIN(TestQzUtils)
#include "tst_qzutils.moc"
